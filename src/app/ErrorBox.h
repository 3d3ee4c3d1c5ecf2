#pragma once

#include <QString>

class QWidget;

// The one place where Korvex tells the user that something failed: an
// unreachable or refusing server, a time-out, a failing engine, a missing
// language, a command that threw. The box is the application's standard
// error box ("Korvex v0.1", one OK button), but it does not wait: it opens
// and returns, so no event loop runs inside the caller, and the selection
// and the hotkeys keep working while it is shown. The message is plain
// text, whoever wrote it: a server's reason never becomes markup, pictures
// or links. The same message while its box is still open is not shown twice.
void ShowErrorBox(const QString& Message, QWidget* Parent = nullptr);
