#pragma once

#include <QApplication>

// The GUI application with the default error box: an exception that escapes
// a command ends that command, its message is shown, and the program runs on.
class TApplication : public QApplication {
public:
  using QApplication::QApplication;
  bool notify(QObject* Receiver, QEvent* Event) override;
};

// Shows an error message the way the default error box does.
void ShowException(const QString& Message);

// Maps the Korean Windows font names that settings store ("맑은 고딕",
// "굴림체", ...) to installed Korean families. Without it fontconfig picks a
// Latin font and every Hangul glyph comes from a fallback font whose taller
// cell makes the text background overhang its box.
void InstallFontSubstitutes();
