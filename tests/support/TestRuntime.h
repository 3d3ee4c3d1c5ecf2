#pragma once

// Shared pieces of the tests that start the main window: a runtime folder of
// the test's own and a user who answers message boxes.

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <vector>

// A runtime folder like build/korvex: links to the build's Tesseract/ and
// tessdata/ (each can be left out) and a Config.ini of its own.
class TTestRuntimeFolder {
public:
  explicit TTestRuntimeFolder(bool WithLibraries = true, bool WithData = true) {
    if (WithLibraries)
      Link("Tesseract");
    if (WithData)
      Link("tessdata");
  }

  bool Link(const char* Name) const {
    return QFile::link(QDir(KORVEX_RUNTIME_DIR).filePath(QLatin1String(Name)), Dir.filePath(QLatin1String(Name)));
  }
  QString Path() const { return Dir.path(); }
  QString IniPath() const { return Dir.filePath(QStringLiteral("Config.ini")); }

private:
  QTemporaryDir Dir;
};

// Runs the event loop until Condition holds or Ms milliseconds have passed;
// whether it holds. For tests that do not link Qt Test.
inline bool WaitUntil(const std::function<bool()>& Condition, int Ms = 10000) {
  if (Condition())
    return true;
  const QDeadlineTimer Deadline(Ms);
  QEventLoop Loop;
  QTimer Poll;
  QObject::connect(&Poll, &QTimer::timeout, &Loop, [&] {
    if (Condition() || Deadline.hasExpired())
      Loop.quit();
  });
  Poll.start(5);
  Loop.exec();
  return Condition();
}

// Plays the user who answers every message box with its OK button, modal
// or not (the error box does not wait), and remembers what each box said and
// offered.
class TMessageBoxAnswerer {
public:
  struct TBox {
    QString Text;
    QMessageBox::StandardButtons Buttons;
  };

  TMessageBoxAnswerer() {
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!Box)
        Box = OpenBox();
      if (!Box)
        return;
      Boxes.push_back({Box->text(), Box->standardButtons()});
      if (QAbstractButton* Ok = Box->button(QMessageBox::Ok))
        Ok->click();
      else
        Box->reject();
    });
    FTimer.start(10);
  }

  QStringList Texts() const {
    QStringList Result;
    for (const TBox& Box : Boxes)
      Result << Box.Text;
    return Result;
  }

  std::vector<TBox> Boxes;

private:
  // A message box shown as a window of its own that waits for nobody.
  static QMessageBox* OpenBox() {
    for (QWidget* Window : QApplication::topLevelWidgets())
      if (auto* Box = qobject_cast<QMessageBox*>(Window); Box && Box->isVisible())
        return Box;
    return nullptr;
  }

  QTimer FTimer;
};

// Plays the user in the next modal dialog of type T: Act gets the dialog and
// closes it. Runs from the event loop of whatever opens that dialog.
template <typename T> class TNextDialog {
public:
  explicit TNextDialog(std::function<void(T*)> Act) {
    QObject::connect(&FTimer, &QTimer::timeout, [this, Act] {
      if (auto* Dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
        FTimer.stop();
        Seen = true;
        Act(Dialog);
      }
    });
    FTimer.start(10);
  }
  bool Seen = false;

private:
  QTimer FTimer;
};
