#include "app/OCRResultForm.h"
#include "app/UnitFormOCR.h"
#include "imaging/OCRPreprocessor.h"
#include "overlay/TranslateForm.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"
#include "text/LoopbackServer.h"

#include <QAction>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

#include "support/TestRuntime.h"

#include <memory>
#include <optional>

namespace {

// Every pixel of the screen differs from every other, so a sample cut out
// one pixel off is caught.
QImage PatternScreen() {
  QImage Screen(1920, 1080, QImage::Format_RGB32);
  for (int Y = 0; Y < Screen.height(); ++Y) {
    auto* Line = reinterpret_cast<QRgb*>(Screen.scanLine(Y));
    for (int X = 0; X < Screen.width(); ++X)
      Line[X] = qRgb(X & 255, Y & 255, (((X >> 8) & 15) << 4) | ((Y >> 8) & 15));
  }
  return Screen;
}

QImage Binarized(QImage Image, int Threshold) {
  TImageProcessor::BinarizeWithGlobalThreshold(Image, uint8_t(Threshold), false);
  return Image;
}

bool OnlyBlackAndWhite(const QImage& Image) {
  const QImage Rgb = Image.convertToFormat(QImage::Format_RGB32);
  for (int Y = 0; Y < Rgb.height(); ++Y)
    for (int X = 0; X < Rgb.width(); ++X) {
      const QRgb P = Rgb.pixel(X, Y);
      if ((P & 0xFFFFFF) != 0 && (P & 0xFFFFFF) != 0xFFFFFF)
        return false;
    }
  return true;
}

// An engine that notes the bitmaps it is given and finds nothing.
class TRecordingEngine : public TOCREngine {
public:
  TIteratorResultList RecognizeLines(const QImage& Bitmap) override {
    Seen.push_back(Bitmap);
    return {};
  }
  std::vector<QImage> Seen;
};

// What the user saw in the picker's dialog and did there.
struct TDialogVisit {
  QImage Sample;  // the dialog's FImage
  QImage Preview; // what its preview showed before any move
  int StartThreshold = -1;
  QString ToolTip;
  int MainAlpha = -1; // the main window's, while the dialog was open
};

class Picker : public ::testing::Test {
protected:
  void SetUp() override {
    {
      TConfigIni Ini(Runtime.IniPath());
      Ini.WriteString("Translation", "Server", Server.Url());
      Ini.WriteString("OCR", "Engine", "EasyOCR");
    }
    Desktop.Screen = PatternScreen();
    Desktop.Ocr.Languages = {{"en-US", "English (United States)", "English (United States)", "Latin"},
                             {"ko-KR", "한국어 (대한민국)", "한국어 (대한민국)", "Hangul"}};
    TMessageBoxAnswerer User;
    Form = std::make_unique<TFormOCR>(Runtime.Path(), Desktop);
    ASSERT_FALSE(Form->StartFailed()) << User.Texts().join('\n').toStdString();
    Form->show();
  }
  void TearDown() override { Form.reset(); }

  // Runs the picker; in its dialog, Act (if given) plays the user after the
  // visit is noted, else the dialog is confirmed. None when no dialog came.
  std::optional<TDialogVisit> RunPicker(std::function<void(TOCRResultForm*)> Act = nullptr) {
    std::optional<TDialogVisit> Visit;
    TNextDialog<TOCRResultForm> User([&](TOCRResultForm* Dialog) {
      Visit.emplace();
      Visit->Sample = Dialog->FImage ? *Dialog->FImage : QImage();
      Visit->Preview = Dialog->ImgOCR->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
      Visit->StartThreshold = Dialog->OCRThreshold();
      Visit->ToolTip = Dialog->TrackBar->toolTip();
      Visit->MainAlpha = Desktop.Windows[Form.get()].Alpha;
      if (Act)
        Act(Dialog);
      else
        Dialog->btnOK->click();
    });
    Form->mnuSelectOCRResult->trigger();
    return Visit;
  }

