#include "app/UnitFormOCR.h"

#include "app/OCRResultForm.h"
#include "capture/SelectForm.h"
#include "core/ScopeExit.h"
#include "overlay/TranslateForm.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"
#include "text/OCRLayout.h"
#include "text/RESTApi.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

// The preprocessing picker: a sample of the screen in a dialog whose slider
// chooses the binarisation threshold of every later capture.

namespace {

// Time for the desktop to repaint where the main window was before the
// screen is copied.
constexpr int HideSettleMs = 200;
// A selected area at least this tall is no sample; a recognised line is.
constexpr int MaxSampleAreaHeight = 1000;
// Lines this close to the top of the work area are menus and title bars,
// not the text to read.
constexpr int MinSampleLineTop = 150;
constexpr int SampleMargin = 5;
// How long the desktop's recogniser may take over the sample.
constexpr int OSOCRWaitMs = 100 * 100;

// The record with the longest text among those starting MinSampleLineTop
// pixels down or more; the first of equally long ones. All fields 0 when
// there is none.
TIteratorResult LongestOCRResult(const TIteratorResultList& TextSegmentList) {
  TIteratorResult Longest;
  for (const TIteratorResult& Record : TextSegmentList)
    if (Record.Top >= MinSampleLineTop && Record.Text.size() > Longest.Text.size())
      Longest = Record;
  return Longest;
}

// Rect of Bitmap (in its pixels) as a bitmap of its own; what lies outside
// Bitmap comes out black.
QImage CopyImage(const QImage& Bitmap, const TRect& Rect) {
  return Bitmap.copy(QRect(Rect.Left, Rect.Top, Rect.Width(), Rect.Height()));
}

} // namespace

void TFormOCR::mnuSelectOCRResultClick() {
  // The wait for the OS engine lets hotkeys and timer ticks run; none of
  // them may start a second picker over the first one's state.
  if (FPickerRunning)
    return;
  FPickerRunning = true;
  TScopeExit NotRunning([this] { FPickerRunning = false; });

  FTranslateForm->hide();
  FSelectionForm->hide();
  FPlatform.SetWindowAlpha(this, 0);
  // From now on the main window stays visible during area selections too.
  TScopeExit Visible([this] {
    AlphaBlendValue = 255;
    FPlatform.SetWindowAlpha(this, AlphaBlendValue);
  });
  FPlatform.Sync();
  QThread::msleep(HideSettleMs);

  std::optional<TIteratorResultList> TextSegmentList;
  QImage ScreenBitmap;
  const TRect& Selected = FPipeline->SelectedRect();
  if (!Selected.IsEmpty() && Selected.Height() < MaxSampleAreaHeight) {
    // Exactly the pixels the user selected, in screen coordinates; a cut
    // from the work area's copy would be shifted by a panel at the top or
    // left and black where the area reaches over a panel.
    ScreenBitmap = FPlatform.CopyScreen(Selected);
  } else {
    // The copy's origin is the work area's corner; the recognised boxes,
    // and so the sample, are in its pixels.
    ScreenBitmap = FPlatform.CopyScreen(FPlatform.WorkArea());
    TextSegmentList = PickerOCR(ScreenBitmap);
    if (TextSegmentList && !TextSegmentList->empty()) {
      const TIteratorResult Longest = LongestOCRResult(*TextSegmentList);
      const TRect Sample{std::max(0, Longest.Left - SampleMargin), std::max(0, Longest.Top - SampleMargin),
                         std::min(ScreenBitmap.width(), Longest.Right + SampleMargin),
                         std::min(ScreenBitmap.height(), Longest.Bottom + SampleMargin)};
      ScreenBitmap = CopyImage(ScreenBitmap, Sample);
    }
  }
  // The engine ran and found no text: there is nothing to show.
  if (TextSegmentList && TextSegmentList->empty())
    return;

  TOCRResultForm Dialog(this);
  Dialog.FImage = &ScreenBitmap;
  if (FPipeline->OCRThreshold() != -1)
    Dialog.SetOCRThreshold(FPipeline->OCRThreshold());
  FPipeline->SetOCRThreshold(Dialog.exec() == QDialog::Accepted ? Dialog.OCRThreshold() : -1);
}

std::optional<TIteratorResultList> TFormOCR::PickerOCR(const QImage& Bitmap) {
  // The stored engine, not the menu's choice.
  const std::optional<TOCREngineKind> Kind = OCREngineFromName(FConfigIni->Read(Settings::Engine));
  if (!Kind)
    return std::nullopt;
  switch (*Kind) {
  case TOCREngineKind::Tesseract: {
    TOCREngine* Tesseract = FPipeline->Engine(TOCREngineKind::Tesseract);
    if (!Tesseract)
      throw std::runtime_error("Tesseract library is not loaded");
    return Tesseract->RecognizeLines(Bitmap); // text lines, not grouped
  }
  case TOCREngineKind::EasyOCR: {
    // Paragraphs as the service finds them; its failure finds nothing.
    QString ErrorMessage;
    TIteratorResultList Records;
    for (const TOCRItem& Item :
         EasyOCR(FConfigIni->Read(Settings::Server), Bitmap, ErrorMessage, QStringLiteral("True"))) {
      TIteratorResult Record;
      Record.Left = Item.Left;
      Record.Top = Item.Top;
      Record.Right = Item.Right;
      Record.Bottom = Item.Bottom;
      Record.Text = Item.Text;
      Records.push_back(std::move(Record));
    }
    return Records;
  }
  case TOCREngineKind::WindowsOCR: return PickerOSOCR(Bitmap);
  }
  return std::nullopt;
}

std::optional<TIteratorResultList> TFormOCR::PickerOSOCR(const QImage& Bitmap) {
  const TRtOcr::TLanguage& Language = FPipeline->OCRLanguage();
  // A component of the picker's own: the main window's may be busy with a
  // translation, and one left unanswered here is dropped with it, so a late
  // answer reaches nothing.
  QEventLoop Wait;
  bool Busy = true;
  std::optional<TIteratorResultList> TextSegmentList;
  TRtOcr RtOcr1(OcrService());
  RtOcr1.SetPicture(Bitmap);
  RtOcr1.Recognize(Language, TRtOcr::TCompletionProc([&](const TRtOcr::TResult& Result) {
                     Busy = false;
                     Wait.quit();
                     if (Result.Status != TRtOcr::stCompleted || Result.Lines.empty())
                       return;
                     TIteratorResultList Lines = TTranslationPipeline::RecordsOfLines(Result.Lines);
                     for (TIteratorResult& Line : Lines)
                       Line.FFontSize = 0;
                     TextSegmentList = GroupingToSegment(Lines);
                   }),
                   0, 0, 0, 0);
  ShowCapture(Bitmap);
  // Hotkeys and timer ticks run meanwhile. No answer in time: no sample is
  // cut out, and the dialog shows the whole work area.
  if (Busy) {
    QTimer::singleShot(OSOCRWaitMs, &Wait, &QEventLoop::quit);
    Wait.exec();
  }
  return TextSegmentList;
}
