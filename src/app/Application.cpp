#include "app/Application.h"

#include "app/ErrorBox.h"
#include "app/UnitFormOCR.h"
#include "core/LongWait.h"

#include <QDialog>
#include <QFont>
#include <QMessageBox>
#include <QThread>

#include <exception>

void UsePhysicalPixels() {
  for (const char* Name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                           "QT_DEVICE_PIXEL_RATIO", "QT_SCALE_FACTOR_ROUNDING_POLICY"})
    qunsetenv(Name);
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
}

void InstallFontSubstitutes() {
  const QStringList Proportional = {QStringLiteral("Noto Sans CJK KR"), QStringLiteral("Noto Sans KR"),
                                    QStringLiteral("NanumGothic"), QStringLiteral("UnDotum")};
  const QStringList Monospaced = {QStringLiteral("Noto Sans Mono CJK KR"), QStringLiteral("NanumGothicCoding"),
                                  QStringLiteral("Noto Sans CJK KR")};
  for (const char* Name : {"맑은 고딕", "Malgun Gothic", "굴림", "Gulim", "돋움", "Dotum"})
    QFont::insertSubstitutions(QString::fromUtf8(Name), Proportional);
  for (const char* Name : {"굴림체", "GulimChe", "돋움체", "DotumChe"})
    QFont::insertSubstitutions(QString::fromUtf8(Name), Monospaced);
}

void ShowException(const QString& Message) { ShowErrorBox(Message); }

namespace {

bool QuitRequested = false;

// Clicks and keys that arrive during a long wait: swallowed, or they would
// start commands inside the one that waits. A close of a window is not
// input and goes through.
class TInputBlocker : public QObject {
protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    switch (Event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TabletPress: return true;
    default: return false;
    }
  }
};

// Inside a long wait the windows repaint and a close of the main window gets
// through (Qt counts the window manager's close request as user input, so
// input is let in and filtered here); commands from outside wait for the end.
bool KeepGuiAlive() {
  if (QThread::currentThread() != QCoreApplication::instance()->thread())
    return !QuitRequested;
  if (!QuitRequested) {
    TInputBlocker Blocker;
    QCoreApplication::instance()->installEventFilter(&Blocker);
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    QCoreApplication::instance()->removeEventFilter(&Blocker);
  }
  return !QuitRequested;
}

} // namespace

TApplication::TApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
  QuitRequested = false;
  SetLongWaitHook(KeepGuiAlive);
}

TApplication::~TApplication() { SetLongWaitHook(nullptr); }

void TApplication::Quit() {
  QuitRequested = true;
  // A dialog's own loop would end anyway; rejecting it also hides it and
  // tells its caller that nothing was chosen.
  for (QWidget* Window : QApplication::topLevelWidgets())
    if (auto* Dialog = qobject_cast<QDialog*>(Window); Dialog && Dialog->isVisible())
      Dialog->reject();
  QCoreApplication::exit(0);
}

bool TApplication::Quitting() { return QuitRequested; }

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
  try {
    return QApplication::notify(Receiver, Event);
  } catch (const std::exception& Error) {
    ShowException(QString::fromUtf8(Error.what()));
  } catch (...) {
    ShowException(QStringLiteral("Unknown error"));
  }
  return false;
}
