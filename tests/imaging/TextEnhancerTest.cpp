#include "imaging/TextEnhancer.h"
#include "imaging/EnhancedRecognition.h"
#include "support/ScreenTextPictures.h"
#include "support/TextImages.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace {

int Grey(const QImage& Image, int X, int Y) { return qGray(Image.pixel(X, Y)); }

TRecognizedWord Word(int Letters, float Confidence, bool InDictionary = false, const QString& Text = {},
                     TRect Box = {}) {
  return {Letters, Confidence, InDictionary, Text, Box};
}

// The share of dark pixels (grey below 128) of the picture inside Boxes
// (capture pixels) and outside them.
std::pair<double, double> DarkInsideAndOutside(const TEnhancedPicture& Picture, const std::vector<QRect>& Boxes) {
  double In = 0, Out = 0;
  int InCount = 0, OutCount = 0;
  for (int Y = 0; Y < Picture.Image.height(); ++Y)
    for (int X = 0; X < Picture.Image.width(); ++X) {
      const QPoint Capture(X / Picture.Scale, Y / Picture.Scale);
      const bool Inside = std::any_of(Boxes.begin(), Boxes.end(), [&](const QRect& B) { return B.contains(Capture); });
      (Inside ? In : Out) += Grey(Picture.Image, X, Y) < 128;
      ++(Inside ? InCount : OutCount);
    }
  return {In / std::max(InCount, 1), Out / std::max(OutCount, 1)};
}

} // namespace

TEST(TextEnhancer, BoxesMapBackToTheCapturePixelsTheyCover) {
  struct TCase {
    int Scale;
    TRect Box, Capture;
  };
  const TCase Cases[] = {
      {1, {3, 4, 10, 12}, {3, 4, 10, 12}},
      {3, {3, 6, 9, 12}, {1, 2, 3, 4}},     // whole enlarged pixels
      {3, {4, 7, 10, 13}, {1, 2, 4, 5}},    // parts of pixels count whole, outwards
      {4, {-5, -4, -1, 0}, {-2, -1, 0, 0}}, // left of or above the capture
  };
  for (const TCase& Case : Cases) {
    TEnhancedPicture Picture;
    Picture.Scale = Case.Scale;
    EXPECT_EQ(Picture.ToCapture(Case.Box), Case.Capture) << "scale " << Case.Scale;
  }
}

TEST(TextEnhancer, APlainCaptureComesBackAloneAndUntouched) {
  for (const QImage& Plain : {FourLineBenchmarkPicture(), RenderScreenText(TScreenTextClass::CleanLight, 24, 1).Image,
                              RenderScreenText(TScreenTextClass::DarkMode, 24, 2).Image}) {
    const std::vector<TEnhancedPicture> Pictures = EnhanceForRecognition(Plain);
    ASSERT_EQ(Pictures.size(), 1u);
    EXPECT_EQ(Pictures[0].Scale, 1);
    EXPECT_EQ(Pictures[0].Image, Plain);
  }
}

TEST(TextEnhancer, HardCapturesBecomeDarkTextOnWhiteEnlargedByAWholeFactor) {
  for (TScreenTextClass Class :
       {TScreenTextClass::DarkMode, TScreenTextClass::LightGradient, TScreenTextClass::OutlinedSubtitle,
        TScreenTextClass::YellowOnTexture, TScreenTextClass::FaintGrey}) {
    SCOPED_TRACE(ScreenTextClassName(Class));
    const TScreenTextPicture Sample = RenderScreenText(Class, 11, 3);
    const std::vector<TEnhancedPicture> Pictures = EnhanceForRecognition(Sample.Image);
    ASSERT_GE(Pictures.size(), 2u);
    EXPECT_GE(Pictures.front().Scale, 2); // 11 px text is small for Tesseract
    // Some enlarged picture shows ink inside the text's boxes and far less
    // anywhere else (a busy scene leaves a little).
    bool DarkOnWhite = false;
    for (const TEnhancedPicture& Picture : Pictures) {
      if (Picture.Scale == 1)
        continue;
      EXPECT_EQ(Picture.Image.size(), Sample.Image.size() * Picture.Scale);
      const auto [Inside, Outside] = DarkInsideAndOutside(Picture, Sample.LineBoxes);
      DarkOnWhite = DarkOnWhite || (Inside > 0.08 && Outside < Inside / 5);
    }
    EXPECT_TRUE(DarkOnWhite);
    // The capture itself stays among the pictures, untouched, as the fallback.
    EXPECT_TRUE(std::any_of(Pictures.begin(), Pictures.end(),
                            [&](const TEnhancedPicture& P) { return P.Scale == 1 && P.Image == Sample.Image; }));
  }
}

