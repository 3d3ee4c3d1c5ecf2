// The Tesseract engine with and without enhancement, with the runtime
// folder's libraries and trained data, on rendered screen text.
#include "TesseractTestSupport.h"

#include "ocr/TesseractEngine.h"
#include "ocr/tesseractocr.h"
#include "support/ScreenTextPictures.h"
#include "support/TextImages.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <memory>

namespace {

class EnhancedRecognition : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    auto Tesseract = std::make_unique<TTesseractOCR5>(RuntimeDir + "/Tesseract/");
    ASSERT_TRUE(Tesseract->Initialize(RuntimeDir + "/tessdata/", QStringLiteral("eng")));
    Engine = std::make_unique<TTesseractEngine>(std::move(Tesseract));
  }
  static void TearDownTestSuite() { Engine.reset(); }

  static TIteratorResultList Recognize(const QImage& Picture, bool Enhance) {
    Engine->SetEnhance(Enhance);
    return Engine->RecognizeLines(Picture);
  }
  static inline std::unique_ptr<TTesseractEngine> Engine;
};

QString Text(const TIteratorResultList& Records) {
  QStringList Texts;
  for (const TIteratorResult& Record : Records)
    Texts << Record.Text;
  return Texts.join(QLatin1Char(' '));
}

// The smallest rectangle around the pixels of Picture inside Band that are
// ink: darker than 160 grey, or brighter with LightInk.
QRect InkBox(const QImage& Picture, const QRect& Band, bool LightInk) {
  QRect Box;
  for (int Y = Band.top(); Y <= Band.bottom(); ++Y)
    for (int X = Band.left(); X <= Band.right(); ++X) {
      const int Grey = qGray(Picture.pixel(X, Y));
      if (LightInk ? Grey > 160 : Grey < 160)
        Box |= QRect(X, Y, 1, 1);
    }
  return Box;
}

} // namespace

// Small text is read enlarged; its boxes must still sit on the screen's
// letters as closely as the boxes of the capture read as it is.
TEST_F(EnhancedRecognition, BoxesOfEnlargedTextLieOnTheCapturedLetters) {
  struct TCase {
    TScreenTextClass Class;
    bool LightInk;
  };
  for (const TCase& Case : {TCase{TScreenTextClass::CleanLight, false}, TCase{TScreenTextClass::DarkGradient, true}}) {
    SCOPED_TRACE(ScreenTextClassName(Case.Class));
    const TScreenTextPicture Sample = RenderScreenText(Case.Class, 12, 11, 0);
    ASSERT_GT(EnhanceForRecognition(Sample.Image).front().Scale, 1);
    const TIteratorResultList Plain = Recognize(Sample.Image, false);
    const TIteratorResultList Enhanced = Recognize(Sample.Image, true);
    ASSERT_EQ(Enhanced.size(), Sample.Lines.size());
    ASSERT_EQ(Plain.size(), Sample.Lines.size());
    for (size_t I = 0; I < Enhanced.size(); ++I) {
      SCOPED_TRACE(testing::Message() << "line " << I);
      // The band between the neighbouring lines' drawn boxes.
      const QRect Drawn = Sample.LineBoxes[I];
      const QRect Band(0, Drawn.top() - 3, Sample.Image.width(), Drawn.height() + 6);
      const QRect Ink = InkBox(Sample.Image, Band, Case.LightInk);
      const TIteratorResult& On = Enhanced[I];
      const TIteratorResult& Off = Plain[I];
      // Right and Bottom are exclusive, as in every record.
      const int InkEdges[] = {Ink.left(), Ink.top(), Ink.right() + 1, Ink.bottom() + 1};
      const int OnEdges[] = {On.Left, On.Top, On.Right, On.Bottom};
      const int OffEdges[] = {Off.Left, Off.Top, Off.Right, Off.Bottom};
      for (int E = 0; E < 4; ++E) {
        EXPECT_LE(std::abs(OnEdges[E] - InkEdges[E]), std::max(1, std::abs(OffEdges[E] - InkEdges[E])))
            << "edge " << E << ": enhanced " << OnEdges[E] << ", plain " << OffEdges[E] << ", ink " << InkEdges[E];
      }
      EXPECT_EQ(On.FFontSize, FontSizeForHeight(On.GetHeight()));
    }
  }
}

