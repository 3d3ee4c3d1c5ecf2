#include "imaging/ColorKey.h"
#include "overlay/QtTextMeasurer.h"
#include "overlay/TranslateForm.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

const QString Font = QStringLiteral("DejaVu Sans");
const QColor White(255, 255, 255);
const QColor Gray(128, 128, 128); // clGray

// A form over a settings file of the test's own, on the fake desktop
// (1920 x 1080), painted into images.
class OverlayPaint : public ::testing::Test {
protected:
  void SetUp() override {
    Ini = std::make_unique<TConfigIni>(Dir.filePath("Config.ini"));
    Set("FontName", Font);
  }
  void TearDown() override { Form.reset(); }

  void Set(const QString& Key, const QString& Value) { Ini->WriteString("TranslationWindow", Key, Value); }

  TTranslationForm& MakeForm(int Width, int Height, TIteratorResultList Items) {
    List = std::move(Items);
    Form = std::make_unique<TTranslationForm>(nullptr, *Ini, Desktop);
    Form->resize(Width, Height);
    Form->UpdateText(&List);
    Form->hide();
    return *Form;
  }

  QImage Paint() {
    QImage Image(Form->size(), QImage::Format_RGB32);
    Image.fill(Qt::cyan);
    QPainter Canvas(&Image);
    Form->FormPaint(Canvas);
    return Image;
  }

  // For each row from Top down: does any pixel in the columns from Left on,
  // inside the frame, differ from the window colour?
  static std::vector<bool> InkRows(const QImage& Image, int Left, int Top) {
    std::vector<bool> Rows;
    for (int Y = Top; Y < Image.height() - 2; ++Y) {
      bool Ink = false;
      for (int X = Left; X < Image.width() - 2 && !Ink; ++X)
        Ink = Image.pixelColor(X, Y) != White;
      Rows.push_back(Ink);
    }
    return Rows;
  }

  // Rows covered by text cells of the given height, the first at Top and
  // each next Advance lower, for Count lines.
  static std::vector<bool> CellRows(int Rows, int Count, int Advance, int Height) {
    std::vector<bool> Cells(Rows, false);
    for (int Line = 0; Line < Count; ++Line)
      for (int Y = Line * Advance; Y < Line * Advance + Height; ++Y)
        if (Y >= 0 && Y < Rows)
          Cells[Y] = true;
    return Cells;
  }

  QTemporaryDir Dir;
  std::unique_ptr<TConfigIni> Ini;
  TIteratorResultList List;
  TFakePlatform Desktop;
  std::unique_ptr<TTranslationForm> Form;
};

TIteratorResult Item(int Left, int Top, int Right, int Bottom, const QString& Text, int FontSize = 14) {
  TIteratorResult Result;
  Result.Left = Left;
  Result.Top = Top;
  Result.Right = Right;
  Result.Bottom = Bottom;
  Result.Text = Text;
  Result.FFontSize = FontSize;
  return Result;
}

TEST_F(OverlayPaint, FillsTheBoxesExactlyInsideTheFrame) {
  Set("TextBackColor", "$00123456");
  MakeForm(300, 200, {Item(50, 40, 150, 90, ""), Item(120, 80, 260, 180, ""), Item(10, 10, 10, 50, "")});
  const QImage Image = Paint();
  const QColor Box(0x56, 0x34, 0x12);
  const QColor Frame = ColorToQColor(clBtnShadow);
  const QRect Box1(50, 40, 100, 50), Box2(120, 80, 140, 100);
  for (int Y = 0; Y < 200; ++Y)
    for (int X = 0; X < 300; ++X) {
      const QPoint P(X, Y);
      const QColor Expected = Box1.contains(P) || Box2.contains(P)     ? Box
                              : X < 2 || Y < 2 || X >= 298 || Y >= 198 ? Frame
                                                                       : White;
      ASSERT_EQ(Image.pixel(P), Expected.rgb()) << X << "," << Y;
    }
}