  int OCRRequests() const {
    int Count = 0;
    for (const auto& Request : Server.Requests())
      Count += Request.Path == "/ocr";
    return Count;
  }

  std::string OCRReply = "[]";
  TLoopbackServer Server{[this](const httplib::Request&, httplib::Response& Response) {
    Response.set_content(OCRReply, "application/json");
  }};
  TTestRuntimeFolder Runtime;
  TFakePlatform Desktop;
  std::unique_ptr<TFormOCR> Form;
};

TEST_F(Picker, ASelectedAreaIsCutOutExactlyWithoutOCRWhereverTheWorkAreaStarts) {
  const TRect WorkAreas[] = {{0, 0, 1920, 1040}, {0, 40, 1920, 1080}, {64, 28, 1920, 1080}};
  for (const TRect& WorkArea : WorkAreas) {
    SCOPED_TRACE(WorkArea.Left * 1000 + WorkArea.Top);
    Desktop.WorkAreaRect = WorkArea;
    Form->Pipeline().SetSelectedRect({100, 200, 500, 1199}); // 999 pixels tall
    const auto Visit = RunPicker();
    ASSERT_TRUE(Visit);
    EXPECT_EQ(Visit->Sample, Desktop.Screen.copy(100, 200, 400, 999));
  }
  EXPECT_EQ(OCRRequests(), 0);
}

TEST_F(Picker, WithoutASmallAreaTheSampleIsTheLongestLineFromTheTopOf150WithItsMargin) {
  struct TCase {
    const char* Name;
    TRect Selected;
    TRect WorkArea;
    std::string Reply;
    QRect Expected; // in screen pixels
  };
  const std::string Lines = R"([
      {"left": 10, "top": 100, "right": 900, "bottom": 120, "text": "a long line too close to the top"},
      {"left": 50, "top": 150, "right": 250, "bottom": 170, "text": "short"},
      {"left": 40, "top": 300, "right": 400, "bottom": 330, "text": "the longest of all"},
      {"left": 60, "top": 400, "right": 200, "bottom": 420, "text": "also as long here"},
      {"left": 60, "top": 500, "right": 200, "bottom": 520, "text": "the longest tie!!!"}])";
  const TCase Cases[] = {
      {"nothing selected", {}, {0, 0, 1920, 1040}, Lines, QRect(35, 295, 370, 40)},
      {"an area 1000 pixels tall", {0, 0, 100, 1000}, {0, 0, 1920, 1040}, Lines, QRect(35, 295, 370, 40)},
      {"a panel above the work area", {}, {0, 40, 1920, 1080}, Lines, QRect(35, 335, 370, 40)},
      {"a line starting at 150 counts",
       {},
       {0, 0, 1920, 1040},
       R"([{"left": 10, "top": 150, "right": 90, "bottom": 170, "text": "at 150"}])",
       QRect(5, 145, 90, 30)},
      {"all lines above 150",
       {},
       {0, 0, 1920, 1040},
       R"([{"left": 10, "top": 149, "right": 900, "bottom": 170, "text": "almost"}])",
       QRect(0, 0, 5, 5)},
      {"margin kept inside the capture",
       {},
       {0, 0, 1920, 1040},
       R"([{"left": 2, "top": 1030, "right": 1918, "bottom": 1038, "text": "edge"}])",
       QRect(0, 1025, 1920, 15)},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Desktop.WorkAreaRect = Case.WorkArea;
    Form->Pipeline().SetSelectedRect(Case.Selected);
    OCRReply = Case.Reply;
    const int RequestsBefore = OCRRequests();
    const auto Visit = RunPicker();
    ASSERT_TRUE(Visit);
    EXPECT_EQ(Visit->Sample, Desktop.Screen.copy(Case.Expected));
    EXPECT_EQ(OCRRequests(), RequestsBefore + 1);
  }
  // The service is asked for paragraphs.
  EXPECT_EQ(Server.Requests().back().Header("paragraph"), "True");
}