// Text drawn without anti-aliasing reads best enlarged only twice, its steps
// softened; a drop shadow is taken out, but an outline is no shadow.
TEST(TextEnhancer, HardEdgesAreSoftenedAndOnlyADropShadowIsTakenOut) {
  struct TCase {
    TScreenTextClass Class;
    bool HardEdged;
    bool Unshadowed;
  };
  for (const TCase& Case :
       {TCase{TScreenTextClass::Aliased, true, false}, TCase{TScreenTextClass::ShadowedSubtitle, false, true},
        TCase{TScreenTextClass::OutlinedSubtitle, false, false}}) {
    SCOPED_TRACE(ScreenTextClassName(Case.Class));
    const TScreenTextPicture Sample = RenderScreenText(Case.Class, 13, 2, 0);
    const std::vector<TEnhancedPicture> Pictures = EnhanceForRecognition(Sample.Image);
    ASSERT_GE(Pictures.size(), 2u);
    // 13 px text is enlarged three or four times, unless its edges are hard.
    if (Case.HardEdged)
      EXPECT_EQ(Pictures.front().Scale, 2);
    else
      EXPECT_GT(Pictures.front().Scale, 2);
    const auto Unshadowed = std::find_if(Pictures.begin(), Pictures.end(), [](const TEnhancedPicture& P) {
      return std::string_view(P.Method) == "unshadowed";
    });
    ASSERT_EQ(Unshadowed != Pictures.end(), Case.Unshadowed);
    if (Case.Unshadowed) {
      const auto [Inside, Outside] = DarkInsideAndOutside(*Unshadowed, Sample.LineBoxes);
      EXPECT_GT(Inside, 0.08);
      EXPECT_LT(Outside, Inside / 5);
    }
  }
  // Softened: the enlarged hard edges have grey steps between ink and paper.
  const QImage Soft = EnhanceForRecognition(RenderScreenText(TScreenTextClass::Aliased, 13, 2, 0).Image).front().Image;
  int Between = 0;
  for (int Y = 0; Y < Soft.height(); ++Y)
    for (int X = 0; X < Soft.width(); ++X)
      Between += Grey(Soft, X, Y) > 60 && Grey(Soft, X, Y) < 200;
  EXPECT_GT(Between, 100);
}

// Recognition time grows with the pixels read: a full screen of small text
// is read as it is and once enhanced, neither enlarged.
TEST(TextEnhancer, AFullScreenIsNeitherEnlargedNorReadInAlternatives) {
  QImage Screen(1920, 1080, QImage::Format_RGB32);
  const TScreenTextPicture Tile = RenderScreenText(TScreenTextClass::DarkGradient, 11, 6);
  QPainter Canvas(&Screen);
  for (int Y = 0; Y < Screen.height(); Y += Tile.Image.height())
    for (int X = 0; X < Screen.width(); X += Tile.Image.width())
      Canvas.drawImage(X, Y, Tile.Image);
  Canvas.end();
  ASSERT_GT(EnhanceForRecognition(Tile.Image).front().Scale, 1);
  const std::vector<TEnhancedPicture> Pictures = EnhanceForRecognition(Screen);
  ASSERT_EQ(Pictures.size(), 2u);
  EXPECT_EQ(Pictures[0].Scale, 1);
  EXPECT_EQ(Pictures[1].Image, Screen);
}