TEST_F(OverlayPaint, DrawsLinesFromTheInsetDownwardsPastTheBox) {
  Set("FontSize", "14");
  Set("FontColor", "clBlack");
  const QString Text = "aaaa bbbb cccc dddd eeee ffff gggg hhhh";
  // A box of no height: only the text cells, in the box colour, show.
  MakeForm(400, 300, {Item(40, 30, 240, 30, Text)});
  const QImage Image = Paint();

  TQtTextMeasurer Measurer(Image.logicalDpiY());
  TLayoutCanvas Canvas{Measurer, {Font, 14, false}};
  QStringList Lines;
  SplitParagraph(Canvas, Text, 200, Lines);
  ASSERT_GE(Lines.size(), 2);
  const QFontMetrics Metrics(Measurer.QtFont({Font, 14, false}));
  const int Advance = 14 + 10; // S + ceil(0.7 S)

  EXPECT_EQ(InkRows(Image, 2, 32), CellRows(300 - 2 - 32, Lines.size(), Advance, Metrics.height()));
  EXPECT_EQ(InkRows(Image, 2, 2)[29], false) << "nothing above the first line";
  // The first cell starts exactly at (Left + 2, Top + 2).
  EXPECT_NE(Image.pixelColor(42, 32), White);
  EXPECT_EQ(Image.pixelColor(41, 32), White);
  EXPECT_EQ(Image.pixelColor(42, 31), White);
  EXPECT_EQ(Image.pixelColor(42, 32), Gray) << "the cell is opaque in the box colour";
}

TEST_F(OverlayPaint, TwoPartTextPutsTheTranslationAboveTheSourceAtTheItemSize) {
  Set("FontSize", "0");
  Set("FontColor", "clRed");
  MakeForm(400, 300, {Item(40, 30, 340, 30, QStringLiteral("....") + QChar(2) + "WWWW", 30)});
  const QImage Image = Paint();
  TQtTextMeasurer Measurer(Image.logicalDpiY());
  const QFontMetrics Metrics(Measurer.QtFont({Font, 30, false}));
  const int Advance = 30 + 21;
  EXPECT_EQ(InkRows(Image, 2, 32), CellRows(300 - 2 - 32, 2, Advance, Metrics.height()));

  const auto RedPixels = [&](int Top) {
    int Count = 0;
    for (int Y = Top; Y < Top + Metrics.height() && Y < 298; ++Y)
      for (int X = 42; X < 340; ++X)
        Count += Image.pixelColor(X, Y).red() > 200 && Image.pixelColor(X, Y).green() < 60;
    return Count;
  };
  EXPECT_GT(RedPixels(32), 4 * RedPixels(32 + Advance)) << "WWWW belongs on the first line";
  EXPECT_GT(RedPixels(32 + Advance), 0);
}

TEST_F(OverlayPaint, AutomaticSizeDrawsTheFittedLines) {
  Set("FontSize", "0");
  const QString Text = "The quick brown fox jumps over the lazy dog.";
  MakeForm(400, 300, {Item(40, 30, 240, 130, Text, 40)});
  const QImage Image = Paint();
  TQtTextMeasurer Measurer(Image.logicalDpiY());
  TLayoutCanvas Canvas{Measurer, {Font, 9, false}};
  QStringList Lines;
  const int Size = FindOptimalFontSize(Canvas, Text, Font, 200, 100, Lines, 40, 1.7);
  ASSERT_GT(Size, 8);
  ASSERT_GE(Lines.size(), 2);
  // The same lines drawn by hand where they belong.
  List.clear();
  QImage Expected = Paint();
  {
    QPainter Reference(&Expected);
    Reference.fillRect(QRect(40, 30, 200, 100), Gray);
    Reference.setFont(Measurer.QtFont({Font, Size, false}));
    Reference.setBackgroundMode(Qt::OpaqueMode);
    Reference.setBackground(Gray);
    Reference.setPen(Qt::black);
    const int Ascent = QFontMetrics(Measurer.QtFont({Font, Size, false})).ascent();
    const int Advance = Size + int(std::ceil(Size * 0.7));
    for (int Line = 0; Line < Lines.size(); ++Line)
      Reference.drawText(QPointF(42, 32 + Line * Advance + Ascent), Lines[Line]);
  }
  EXPECT_EQ(Image, Expected);
  EXPECT_EQ(Form->CanvasFont(), (TCanvasFont{Font, Size, false}));
}

