#include "app/ToolImages.h"
#include "app/UnitFormOCR.h"

#include "overlay/TranslateForm.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>

// Automatic translation and mouse translation.

namespace {
// The command name of one automatic translation, so that a tick arriving
// while the last one still runs is not queued twice.
const QString AutoTick = QStringLiteral("auto-tick");
} // namespace

void TFormOCR::SetAutoTranslateImage(int Index) {
  FAutoTranslateImage = Index;
  ActAutoTranslate->setIcon(ToolImage(Index));
}

void TFormOCR::EndAutoTranslation() {
  TimerAction.stop();
  mnuAutoTranslate->setChecked(false);
  FTranslateForm->hide();
  SetAutoTranslateImage(1);
  // A tick's translation still under way would show its result after all.
  if (FCommands.Running() == AutoTick)
    FPipeline->Cancel();
}

void TFormOCR::ActAutoTranslateExecute(TDone Done) {
  if (!Done)
    Done = [] {};
  if (TimerAction.isActive()) {
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
    FPipeline->CaptureAndTranslate(false, [this, Done] {
      SetAutoTranslateImage(0);
      mnuAutoTranslate->setChecked(true);
      TimerAction.start();
      Done();
    });
  });
}

void TFormOCR::mnuAutoTranslateClick(bool Checked) {
  if (Checked && FPipeline->SelectedRect().IsEmpty()) {
    QMessageBox::information(this, ApplicationTitle,
                             QStringLiteral("번역할 영역을 선택하지 않았습니다.\n영역 선택을 먼저 해주세요."),
                             QMessageBox::Ok);
    return;
  }
  if (Checked) {
    TimerAction.start();
  } else {
    TimerAction.stop();
    FTranslateForm->hide();
    if (FCommands.Running() == AutoTick)
      FPipeline->Cancel();
  }
}

void TFormOCR::TimerActionTimer() {
  // A tick waits for nothing: while a command runs or waits (a selection,
  // a translation, the last tick's own), it is skipped, and the next one
  // compares with the capture then.
  if (FCommands.IsRunning() || FCommands.HasPending())
    return;
  RunCommand(AutoTick, TCommandQueue::TCommand([this](TDone Done) { CaptureAndTranslate(true, std::move(Done)); }));
}

void TFormOCR::MouseTranslate(TDone Done) {
  QApplication::setOverrideCursor(Qt::CrossCursor);
  FPipeline->MouseTranslate([Done = std::move(Done)] {
    QApplication::restoreOverrideCursor();
    if (Done)
      Done();
  });
}