TEST(TextEnhancer, OddPicturesGiveADefinedAnswer) {
  EXPECT_TRUE(EnhanceForRecognition(QImage()).empty());
  EXPECT_TRUE(EnhanceForRecognition(QImage(0, 7, QImage::Format_RGB32)).empty());
  QImage Flat(300, 40, QImage::Format_RGB32);
  Flat.fill(qRgb(90, 120, 30));
  QImage Tiny(1, 1, QImage::Format_Mono);
  Tiny.fill(0);
  QImage Indexed(64, 3, QImage::Format_Indexed8);
  Indexed.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 64; ++X)
      Indexed.setPixel(X, Y, (X / 3 + Y) % 2);
  for (const QImage& Odd : {Flat, Tiny, Indexed}) {
    const std::vector<TEnhancedPicture> Pictures = EnhanceForRecognition(Odd);
    ASSERT_FALSE(Pictures.empty());
    for (const TEnhancedPicture& Picture : Pictures)
      EXPECT_EQ(Picture.Image.size(), Odd.size() * Picture.Scale);
  }
}

// A recogniser that finds one line wherever the picture is darkest, and is as
// sure of it as the script says for pictures of that scale.
TEST(EnhancedRecognition, KeepsTheSurestPictureAndMapsItsBoxesBack) {
  const TScreenTextPicture Sample = RenderScreenText(TScreenTextClass::LightGradient, 10, 4);
  const std::vector<TEnhancedPicture> Pictures = EnhanceForRecognition(Sample.Image);
  ASSERT_GE(Pictures.size(), 2u);
  const int Scale = Pictures.front().Scale;
  ASSERT_GT(Scale, 1);

  struct TCase {
    float EnlargedConfidence, OriginalConfidence;
    bool EnlargedWins;
  };
  for (const TCase& Case : {TCase{80, 60, true}, TCase{40, 70, false}}) {
    int Calls = 0;
    const TIteratorResultList Records = RecognizeEnhanced(Sample.Image, [&](const QImage& Picture) {
      ++Calls;
      const bool Enlarged = Picture.size() != Sample.Image.size();
      const int S = Enlarged ? Scale : 1;
      TRecognition R;
      const QString Text = Enlarged ? "big" : "small";
      R.Records = {{7 * S + 1, 5 * S, 20 * S - 1, 9 * S + 1, Text, 1, 0, 99}};
      R.Words = {Word(5, Enlarged ? Case.EnlargedConfidence : Case.OriginalConfidence, true, Text,
                      {7 * S + 1, 5 * S, 20 * S - 1, 9 * S + 1})};
      return R;
    });
    EXPECT_EQ(Calls, int(Pictures.size())); // none read confidently: every picture is tried
    ASSERT_EQ(Records.size(), 1u);
    EXPECT_EQ(Records[0].Text, Case.EnlargedWins ? "big" : "small");
    EXPECT_EQ((TRect{Records[0].Left, Records[0].Top, Records[0].Right, Records[0].Bottom}),
              (Case.EnlargedWins ? TRect{7, 5, 20, 10} : TRect{8, 5, 19, 10}));
    EXPECT_EQ(Records[0].FFontSize, FontSizeForHeight(5));
  }
}

