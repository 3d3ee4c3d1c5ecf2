#include "app/UnitFormOCR.h"

#include "capture/SelectForm.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Handlers of the selection and capture commands.

void TFormOCR::StopAutoTranslation() {
  if (TimerAction.isActive())
    TimerAction.stop();
}

void TFormOCR::ActSelectAreaExecute(TDone Done) {
  StopAutoTranslation();
  SelectAreaAndTranslate(std::move(Done));
}

void TFormOCR::ActTranslateExecute(TDone Done) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  StopAutoTranslation();
  CaptureAndTranslate(false, [Done = std::move(Done)] {
    QApplication::restoreOverrideCursor();
    Done();
  });
}

void TFormOCR::ActSelectFullScreenExecute(TDone Done) {
  // The capture waits for the screen beneath the main window to be redrawn
  // where it covered the area.
  lower();
  StopAutoTranslation();
  SelectFullScreen(std::move(Done));
}

void TFormOCR::mnuSelectAreaClick(TDone Done) {
  SelectArea([this, Done = std::move(Done)](bool Chosen) {
    // The chosen frame stays in view for a second; a selection started in
    // the meantime keeps its window.
    if (Chosen)
      QTimer::singleShot(1000, FSelectionForm.get(), [this] {
        if (!FPipeline->IsSelecting())
          FSelectionForm->hide();
      });
    Done();
  });
}

void TFormOCR::mnuViewAreaClick() {
  const TRect& Selected = FPipeline->SelectedRect();
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