TEST_F(OverlayPaint, FullScreenHintEndsAtTheMiddle) {
  MakeForm(1920, 1080, {});
  const QImage Image = Paint();
  TQtTextMeasurer Measurer(Image.logicalDpiY());
  const int HintWidth = Measurer.TextWidth({Font, 12, true}, TTranslationForm::INFORMATION);
  const int Left = int(std::ceil(960.0 - HintWidth));
  QRect Red;
  for (int Y = 0; Y < 80; ++Y)
    for (int X = 0; X < 1920; ++X) {
      const QColor C = Image.pixelColor(X, Y);
      if (C.red() > 200 && C.green() < 80 && C.blue() < 80)
        Red |= QRect(X, Y, 1, 1);
    }
  ASSERT_FALSE(Red.isEmpty());
  EXPECT_GE(Red.left(), Left);
  EXPECT_LE(Red.left(), Left + 3);
  EXPECT_LE(Red.right(), 960);
  EXPECT_GE(Red.top(), 10);
  EXPECT_LE(Red.bottom(), 10 + QFontMetrics(Measurer.QtFont({Font, 12, true})).height());

  Form->resize(1920, 1079);
  const QImage Smaller = Paint();
  for (int Y = 2; Y < 80; ++Y)
    for (int X = 2; X < 1918; ++X)
      ASSERT_EQ(Smaller.pixelColor(X, Y), White);
}

// Two equal lines, the translation's and the source's, against the same
// text drawn as one line: each must show whole, the second at least a line's
// height lower. At 96 DPI a font of ordinary height keeps the design's
// advance; the CJK font, whose lines are taller, and a doubled DPI overlapped.
TEST_F(OverlayPaint, TwoLinesNeverOverlapAtAnyResolution) {
  Set("FontSize", "14");
  const QString Text = QStringLiteral("Égjy 번역");
  for (const QString& Name : {Font, QStringLiteral("Noto Sans CJK KR")}) {
    for (const int Dpi : {96, 120, 144, 192}) {
      SCOPED_TRACE((Name + " at " + QString::number(Dpi) + " DPI").toStdString());
      Set("FontName", Name);
      const auto PaintAt = [&](const QString& ItemText) {
        MakeForm(400, 400, {Item(40, 30, 340, 30, ItemText)});
        QImage Image(Form->size(), QImage::Format_RGB32);
        Image.setDotsPerMeterX(int(std::lround(Dpi / 0.0254)));
        Image.setDotsPerMeterY(int(std::lround(Dpi / 0.0254)));
        QPainter Canvas(&Image);
        Form->FormPaint(Canvas);
        return Image;
      };
      const QImage One = PaintAt(Text);
      const QImage Two = PaintAt(Text + QChar(2) + Text);
      TQtTextMeasurer Measurer(Dpi);
      const int Height = Measurer.Metrics({Name, 14, false}).height();
      const auto Rows = [](const QImage& Image, int Top, int Count) { return Image.copy(40, Top, 300, Count); };
      EXPECT_TRUE(Rows(Two, 32, Height) == Rows(One, 32, Height)) << "the first line is cut";
      int Advance = Height;
      while (Advance < 4 * Height && Rows(Two, 32 + Advance, Height) != Rows(One, 32, Height))
        ++Advance;
      EXPECT_LT(Advance, 4 * Height) << "no whole second line";
      if (Name == Font && Dpi == 96) {
        EXPECT_EQ(Advance, 14 + 10);
      }
    }
  }
}

TEST_F(OverlayPaint, ABadColourEndsThePaint) {
  Set("FontColor", "notacolour");
  MakeForm(300, 200, {Item(20, 20, 100, 60, "first"), Item(150, 100, 250, 150, "second")});
  QImage Image(300, 200, QImage::Format_RGB32);
  Image.fill(Qt::cyan);
  {
    QPainter Canvas(&Image);
    EXPECT_THROW(Form->FormPaint(Canvas), EConvertError);
  }
  EXPECT_EQ(Image.pixelColor(60, 40), Gray) << "the first box was filled";
  for (int Y = 20; Y < 60; ++Y)
    for (int X = 20; X < 100; ++X)
      ASSERT_EQ(Image.pixelColor(X, Y), Gray) << "no text drawn";
  EXPECT_EQ(Image.pixelColor(200, 125), White) << "the second box was not";

  Set("FontColor", "clBlack");
  Set("TextBackColor", "clGray2");
  QPainter Canvas(&Image);
  EXPECT_THROW(Form->FormPaint(Canvas), EConvertError);
}

