#include "app/Controller.h"

#include "app/HotKeyCommands.h"
#include "pipeline/TranslationPipeline.h"

#include <QApplication>

TController::TController(TConfigIni& Settings, TPlatform& Platform, TTranslationPipeline& Pipeline,
                         TControllerView& View, QTimer& Timer, QWidget& HotKeyWindow)
    : FSettings(Settings), FPlatform(Platform), FPipeline(Pipeline), FView(View), FTimer(Timer),
      FHotKeyWindow(HotKeyWindow) {
  // Another command arriving ends a selection that waits for the user; the
  // new command runs once the selection has ended. An automatic
  // translation gives way to it too: the next tick compares with the
  // capture of its time.
  connect(&FCommands, &TCommandQueue::CommandWaiting, this, [this] {
    if (FPipeline.IsSelecting() || FCommands.Running() == QLatin1String(AutoTickCommand))
      FPipeline.Cancel();
  });
  FCommands.OnError = [this](const QString& Message) { FView.ShowError(Message); };
  connect(&FTimer, &QTimer::timeout, this, &TController::TimerActionTimer);
  RegisterHotKeys();
}

TController::~TController() { UnregisterHotKeys(); }

void TController::RunCommand(const QString& Name, std::function<void()> Command) {
  FCommands.RunNow(Name, std::move(Command));
}

void TController::RunCommand(const QString& Name, TCommandQueue::TCommand Command) {
  FCommands.Run(Name, std::move(Command));
}

void TController::RunFormCommand(const TFormCommand& Command) {
  RunCommand(QString::fromLatin1(Command.Name), [this, &Command](TDone Done) { Command.Run(*this, std::move(Done)); });
}

bool TController::Idle() const { return !FCommands.IsRunning() && !FCommands.HasPending() && FPipeline.IsIdle(); }

void TController::CommandFailed() {
  if (FCommands.IsRunning())
    FCommands.Forget(FCommands.Running());
}

void TController::SelectArea(std::function<void(bool)> Done) { FPipeline.SelectArea(std::move(Done)); }

void TController::SelectAreaAndTranslate(TDone Done) {
  FPipeline.SelectAreaAndTranslate([Done = std::move(Done)] {
    if (Done)
      Done();
  });
}

TController::TDone TController::WithCursor(Qt::CursorShape Shape, TDone Done) {
  QApplication::setOverrideCursor(Shape);
  return [Done = std::move(Done)] {
    QApplication::restoreOverrideCursor();
    if (Done)
      Done();
  };
}

void TController::SelectFullScreen(TDone Done) {
  FPipeline.SelectFullScreen(WithCursor(Qt::CrossCursor, std::move(Done)));
}

void TController::CaptureAndTranslate(bool ScreenDiff, TDone Done) {
  FPipeline.CaptureAndTranslate(ScreenDiff, [Done = std::move(Done)] {
    if (Done)
      Done();
  });
}

void TController::StopAutoTranslation() {
  if (FTimer.isActive())
    FTimer.stop();
}

void TController::ActSelectAreaExecute(TDone Done) {
  StopAutoTranslation();
  SelectAreaAndTranslate(std::move(Done));
}

void TController::ActTranslateExecute(TDone Done) {
  TDone Restore = WithCursor(Qt::WaitCursor, std::move(Done));
  StopAutoTranslation();
  CaptureAndTranslate(false, std::move(Restore));
}

void TController::ActSelectFullScreenExecute(TDone Done) {
  // The capture waits for the screen beneath the main window to be redrawn
  // where it covered the area.
  FView.LowerWindow();
  StopAutoTranslation();
  SelectFullScreen(std::move(Done));
}

void TController::mnuSelectAreaClick(TDone Done) {
  SelectArea([this, Done = std::move(Done)](bool Chosen) {
    if (Chosen)
      FView.KeepChosenAreaInView();
    Done();
  });
}
