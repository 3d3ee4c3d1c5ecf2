#include "app/UnitFormOCR.h"

#include "capture/SelectForm.h"
#include "core/ScopeExit.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Handlers of the selection and capture commands.

void TFormOCR::StopAutoTranslation() {
  if (TimerAction.isActive())
    TimerAction.stop();
}

void TFormOCR::ActSelectAreaExecute() {
  StopAutoTranslation();
  SelectAreaAndTranslate();
}

void TFormOCR::ActTranslateExecute() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  TScopeExit RestoreCursor([] { QApplication::restoreOverrideCursor(); });
  StopAutoTranslation();
  CaptureAndTranslate(false);
}

void TFormOCR::ActSelectFullScreenExecute() {
  // The capture waits for the screen beneath the main window to be redrawn
  // where it covered the area.
  lower();
  StopAutoTranslation();
  SelectFullScreen();
}

void TFormOCR::mnuSelectAreaClick() {
  if (!SelectArea())
    return;
  // The chosen frame stays in view for a second; a selection started in the
  // meantime keeps its window.
  QTimer::singleShot(1000, FSelectionForm.get(), [this] {
    if (!FPipeline->FBusy)
      FSelectionForm->hide();
  });
}

void TFormOCR::mnuViewAreaClick() {
  const TRect& Selected = FPipeline->FSelectedRect;
  if (Selected.IsEmpty()) {
    QMessageBox::information(this, ApplicationTitle, QStringLiteral("선택한 영역이 없습니다."), QMessageBox::Ok);
    return;
  }
  const bool Visible = !FSelectionForm->isVisible();
  FSelectionForm->setVisible(Visible);
  FSelectionForm->SetCheckMouse(Visible);
  if (Visible)
    FSelectionForm->ShowSelection(Selected);
}

