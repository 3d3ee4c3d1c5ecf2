#include "app/UnitFormOCR.h"

#include "app/ErrorBox.h"
#include "app/ToolImages.h"

#include "capture/AreaSelection.h"
#include "capture/ScreenCapture.h"
#include "capture/SelectForm.h"
#include "core/ScopeExit.h"
#include "overlay/TranslateForm.h"
#include "platform/Platform.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>

// The windows' side of the translation pipeline.

namespace {
// The longest wait for the screen under Korvex's windows to be redrawn
// before a copy; a window beneath that never repaints costs no more.
constexpr std::chrono::milliseconds RepaintLimit(200);

// The screen pixels Window covers now: its client area, or the part of it
// its colour key leaves visible; nothing while hidden or fully transparent.
QRegion CoveredRegion(TPlatform& Platform, QWidget* Window) {
  if (!Window->isVisible() || Platform.WindowAlpha(Window) == 0)
    return {};
  const QRect Client = Window->geometry();
  if (const std::optional<QRegion> Visible = Platform.WindowColorKeyRegion(Window))
    return Visible->translated(Client.topLeft()) & Client;
  return Client;
}
} // namespace

void TFormOCR::ChooseArea(std::function<void(std::optional<TRect>)> Chosen) {
  QApplication::setOverrideCursor(Qt::CrossCursor);
  FTranslateForm->hide();
  // With the designed alpha of 0 the main window vanishes for the selection;
  // it goes before the selection window appears, which may take a picture
  // of the screen as its backdrop.
  FPlatform.SetWindowAlpha(this, AlphaBlendValue);
  FAreaSelection->Start(mnuCaptureOverlay->isChecked(), [this, Chosen = std::move(Chosen)](std::optional<TRect> Area) {
    QApplication::restoreOverrideCursor();
    FPlatform.SetWindowAlpha(this, 255);
    Chosen(Area);
  });
}

void TFormOCR::CancelChoice() { FAreaSelection->Cancel(); }

void TFormOCR::ShowError(const QString& Message) {
  // The same command pressed again while this one failed would only wait
  // as long again for the same failure (a server that stalls for minutes).
  FController->CommandFailed();
  ShowErrorBox(Message, this);
}

void TFormOCR::HideWindowsFrom(const TRect& Area, std::function<void()> Hidden) {
  const QRect AreaRect(Area.Left, Area.Top, Area.Width(), Area.Height());
  // An overlay lying exactly on the area would be copied instead of the
  // text under it: it turns fully transparent for the copy. Korvex's own
  // main window does not belong in a capture either; it has just come back
  // from the selection and may lie over the area.
  const bool HideOverlay = FTranslateForm->isVisible() && IsSameRect(Area, FTranslateForm->ClientScreenRect());
  const bool HideMain = isVisible() && frameGeometry().intersects(AreaRect) && FPlatform.WindowAlpha(this) != 0;
  QRegion Uncovered = FSelectionForm->isVisible() ? CoveredRegion(FPlatform, FSelectionForm.get()) : QRegion();
  if (HideOverlay)
    Uncovered += CoveredRegion(FPlatform, FTranslateForm.get());
  if (HideMain)
    Uncovered += CoveredRegion(FPlatform, this);
  // An overlay hidden just before (a full-screen translation hides it
  // first) has been watched since then.
  std::unique_ptr<TRepaintWatch> Watch;
  if (FUncovered) {
    Uncovered += FUncovered->Region;
    Watch = std::move(FUncovered->Watch);
    FUncovered.reset();
  }
  Uncovered &= AreaRect;
  // Watching starts once the server has drawn everything Korvex asked for
  // so far (the overlay's last paint, say), and before anything moves: the
  // repaints it sees are of what lies beneath.
  if (!Uncovered.isEmpty() && !Watch) {
    FPlatform.Sync();
    Watch = FPlatform.WatchRepaints();
  }

  if (HideOverlay) {
    FHiddenOverlayAlpha = FTranslateForm->AlphaBlendValue();
    FTranslateForm->SetAlphaBlendValue(0);
  }
  if (HideMain) {
    FHiddenMainAlpha = FPlatform.WindowAlpha(this);
    FPlatform.SetWindowAlpha(this, 0);
  }
  FSelectionForm->hide();
  // Only where one of Korvex's windows covered the area does the copy wait,
  // and then just until the screen there has been drawn anew. The wait
  // looks at the repaints between events; the GUI thread never blocks on it.
  if (!Watch || Uncovered.isEmpty()) {
    Hidden();
    return;
  }
  FPlatform.Sync();
  FRepaintWait = TRepaintWait{std::move(Watch), Uncovered, std::move(Hidden), {}};
  FRepaintWait->Clock.start();
  FRepaintCheck.start();
}