TEST_F(Picker, NoTextFoundShowsNoDialogAndChangesNothing) {
  Form->Pipeline().SetOCRThreshold(77);
  OCRReply = "[]";
  EXPECT_FALSE(RunPicker());
  EXPECT_EQ(OCRRequests(), 1);
  EXPECT_EQ(Form->Pipeline().OCRThreshold(), 77);
  EXPECT_EQ(Desktop.Windows[Form.get()].Alpha, 255);
}

TEST_F(Picker, TheSliderStartsAtThePreviousThresholdAndThePreviewIsBinarisedAtOnce) {
  Form->Pipeline().SetSelectedRect({300, 300, 700, 500});
  const QImage Sample = Desktop.Screen.copy(300, 300, 400, 200);
  Form->FTranslateForm->show();

  // First run: no threshold yet, so 128; the user moves to 200 and confirms.
  const auto First = RunPicker([](TOCRResultForm* Dialog) {
    Dialog->TrackBar->setValue(200);
    EXPECT_EQ(Dialog->TrackBar->toolTip(), "200");
    EXPECT_EQ(Dialog->ImgOCR->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
              Binarized(*Dialog->FImage, 200));
    Dialog->btnOK->click();
  });
  ASSERT_TRUE(First);
  EXPECT_EQ(First->StartThreshold, 128);
  EXPECT_EQ(First->ToolTip, "128");
  EXPECT_EQ(First->Preview, Binarized(Sample, 128));
  EXPECT_EQ(First->Sample, Sample); // the preview never changes the sample
  EXPECT_EQ(Form->Pipeline().OCRThreshold(), 200);
  EXPECT_FALSE(Form->FTranslateForm->isVisible());
  // The main window is out of the way while the screen is copied and the
  // dialog is open, and stays visible afterwards, also for selections.
  EXPECT_EQ(First->MainAlpha, 0);
  EXPECT_EQ(Desktop.Windows[Form.get()].Alpha, 255);
  EXPECT_EQ(Form->AlphaBlendValue, 255);

  // Second run starts at 200; Cancel switches binarisation off.
  const auto Second = RunPicker([](TOCRResultForm* Dialog) { Dialog->btnCancel->click(); });
  ASSERT_TRUE(Second);
  EXPECT_EQ(Second->StartThreshold, 200);
  EXPECT_EQ(Second->Preview, Binarized(Sample, 200));
  EXPECT_EQ(Form->Pipeline().OCRThreshold(), -1);
}

TEST_F(Picker, AfterOKEveryCaptureIsBinarisedBeforeTheChangeTestAndBeforeRecognition) {
  auto Recorder = std::make_unique<TRecordingEngine>();
  TRecordingEngine& Engine = *Recorder;
  Form->Pipeline().SetEngine(TOCREngineKind::Tesseract, std::move(Recorder));
  Form->mnuTesseract->setChecked(true);
  Form->Pipeline().SetSelectedRect({0, 300, 256, 400});
  ASSERT_TRUE(RunPicker([](TOCRResultForm* Dialog) {
    Dialog->TrackBar->setValue(100);
    Dialog->btnOK->click();
  }));
  ASSERT_EQ(Form->Pipeline().OCRThreshold(), 100);

  bool Ended = false;
  Form->CaptureAndTranslate(false, [&Ended] { Ended = true; });
  ASSERT_TRUE(WaitUntil([&] { return Ended; }));
  ASSERT_EQ(Engine.Seen.size(), 1u);
  EXPECT_TRUE(OnlyBlackAndWhite(Engine.Seen[0]));
  EXPECT_EQ(Engine.Seen[0], Binarized(Desktop.Screen.copy(0, 300, 256, 100), 100));

  // Pixels that change but stay on the same side of the threshold are no
  // change once binarised; pixels that cross it are.
  auto CaptureChanged = [this] {
    const auto Captured = std::make_shared<std::optional<bool>>();
    Form->Pipeline().CaptureScreenArea(true, [Captured](bool Accepted) { *Captured = Accepted; });
    EXPECT_TRUE(WaitUntil([Captured] { return Captured->has_value(); }));
    return Captured->value_or(false);
  };
  QPainter(&Desktop.Screen).fillRect(QRect(0, 300, 40, 100), QColor(30, 30, 30));
  EXPECT_FALSE(CaptureChanged());
  QPainter(&Desktop.Screen).fillRect(QRect(0, 300, 40, 100), QColor(250, 250, 250));
  EXPECT_TRUE(CaptureChanged());
}

