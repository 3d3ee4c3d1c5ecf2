#include "app/UnitFormOCR.h"

#include "capture/ScreenCapture.h"
#include "capture/SelectForm.h"
#include "imaging/OCRPreprocessor.h"
#include "overlay/TranslateForm.h"
#include "platform/Platform.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

// Selection and capture commands of the controller.

namespace {

using TKey = TPlatform::TKey;

constexpr int DragPollMs = 50;
// Shift mode needs no pause between passes; a short one keeps it from
// burning a whole core while the user picks the second corner.
constexpr int ShiftPollMs = 5;
// Time for the windows uncovered by a hidden or transparent overlay to
// repaint before their pixels are copied.
constexpr int SettleMs = 50;
constexpr float ChangeThreshold = 0.02f;
constexpr float BinarizedChangeThreshold = 0.005f;

// Undoes a setting when the scope ends, also when a step in between throws.
template <typename F> class TScopeExit {
public:
  explicit TScopeExit(F Action) : FAction(std::move(Action)) {}
  ~TScopeExit() { FAction(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

private:
  F FAction;
};

TRect NormalizedRect(QPoint A, QPoint B) {
  return {std::min(A.x(), B.x()), std::min(A.y(), B.y()), std::max(A.x(), B.x()), std::max(A.y(), B.y())};
}

} // namespace

bool TFormOCR::SelectArea() {
  QApplication::setOverrideCursor(Qt::CrossCursor);
  TScopeExit RestoreCursor([] { QApplication::restoreOverrideCursor(); });
  QPoint StartPoint(0, 0);

  FTranslateForm->hide();
  // With the designed alpha of 0 the main window vanishes for the selection;
  // it goes before the selection window appears, which may take a picture
  // of the screen as its backdrop.
  Platform().SetWindowAlpha(this, AlphaBlendValue);
  TScopeExit RestoreWindow([this] { Platform().SetWindowAlpha(this, 255); });
  QCoreApplication::processEvents();
  if (!FSelectionForm)
    FSelectionForm = std::make_unique<TSelectionForm>(this);
  const QSize Screen = Platform().PrimaryScreenSize();
  FSelectionForm->setGeometry(0, 0, Screen.width(), Screen.height());
  FSelectionForm->SetOverlay(mnuCaptureOverlay->isChecked());
  FSelectionForm->Start();
  FSelectionForm->show();
  FSelectionForm->raise();
  FSelectionForm->activateWindow();

  bool ShiftMode = false;
  bool Started = false;
  bool Released = false;
  FBusy = true;
  QThread::msleep(DragPollMs);

  bool Result = false;
  while (!Platform().IsKeyDown(TKey::Escape)) {
    QCoreApplication::processEvents();
    if (!FBusy)
      break; // a command that ran meanwhile ended the selection
    if (!ShiftMode && Platform().IsKeyDown(TKey::Shift))
      ShiftMode = true;

    const bool ButtonDown = Platform().IsKeyDown(TKey::LeftButton);
    bool Complete = false;
    auto FollowCursor = [&] {
      const QPoint Cursor = Platform().CursorPos();
      if (Cursor != FSelectionForm->FCurrentPoint) {
        FSelectionForm->UpdateSelection(StartPoint, Cursor);
        QCoreApplication::processEvents();
      }
    };
    auto SetStart = [&] {
      Started = true;
      StartPoint = Platform().CursorPos();
      FSelectionForm->FStartPoint = StartPoint;
      FSelectionForm->FCurrentPoint = StartPoint;
    };

    if (ShiftMode) {
      // Two clicks: the start point follows the cursor until the first
      // release, the frame follows it until the second press.
      if (ButtonDown && !Released) {
        SetStart();
      } else if (!ButtonDown && Started) {
        Released = true;
        FollowCursor();
      } else if (ButtonDown && Released) {
        Complete = true;
      }
    } else {
      if (ButtonDown && !Started)
        SetStart();
      else if (ButtonDown && Started)
        FollowCursor();
      else if (!ButtonDown && Started)
        Complete = true;
    }

    if (Complete) {
      FBusy = false;
      FSelectedRect = NormalizedRect(StartPoint, Platform().CursorPos());
      Result = true;
      break;
    }
    QThread::msleep(ShiftMode ? ShiftPollMs : DragPollMs);
  }

  if (!Result) {
    FSelectionForm->hide();
    FBusy = false;
  }
  return Result;
}

bool TFormOCR::SelectAreaAndTranslate() {
  if (!SelectArea())
    return false;
  CaptureAndTranslate(false);
  return true;
}

void TFormOCR::SelectFullScreen() {
  QApplication::setOverrideCursor(Qt::CrossCursor);
  // Restored even when recognition fails: a cursor pushed and never popped
  // would stay a cross over every window of the program.
  TScopeExit RestoreCursor([] { QApplication::restoreOverrideCursor(); });
  FTranslateForm->hide();
  FBusy = true;
  // Anchored at the screen origin, whatever the work area's own origin.
  const TRect WorkArea = Platform().WorkArea();
  FSelectedRect = {0, 0, WorkArea.Width(), WorkArea.Height()};
  if (CaptureScreenArea(false)) {
    if (auto List = Recognize(); List && !List->empty())
      TranslateOCRList(*List);
  }
  FBusy = false;
}

void TFormOCR::CaptureAndTranslate(bool ScreenDiff) {
  if (FSelectedRect.IsEmpty())
    return;
  if (!CaptureScreenArea(ScreenDiff))
    return;
  if (auto List = Recognize(); List && !List->empty())
    TranslateOCRList(*List);
}

bool TFormOCR::CaptureScreenArea(bool ScreenDiff) {
  if (FSelectedRect.IsEmpty())
    return false;

  // An overlay lying exactly on the area would be copied instead of the
  // text under it: it turns fully transparent for the copy.
  int OrgAlphaBlend = -1;
  if (FTranslateForm->isVisible() && IsSameRect(FSelectedRect, FTranslateForm->ClientScreenRect())) {
    OrgAlphaBlend = FTranslateForm->AlphaBlendValue();
    FTranslateForm->SetAlphaBlendValue(0);
  }
  // Korvex's own main window does not belong in a capture either; it has
  // just come back from the selection and may lie over the area.
  const QRect Area(FSelectedRect.Left, FSelectedRect.Top, FSelectedRect.Width(), FSelectedRect.Height());
  int OrgMainAlpha = -1;
  if (isVisible() && frameGeometry().intersects(Area) && Platform().WindowAlpha(this) != 0) {
    OrgMainAlpha = Platform().WindowAlpha(this);
    Platform().SetWindowAlpha(this, 0);
  }
  bool RestoreOverlay = OrgAlphaBlend != -1;
  bool RestoreMain = OrgMainAlpha != -1;
  auto RestoreWindows = [&] {
    if (RestoreOverlay)
      FTranslateForm->SetAlphaBlendValue(OrgAlphaBlend);
    if (RestoreMain)
      Platform().SetWindowAlpha(this, OrgMainAlpha);
    RestoreOverlay = RestoreMain = false;
  };
  TScopeExit Restore(RestoreWindows);
  const bool SelectionShown = FSelectionForm && FSelectionForm->isVisible();
  if (FSelectionForm)
    FSelectionForm->hide();
  if (SelectionShown || OrgAlphaBlend != -1 || OrgMainAlpha != -1) {
    QGuiApplication::sync();
    QThread::msleep(SettleMs);
  }

  QImage CurrentBitmap = Platform().CopyScreen(FSelectedRect);
  if (!FScreenBitmap)
    FScreenBitmap.emplace();
  if (FOCRThreshold != -1)
    TImageProcessor::BinarizeWithGlobalThreshold(CurrentBitmap, uint8_t(FOCRThreshold), false);

  RestoreWindows();

  if (ScreenDiff) {
    const float Threshold = FOCRThreshold == -1 ? ChangeThreshold : BinarizedChangeThreshold;
    // The change test calls a capture of another size "no change"; after the
    // area was chosen anew that would reject every capture for good, so a new
    // size counts as a change here.
    const bool NewSize = FScreenBitmap->size() != CurrentBitmap.size();
    if (!IsChangedScreen(*FScreenBitmap, CurrentBitmap, Threshold) && !NewSize)
      return false;
  }
  *FScreenBitmap = std::move(CurrentBitmap);
  return true;
}

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
  lower();
  QGuiApplication::sync();
  QThread::msleep(50);
  StopAutoTranslation();
  SelectFullScreen();
}

void TFormOCR::mnuSelectAreaClick() {
  if (!SelectArea())
    return;
  // The chosen frame stays in view for a second; a selection started in the
  // meantime keeps its window.
  QTimer::singleShot(1000, FSelectionForm.get(), [this] {
    if (!FBusy)
      FSelectionForm->hide();
  });
}

void TFormOCR::mnuViewAreaClick() {
  if (FSelectedRect.IsEmpty()) {
    QMessageBox::information(this, ApplicationTitle, QStringLiteral("선택한 영역이 없습니다."), QMessageBox::Ok);
    return;
  }
  const bool Visible = !FSelectionForm->isVisible();
  FSelectionForm->setVisible(Visible);
  FSelectionForm->SetCheckMouse(Visible);
  if (Visible)
    FSelectionForm->ShowSelection(FSelectedRect);
}
