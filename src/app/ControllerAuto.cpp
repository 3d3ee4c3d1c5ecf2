#include "app/Controller.h"

#include "pipeline/TranslationPipeline.h"

// Automatic translation and mouse translation.

void TController::SetAutoTranslateImage(int Index) {
  FAutoTranslateImage = Index;
  FView.ShowAutoTranslateImage(Index);
}

void TController::AutoTranslateButton() {
  if (FTimer.isActive())
    EndAutoTranslation();
  else
    RunCommand(QStringLiteral("auto-translate"),
               TCommandQueue::TCommand([this](TDone Done) { ActAutoTranslateExecute(std::move(Done)); }));
}

void TController::EndAutoTranslation() {
  FTimer.stop();
  FView.CheckAutoTranslateMenu(false);
  FView.HideTranslationWindow();
  SetAutoTranslateImage(1);
  // A tick's translation still under way would show its result after all.
  if (FCommands.Running() == QLatin1String(AutoTickCommand))
    FPipeline.Cancel();
}

void TController::ActAutoTranslateExecute(TDone Done) {
  if (!Done)
    Done = [] {};
  if (FTimer.isActive()) {
    EndAutoTranslation();
    Done();
    return;
  }
  // Always a fresh selection, so the first tick compares with a capture of
  // the area it watches.
  SelectArea([this, Done](bool Chosen) {
    if (!Chosen) {
      Done();
      return;
    }
    FPipeline.CaptureAndTranslate(false, [this, Done] {
      SetAutoTranslateImage(0);
      FView.CheckAutoTranslateMenu(true);
      FTimer.start();
      Done();
    });
  });
}

void TController::mnuAutoTranslateClick(bool Checked) {
  if (Checked && FPipeline.SelectedRect().IsEmpty()) {
    FView.ShowNotice(QStringLiteral("번역할 영역을 선택하지 않았습니다.\n영역 선택을 먼저 해주세요."));
    return;
  }
  if (Checked) {
    FTimer.start();
  } else {
    FTimer.stop();
    FView.HideTranslationWindow();
    if (FCommands.Running() == QLatin1String(AutoTickCommand))
      FPipeline.Cancel();
  }
}

void TController::TimerActionTimer() {
  // A tick waits for nothing: while a command runs or waits (a selection,
  // a translation, the last tick's own), it is skipped, and the next one
  // compares with the capture then.
  if (FCommands.IsRunning() || FCommands.HasPending())
    return;
  RunCommand(QString::fromLatin1(AutoTickCommand),
             TCommandQueue::TCommand([this](TDone Done) { CaptureAndTranslate(true, std::move(Done)); }));
}

void TController::MouseTranslate(TDone Done) { FPipeline.MouseTranslate(WithCursor(Qt::CrossCursor, std::move(Done))); }
