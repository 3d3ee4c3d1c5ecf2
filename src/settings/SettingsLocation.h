#pragma once

#include <QString>

// Where Config.ini lives. A portable copy of Korvex (the build's runtime
// folder, or a copy of it on a memory stick) keeps it beside the executable;
// an installed copy, whose folder the user cannot or should not write, keeps
// one per user in $XDG_CONFIG_HOME/korvex/.

// The file that marks a runtime folder as installed for the whole system
// (cmake --install and the Debian package place it there): settings are then
// per user even when the folder is writable, as every folder is for root.
inline constexpr char InstalledMarkerName[] = "per-user-settings";

// Config.ini in ExecutableDir when that folder is writable and not marked as
// installed; otherwise the user's own: $XDG_CONFIG_HOME/korvex/Config.ini, or
// ~/.config/korvex/Config.ini when XDG_CONFIG_HOME is unset or not absolute.
QString SettingsFileFor(const QString& ExecutableDir);

// $XDG_CONFIG_HOME/korvex/Config.ini (see above).
QString UserSettingsFile();

// Creates the folder that holds File, and any missing parent, with mode
// 0700 as per-user configuration folders are. False with Error set when it
// cannot be created; an existing folder is left as it is.
bool CreateSettingsFolder(const QString& File, QString* Error);
