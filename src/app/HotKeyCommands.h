#pragma once

#include "settings/Settings.h"

#include <QString>

#include <functional>

#include <span>

class TController;

// The commands that start from outside the main window's menus: each global
// hotkey runs one, and `korvex --command NAME` (or anything else that drives
// a running Korvex by name) runs the same by its name. One row per hotkey,
// in hotkey order; this table is the one place that ties names, hotkeys and
// actions together.
struct TFormCommand {
  const char* Name;        // as `korvex --command` takes it
  const char* Description; // for --help
  TStringSetting HotKey;   // the settings key of its hotkey text
  const char* AtomName;    // names the hotkey's identifier
  // Starts the command; it has ended once it calls Done.
  void (*Run)(TController& Controller, std::function<void()> Done);
};

std::span<const TFormCommand> FormCommands();

// The command called Name; null when there is none.
const TFormCommand* FindFormCommand(const QString& Name);