// Busy backgrounds leave marks that Tesseract reads as short lines of stray
// letters: under this subtitle ", . ' %" and ", ms d | . Pa j", which came
// back as two more lines. Only the subtitle's own lines do now.
TEST_F(EnhancedRecognition, LinesOfStrayMarksAreLeftOut) {
  const TScreenTextPicture Sample = RenderScreenText(TScreenTextClass::OutlinedSubtitle, 16, 4, 4);
  const TIteratorResultList Records = Recognize(Sample.Image, true);
  ASSERT_EQ(Records.size(), Sample.Lines.size()) << qPrintable(Text(Records));
  for (size_t I = 0; I < Records.size(); ++I)
    EXPECT_GE(WordAccuracy({Sample.Lines[int(I)]}, Records[I].Text), 0.8) << qPrintable(Records[I].Text);
}

// A warm texture beside bold letters reads as short marks within the lines
// ("picture Be . 4 ory ao Market"): eleven such words were shown on top of
// this picture while they stayed in.
TEST_F(EnhancedRecognition, StrayMarksWithinLinesAreLeftOut) {
  const TScreenTextPicture Sample = RenderScreenText(TScreenTextClass::YellowOnTexture, 13, 0, 0);
  const TWordMatch Match = MatchWords(Sample.Lines, Text(Recognize(Sample.Image, true)));
  EXPECT_GE(Match.Accuracy(), 0.95);
  EXPECT_LE(Match.Stray(), 1);
}

// Kinds of screen text that bare Tesseract reads at half its words or less
// (faint grey text: 0.93 at 9 px; text drawn without anti-aliasing: 0.88),
// at the sizes users meet them.
TEST_F(EnhancedRecognition, HardScreenTextIsReadAboveAFloor) {
  struct TCase {
    TScreenTextClass Class;
    int Size;
    uint64_t Seed = 21;
    int Font = 21;
    double Floor = 0.85;
  };
  const TCase Cases[] = {
      {TScreenTextClass::LightGradient, 12},
      {TScreenTextClass::LightGradient, 14},
      {TScreenTextClass::OutlinedSubtitle, 12},
      {TScreenTextClass::OutlinedSubtitle, 14},
      // A bold serif whose hairlines the outline all but covers: read at
      // 0.45 when no picture drew the strokes bolder.
      {TScreenTextClass::OutlinedSubtitle, 12, 3, 3, 0.75},
      // Small bold serif letters over dark and light parts of the picture
      // alike, whose hairlines either side's map loses: read at 0.27 and
      // 0.09 before the letters were taken from within their outline.
      {TScreenTextClass::OutlinedSubtitle, 10, 3, 3, 0.75},
      {TScreenTextClass::OutlinedSubtitle, 9, 7, 7, 0.55},
      // Serif letters with a thin outline, which at the capture's own size
      // shares pixels with their strokes: read at 0.45 before the letters
      // were taken from within their outline on the capture enlarged twice.
      {TScreenTextClass::OutlinedSubtitle, 9, 11, 11, 0.9},
      {TScreenTextClass::YellowOnTexture, 12},
      {TScreenTextClass::YellowOnTexture, 14},
      {TScreenTextClass::FaintGrey, 9},
      {TScreenTextClass::FaintGrey, 12},
      {TScreenTextClass::ShadowedSubtitle, 13},
      {TScreenTextClass::ShadowedSubtitle, 16},
      // Small white text over light parts of the photo: read at 0.73 when
      // only its contrast with the background, not its shadow, drew it.
      {TScreenTextClass::ShadowedSubtitle, 10, 0, 0, 0.95},
      // Light patches of the photo, as tall as a line, taken for letters:
      // read at 0.55 while they stayed in.
      {TScreenTextClass::ShadowedSubtitle, 9, 1, 1, 0.9},
      // Hairlines hardly wider than the shadow's offset, which fit the shadow
      // taken for the letters as well: read at 0.36 while the shadow was.
      {TScreenTextClass::ShadowedSubtitle, 9, 7, 7, 0.55},
      // Small serif letters whose hairlines went with the shadow ("o" read
      // as "a"): read at 0.55 before they were also drawn a pixel bolder.
      {TScreenTextClass::ShadowedSubtitle, 9, 3, 3, 0.7},
      // Words each picture misreads in its own way ("Newlevel",
      // "online'open"): read at 0.82 while one picture's reading was taken
      // whole, word for word now that each word may come from another.
      {TScreenTextClass::ShadowedSubtitle, 13, 7, 7, 0.95},
      {TScreenTextClass::OutlinedSubtitle, 16, 4, 4, 0.95},
      // White letters over a light photo, whose shadow's fit the photo's
      // dark patches watered down: read at 0.18 while no shadow was found.
      {TScreenTextClass::ShadowedSubtitle, 9, 9, 9, 0.6},
      // A shadow whose letters' own colour, not the darker shadow's, keys
      // the ink colour picture: read at 0.45 while the shadow's did.
      {TScreenTextClass::ShadowedSubtitle, 10, 9, 9, 0.55},
      // An outline lying heavier above the letters, taken for a shadow cast
      // upwards: read at 0.64 then.
      {TScreenTextClass::OutlinedSubtitle, 10, 15, 15, 0.8},
      {TScreenTextClass::Aliased, 9},
      {TScreenTextClass::Aliased, 11},
  };
  for (const TCase& Case : Cases) {
    const TScreenTextPicture Sample = RenderScreenText(Case.Class, Case.Size, Case.Seed, Case.Font);
    const TIteratorResultList Records = Recognize(Sample.Image, true);
    EXPECT_GE(WordAccuracy(Sample.Lines, Text(Records)), Case.Floor)
        << ScreenTextClassName(Case.Class) << ", " << Case.Size << " px: " << qPrintable(Text(Records).simplified());
  }
}

