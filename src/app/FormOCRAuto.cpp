#include "app/Application.h"
#include "app/ToolImages.h"
#include "app/UnitFormOCR.h"

#include "core/ScopeExit.h"
#include "overlay/TranslateForm.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>

// Automatic translation and mouse translation.

void TFormOCR::SetAutoTranslateImage(int Index) {
  FAutoTranslateImage = Index;
  ActAutoTranslate->setIcon(ToolImage(Index));
}

void TFormOCR::ActAutoTranslateExecute() {
  if (TimerAction.isActive()) {
    TimerAction.stop();
    mnuAutoTranslate->setChecked(false);
    FTranslateForm->hide();
    FPipeline->FBusy = false;
    SetAutoTranslateImage(1);
    return;
  }
  // Always a fresh selection, so the first tick compares with a capture of
  // the area it watches.
  if (!SelectAreaAndTranslate())
    return;
  SetAutoTranslateImage(0);
  mnuAutoTranslate->setChecked(true);
  FPipeline->FBusy = true;
  TimerAction.start();
}

void TFormOCR::mnuAutoTranslateClick(bool Checked) {
  if (Checked && FPipeline->FSelectedRect.IsEmpty()) {
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
  }
}

void TFormOCR::TimerActionTimer() {
  // During a selection a tick would hide the selection window to copy the
  // old area; it waits for the selection to end. A failing tick ends in the
  // default error box, and the timer runs on (it does not fire again while
  // its own tick shows the box).
  if (FPipeline->IsSelecting())
    return;
  try {
    CaptureAndTranslate(true);
  } catch (const std::exception& Error) {
    ShowException(QString::fromUtf8(Error.what()));
  }
}

void TFormOCR::MouseTranslate() {
  QApplication::setOverrideCursor(Qt::CrossCursor);
  TScopeExit RestoreCursor([] { QApplication::restoreOverrideCursor(); });
  FPipeline->MouseTranslate();
}