TEST_F(OverlayPaint, ReadsTheSettingsAgainAtEveryPaint) {
  MakeForm(300, 200, {Item(20, 20, 100, 60, "")});
  EXPECT_EQ(Paint().pixelColor(30, 30), Gray);
  Set("TextBackColor", "clYellow");
  EXPECT_EQ(Paint().pixelColor(30, 30), QColor(Qt::yellow));
  // Written by someone else, a moment later, in the same second.
  TConfigIni Other(Ini->FileName());
  Other.WriteString("TranslationWindow", "TextBackColor", "$00FF0000");
  EXPECT_EQ(Paint().pixelColor(30, 30), QColor(Qt::blue));
}

// Records from a damaged or hostile OCR reply: the paint finishes and the
// sound record after them is painted as usual.
TEST_F(OverlayPaint, WildRecordsDoNotDisturbThePaint) {
  const int Min = std::numeric_limits<int32_t>::min(), Max = std::numeric_limits<int32_t>::max();
  for (const char* FontSize : {"0", "14", "-5", "100000"}) {
    Set("FontSize", FontSize);
    MakeForm(300, 200,
             {Item(Min, Min, Max, Max, "everything everywhere", Max), Item(Max - 5, 10, Min, 20, "backwards", -3),
              Item(-1000, -1000, 30, 30, QStringLiteral("a") + QChar(2), 0), Item(10, 150, 250, 190, "", Max),
              Item(100, 100, 120, 110, "")});
    const QImage Image = Paint();
    EXPECT_EQ(Image.pixelColor(110, 105), Gray) << FontSize;
  }
}

// Repaints reuse measurements and pictures of lines; they must come out as
// the first paint, which draws everything afresh, did.
TEST_F(OverlayPaint, RepaintsArePixelForPixelTheFirstPaint) {
  const QString Mixed = QStringLiteral("번역 화면 Korean 混合 text Tj ÅÉ ") + QString::fromUcs4(U"\U0001F600") + " end";
  const TIteratorResultList Items{
      Item(30, 20, 330, 120, "The quick fjord jumps over the lazy dog. Tj ffi"),
      Item(0, 130, 300, 200, "Tj Tj Tj starts at the frame"),         // glyphs reach the frame
      Item(40, 210, 340, 210, "Text over the window itself, no box"), // glyphs reach the window colour
      Item(350, 20, 560, 200, Mixed),
      Item(350, 60, 560, 90, "Tj overlapping a box painted before"), // glyphs reach earlier text
      Item(30, 230, 560, 290, QStringLiteral("source") + QChar(2) + "Tj translation"),
  };
  for (const char* FontSize : {"14", "0", "9"}) {
    Set("FontSize", FontSize);
    MakeForm(600, 300, Items);
    const QImage First = Paint();
    for (int Again = 0; Again < 3; ++Again)
      ASSERT_EQ(Paint(), First) << "font size " << FontSize << ", repaint " << Again;
  }
  // A picture of a line made over one box colour is not used over another.
  Set("FontSize", "14");
  MakeForm(600, 300, Items);
  Paint();
  Paint();
  Set("TextBackColor", "clSilver");
  const QImage Silver = Paint();
  MakeForm(600, 300, Items);
  EXPECT_EQ(Paint(), Silver);
}

TEST(ColorKeyRegion, IsExactlyThePixelsThatAreNotTheKey) {
  QImage Image(97, 61, QImage::Format_RGB32);
  QRandomGenerator Random(7);
  for (const double KeyShare : {0.0, 0.3, 0.9, 1.0}) {
    QRegion Expected;
    for (int Y = 0; Y < Image.height(); ++Y)
      for (int X = 0; X < Image.width(); ++X) {
        // Whole runs and lone pixels; rows that repeat the one above too.
        const bool Key = Y % 7 == 3 ? Image.pixel(X, Y - 1) == qRgb(255, 255, 255) : Random.generateDouble() < KeyShare;
        Image.setPixel(X, Y, Key ? qRgb(255, 255, 255) : qRgb(X, Y, 0));
        if (!Key)
          Expected += QRect(X, Y, 1, 1);
      }
    const QRegion Region = ColorKeyVisibleRegion(Image, qRgb(255, 255, 255));
    EXPECT_TRUE(Region.xored(Expected).isEmpty()) << KeyShare;
  }
}

} // namespace
