#include "app/UnitFormOCR.h"

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
#include <QPixmap>
#include <QThread>

// The windows' side of the translation pipeline.

namespace {
// Time for the windows uncovered by a hidden or transparent overlay to
// repaint before their pixels are copied.
constexpr int SettleMs = 50;
} // namespace

std::optional<TRect> TFormOCR::ChooseArea(const std::function<bool()>& StillWanted) {
  QApplication::setOverrideCursor(Qt::CrossCursor);
  TScopeExit RestoreCursor([] { QApplication::restoreOverrideCursor(); });
  FTranslateForm->hide();
  // With the designed alpha of 0 the main window vanishes for the selection;
  // it goes before the selection window appears, which may take a picture
  // of the screen as its backdrop.
  FPlatform.SetWindowAlpha(this, AlphaBlendValue);
  TScopeExit RestoreWindow([this] { FPlatform.SetWindowAlpha(this, 255); });
  QCoreApplication::processEvents();
  return RunAreaSelection(FPlatform, *FSelectionForm, mnuCaptureOverlay->isChecked(), StillWanted);
}

void TFormOCR::HideWindowsFrom(const TRect& Area) {
  // An overlay lying exactly on the area would be copied instead of the
  // text under it: it turns fully transparent for the copy.
  if (FTranslateForm->isVisible() && IsSameRect(Area, FTranslateForm->ClientScreenRect())) {
    FHiddenOverlayAlpha = FTranslateForm->AlphaBlendValue();
    FTranslateForm->SetAlphaBlendValue(0);
  }
  // Korvex's own main window does not belong in a capture either; it has
  // just come back from the selection and may lie over the area.
  const QRect AreaRect(Area.Left, Area.Top, Area.Width(), Area.Height());
  if (isVisible() && frameGeometry().intersects(AreaRect) && FPlatform.WindowAlpha(this) != 0) {
    FHiddenMainAlpha = FPlatform.WindowAlpha(this);
    FPlatform.SetWindowAlpha(this, 0);
  }
  const bool SelectionShown = FSelectionForm->isVisible();
  FSelectionForm->hide();
  if (SelectionShown || FHiddenOverlayAlpha != -1 || FHiddenMainAlpha != -1) {
    QGuiApplication::sync();
    QThread::msleep(SettleMs);
  }
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

void TFormOCR::HideTranslation() { FTranslateForm->hide(); }

void TFormOCR::ShowTranslation(const TIteratorResultList& TargetList, const TRect& Area) {
  FTranslateForm->setVisible(true);
  FTranslateForm->UpdateText(&TargetList);
  if (mnuEqualArea->isChecked())
    FTranslateForm->setGeometry(Area.Left, Area.Top, Area.Width(), Area.Height());
  FTranslateForm->show();
}