TEST_F(EnhancedRecognition, PlainTextIsReadTheSameWithEnhancementOnAndOff) {
  for (const QImage& Plain : {FourLineBenchmarkPicture(), RenderScreenText(TScreenTextClass::CleanLight, 22, 1).Image,
                              RenderScreenText(TScreenTextClass::DarkMode, 22, 2).Image}) {
    const TIteratorResultList Off = Recognize(Plain, false);
    ASSERT_FALSE(Off.empty());
    EXPECT_EQ(Recognize(Plain, true), Off);
  }
}

// A light window captured with a margin of the dark desktop around it: the
// panel's edge must not cost the line beside it.
TEST_F(EnhancedRecognition, AWindowOnADarkDesktopKeepsEveryLine) {
  for (int PixelSize : {40, 24}) {
    SCOPED_TRACE(testing::Message() << PixelSize << " px");
    const QStringList Lines = {QStringLiteral("Good morning, dear friends."), QStringLiteral("Close the window now.")};
    QImage Capture(PixelSize * 24, PixelSize * 9, QImage::Format_RGB32);
    Capture.fill(Qt::black);
    QPainter Canvas(&Capture);
    Canvas.fillRect(Capture.rect().adjusted(20, 20, -20, -20), Qt::white);
    Canvas.setPen(Qt::black);
    QFont Font(QStringLiteral("DejaVu Sans"));
    Font.setPixelSize(PixelSize);
    Canvas.setFont(Font);
    Canvas.drawText(QPoint(20 + PixelSize, 20 + 2 * PixelSize), Lines[0]);
    Canvas.drawText(QPoint(20 + PixelSize, 20 + 6 * PixelSize), Lines[1]);
    Canvas.end();
    const TIteratorResultList Off = Recognize(Capture, false);
    const TIteratorResultList On = Recognize(Capture, true);
    EXPECT_EQ(WordAccuracy(Lines, Text(On)), 1.0) << qPrintable(Text(On));
    EXPECT_EQ(On, Off); // plain: read as it is
  }
}
