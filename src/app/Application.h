#pragma once

#include <QApplication>

// The GUI application with the default error box: an exception that escapes
// a command ends that command, its message is shown, and the program runs on.
//
// The program ends when its main window closes, from whatever it is doing
// then: Quit() ends every event loop, nested ones included (message boxes,
// dialogs, waits), and long waits on the GUI thread give up (KeepWaiting).
class TApplication : public QApplication {
public:
  TApplication(int& Argc, char** Argv);
  ~TApplication() override;
  bool notify(QObject* Receiver, QEvent* Event) override;

  // Closes every open dialog and message box, ends every running event loop
  // and makes new ones return at once; exec() then returns 0.
  static void Quit();
  // True once Quit() has run.
  static bool Quitting();
};

// Shows an error message the way the default error box does.
void ShowException(const QString& Message);

// Maps the Korean Windows font names that settings store ("맑은 고딕",
// "굴림체", ...) to installed Korean families. Without it fontconfig picks a
// Latin font and every Hangul glyph comes from a fallback font whose taller
// cell makes the text background overhang its box.
void InstallFontSubstitutes();

// Screen coordinates are physical X11 pixels everywhere in Korvex, whatever
// Qt scaling the user's environment asks for (QT_SCALE_FACTOR,
// QT_SCREEN_SCALE_FACTORS, QT_AUTO_SCREEN_SCALE_FACTOR,
// QT_ENABLE_HIGHDPI_SCALING); fonts still follow the screen's DPI. Call
// before the application object exists.
void UsePhysicalPixels();