TEST_F(Picker, TheEngineIsTheStoredOneNotTheMenusChoice) {
  Form->mnuTesseract->setChecked(true);
  OCRReply = R"([{"left": 10, "top": 200, "right": 90, "bottom": 220, "text": "remote"}])";
  ASSERT_TRUE(RunPicker());
  EXPECT_EQ(OCRRequests(), 1);

  // A name that is no engine recognises nothing: the whole work area is shown.
  TConfigIni(Runtime.IniPath()).WriteString("OCR", "Engine", "easyocr");
  const auto Visit = RunPicker();
  ASSERT_TRUE(Visit);
  EXPECT_EQ(Visit->Sample, Desktop.Screen.copy(0, 0, 1920, 1040));
  EXPECT_EQ(OCRRequests(), 1);
}

TEST_F(Picker, SetImageInvalidEndsThePickerAndTheMainWindowComesBack) {
  TConfigIni(Runtime.IniPath()).WriteString("OCR", "Engine", "Tesseract");
  Desktop.WorkAreaRect = {0, 0, 0, 0}; // an empty capture, which Tesseract refuses
  Form->Pipeline().SetOCRThreshold(90);
  bool DialogShown = false;
  TNextDialog<TOCRResultForm> User([&](TOCRResultForm* Dialog) {
    DialogShown = true;
    Dialog->reject();
  });
  EXPECT_THROW(
      {
        try {
          Form->mnuSelectOCRResultClick();
        } catch (const std::runtime_error& Error) {
          EXPECT_STREQ(Error.what(), "SetImage invalid");
          throw;
        }
      },
      std::runtime_error);
  EXPECT_FALSE(DialogShown);
  EXPECT_EQ(Desktop.Windows[Form.get()].Alpha, 255);
  EXPECT_EQ(Form->AlphaBlendValue, 255);
  EXPECT_EQ(Form->Pipeline().OCRThreshold(), 90);
}

TEST_F(Picker, WithTesseractTheSampleIsTheLongestRecognisedLine) {
  TConfigIni(Runtime.IniPath()).WriteString("OCR", "Engine", "Tesseract");
  Desktop.Screen = QImage(1920, 1080, QImage::Format_RGB32);
  Desktop.Screen.fill(Qt::white);
  QFont Font(QStringLiteral("DejaVu Sans"));
  Font.setPixelSize(28);
  const QString Longest = QStringLiteral("The quick brown fox jumps over the lazy dog");
  {
    QPainter Painter(&Desktop.Screen);
    Painter.setFont(Font);
    Painter.setPen(Qt::black);
    Painter.drawText(40, 80, QStringLiteral("A much longer line that sits far too close to the top of it all"));
    Painter.drawText(40, 300, QStringLiteral("Short words here"));
    Painter.drawText(40, 500, Longest);
    Painter.drawText(40, 700, QStringLiteral("Another line"));
  }
  const auto Visit = RunPicker();
  ASSERT_TRUE(Visit);
  // The line's box and 5 pixels on each side.
  const int TextWidth = QFontMetrics(Font).horizontalAdvance(Longest);
  EXPECT_NEAR(Visit->Sample.width(), TextWidth + 10, 12);
  EXPECT_GT(Visit->Sample.height(), 28);
  EXPECT_LT(Visit->Sample.height(), 60);
}