TEST(EnhancedRecognition, AConfidentReadingEndsTheSearchAndAPlainCaptureIsReadOnceAsItIs) {
  const TScreenTextPicture Hard = RenderScreenText(TScreenTextClass::OutlinedSubtitle, 12, 5);
  std::vector<QImage> Seen;
  auto Sure = [&](const QImage& Picture) {
    Seen.push_back(Picture);
    TRecognition R;
    R.Words = {Word(6, 95.f, true, QStringLiteral("Garden"))};
    return R;
  };
  RecognizeEnhanced(Hard.Image, Sure);
  // The capture, read while the analysis runs, and the best guess; the
  // confident reading ends the search there.
  ASSERT_EQ(Seen.size(), 2u);
  EXPECT_EQ(Seen[0], Hard.Image);
  EXPECT_NE(Seen[1], Hard.Image);

  Seen.clear();
  const QImage Plain = FourLineBenchmarkPicture();
  RecognizeEnhanced(Plain, Sure);
  ASSERT_EQ(Seen.size(), 1u);
  EXPECT_EQ(Seen[0], Plain);
}

// A word of the recogniser's language outweighs a surer reading that is
// not one: at small sizes Tesseract can be surer of "Frogress" on one
// picture than of "Progress" on another.
TEST(EnhancedRecognition, AWordOfTheLanguageOutweighsASurerMisreading) {
  const std::vector<std::vector<TRecognizedWord>> Readings = {{Word(8, 90.f)}, {Word(8, 75.f, true)}};
  const std::optional<TChosenPicture> Chosen = ChooseRecognizedPicture(
      Readings.size(), [&](size_t Index) { return std::optional(Readings[Index]); });
  ASSERT_TRUE(Chosen);
  EXPECT_EQ(Chosen->Index, 1u);
  EXPECT_GT(RecognitionScore({{}, Readings[1]}), RecognitionScore({{}, Readings[0]}));
}

// A recognition given up (cancelled) on one picture ends the choice at once:
// no further picture is read and none is chosen.
TEST(EnhancedRecognition, AGivenUpRecognitionStopsTheChoiceAtOnce) {
  const std::vector<TRecognizedWord> Unsure = {Word(5, 40.f)};
  struct TCase {
    size_t GivenUpAt; // past the end: never
    std::optional<size_t> Chosen;
    size_t Reads;
  };
  for (const TCase& Case : {TCase{0, std::nullopt, 1}, TCase{1, std::nullopt, 2}, TCase{9, 0u, 4}}) {
    SCOPED_TRACE(testing::Message() << "given up at " << Case.GivenUpAt);
    size_t Reads = 0;
    const std::optional<TChosenPicture> Chosen =
        ChooseRecognizedPicture(4, [&](size_t Index) -> std::optional<std::vector<TRecognizedWord>> {
          ++Reads;
          if (Index == Case.GivenUpAt)
            return std::nullopt;
          return Unsure;
        });
    EXPECT_EQ(Chosen ? std::optional(Chosen->Index) : std::nullopt, Case.Chosen);
    EXPECT_EQ(Reads, Case.Reads);
  }
}

// The capture is read while the analysis runs on another thread: the
// pictures are those of the analysis alone, and a failed read comes out as
// it was thrown, after the analysis has let go of the capture.
TEST(EnhancedRecognition, TheCaptureIsReadBesideTheAnalysisWithTheSameOutcome) {
  const TScreenTextPicture Hard = RenderScreenText(TScreenTextClass::OutlinedSubtitle, 12, 5);
  const std::vector<TEnhancedPicture> Alone = EnhanceForRecognition(Hard.Image);
  int Reads = 0;
  const std::vector<TEnhancedPicture> Beside = EnhanceWhile(Hard.Image, [&] { ++Reads; });
  EXPECT_EQ(Reads, 1);
  ASSERT_EQ(Beside.size(), Alone.size());
  for (size_t I = 0; I < Alone.size(); ++I) {
    EXPECT_EQ(Beside[I].Image, Alone[I].Image);
    EXPECT_EQ(Beside[I].Scale, Alone[I].Scale);
  }

  std::optional<QImage> Capture = Hard.Image.copy();
  EXPECT_THROW(EnhanceWhile(*Capture, [] { throw std::runtime_error("SetImage invalid"); }), std::runtime_error);
  Capture.reset(); // freed while nothing reads it any more
}