void TFormOCR::CheckRepaint() {
  if (!FRepaintWait) {
    FRepaintCheck.stop();
    return;
  }
  const bool Repainted = FRepaintWait->Watch->WaitUntilRepainted(FRepaintWait->Region, std::chrono::milliseconds(0));
  if (!Repainted && FRepaintWait->Clock.elapsed() < RepaintLimit.count())
    return;
  FRepaintCheck.stop();
  const std::function<void()> Hidden = std::move(FRepaintWait->Hidden);
  FRepaintWait.reset();
  Hidden();
}

void TFormOCR::RestoreWindows() {
  if (FHiddenOverlayAlpha != -1)
    FTranslateForm->SetAlphaBlendValue(FHiddenOverlayAlpha);
  if (FHiddenMainAlpha != -1)
    FPlatform.SetWindowAlpha(this, FHiddenMainAlpha);
  FHiddenOverlayAlpha = FHiddenMainAlpha = -1;
}

void TFormOCR::ShowCapture(const QImage& Bitmap) {
  if (mnuShowCaputure->isChecked())
    Image1->setPixmap(QPixmap::fromImage(Bitmap));
}

void TFormOCR::HideTranslation() {
  const QRegion Covered = CoveredRegion(FPlatform, FTranslateForm.get());
  if (!Covered.isEmpty()) {
    FPlatform.Sync();
    FUncovered = TUncovered{FPlatform.WatchRepaints(), Covered};
    // Only a copy within the same command waits for it.
    QTimer::singleShot(0, this, [this] { FUncovered.reset(); });
  }
  FTranslateForm->hide();
  FMemoryRelease.start();
}

void TFormOCR::ShowTranslation(const TIteratorResultList& TargetList, const TRect& Area) {
  FTranslateForm->setVisible(true);
  FTranslateForm->UpdateText(&TargetList);
  if (mnuEqualArea->isChecked())
    FTranslateForm->setGeometry(Area.Left, Area.Top, Area.Width(), Area.Height());
  FTranslateForm->show();
  FMemoryRelease.start();
}

void TFormOCR::ShowAutoTranslateImage(int Index) { ActAutoTranslate->setIcon(ToolImage(Index)); }

void TFormOCR::CheckAutoTranslateMenu(bool Checked) { mnuAutoTranslate->setChecked(Checked); }

void TFormOCR::HideTranslationWindow() { FTranslateForm->hide(); }

void TFormOCR::KeepChosenAreaInView() {
  // A selection started in the meantime keeps its window.
  QTimer::singleShot(1000, FSelectionForm.get(), [this] {
    if (!FPipeline->IsSelecting())
      FSelectionForm->hide();
  });
}

void TFormOCR::LowerWindow() { lower(); }

void TFormOCR::ShowNotice(const QString& Message) {
  QMessageBox::information(this, ApplicationTitle, Message, QMessageBox::Ok);
}

void TFormOCR::mnuViewAreaClick() {
  const TRect& Selected = FPipeline->SelectedRect();
  if (Selected.IsEmpty()) {
    ShowNotice(QStringLiteral("선택한 영역이 없습니다."));
    return;
  }
  const bool Visible = !FSelectionForm->isVisible();
  FSelectionForm->setVisible(Visible);
  FSelectionForm->SetCheckMouse(Visible);
  if (Visible)
    FSelectionForm->ShowSelection(Selected);
}

bool TFormOCR::event(QEvent* Event) {
  if (Event->type() == THotKeyEvent::EventType()) {
    FController->WMHotKey(static_cast<THotKeyEvent*>(Event)->Id);
    return true;
  }
  return QMainWindow::event(Event);
}