TOcrLine Line(const QString& Text, std::vector<TOcrRect> WordBoxes) {
  TOcrLine Result;
  Result.Text = Text;
  for (const TOcrRect& Box : WordBoxes)
    Result.Words.push_back({Text, Box});
  return Result;
}

class PickerWithDesktopOCR : public Picker {
protected:
  void SetUp() override {
    Picker::SetUp();
    TConfigIni Ini(Runtime.IniPath());
    Ini.WriteString("OCR", "Engine", "Windows OCR");
    Ini.WriteInteger("OCR", "Language", 1);
  }
  // Ends each recognition, once it has started, with Result.
  void AnswerWith(std::optional<TOcrResult> Result) {
    QObject::connect(&Answerer, &QTimer::timeout, [this, Result] {
      if (Result && Desktop.Ocr.Pending() > 0)
        Desktop.Ocr.Complete(TOcrAsyncStatus::Completed, *Result);
      ++TicksWhileWaiting;
    });
    Answerer.start(20);
  }
  QTimer Answerer;
  int TicksWhileWaiting = 0;
};

TEST_F(PickerWithDesktopOCR, TheSampleIsTheLongestSegmentOfTheAnswer) {
  TOcrResult Answer;
  Answer.Lines = {Line("A line much too close to the top", {{10, 100, 800, 20}}),
                  Line("Hello wide world", {{40.2f, 300.5f, 100, 20}, {150, 301, 200.3f, 22}}),
                  Line("short", {{40, 700, 60, 20}})};
  AnswerWith(Answer);
  const auto Visit = RunPicker();
  ASSERT_TRUE(Visit);
  // Word boxes joined, every edge rounded up, and the margin around them.
  EXPECT_EQ(Visit->Sample, Desktop.Screen.copy(QRect(36, 296, 320, 32)));
  ASSERT_EQ(Desktop.Ocr.Operations.size(), 1u);
  EXPECT_EQ(Desktop.Ocr.Operations[0]->Language().LanguageTag, "ko-KR");
  // The whole work area went to the recogniser and to the preview.
  EXPECT_EQ(Desktop.Ocr.Operations[0]->Bitmap()->Width(), 1920);
  EXPECT_EQ(Desktop.Ocr.Operations[0]->Bitmap()->Height(), 1040);
  EXPECT_EQ(Form->Image1->pixmap().size(), QSize(1920, 1040));
}

TEST_F(PickerWithDesktopOCR, AnAnswerWithoutLinesCutsNoSample) {
  // Unlike an engine that found nothing, the desktop's answer without lines
  // leaves the whole work area to look at.
  AnswerWith(TOcrResult{});
  const auto Visit = RunPicker();
  ASSERT_TRUE(Visit);
  EXPECT_EQ(Visit->Sample, Desktop.Screen.copy(0, 0, 1920, 1040));
}

TEST_F(PickerWithDesktopOCR, NoAnswerWithinTenSecondsShowsTheWholeWorkArea) {
  AnswerWith(std::nullopt);
  const auto Visit = RunPicker();
  ASSERT_TRUE(Visit);
  EXPECT_EQ(Visit->Sample, Desktop.Screen.copy(0, 0, 1920, 1040));
  EXPECT_GT(TicksWhileWaiting, 100); // events ran while it waited
  // The answer that comes too late reaches nothing.
  EXPECT_TRUE(Desktop.Ocr.Complete(TOcrAsyncStatus::Completed, {}));
  QCoreApplication::processEvents();
}

TEST_F(PickerWithDesktopOCR, ALanguageNumberBeyondTheListEndsThePickerWithItsMessage) {
  TConfigIni(Runtime.IniPath()).WriteInteger("OCR", "Language", 2);
  EXPECT_THROW(Form->mnuSelectOCRResultClick(), EOCRLanguageMissing);
  EXPECT_TRUE(Desktop.Ocr.Operations.empty());
  EXPECT_EQ(Desktop.Windows[Form.get()].Alpha, 255);
}

} // namespace
