#pragma once

// Pictures of screen text with known truth, rendered at run time: the kinds
// of text Korvex's users point it at (dark and light themes, gradients,
// photographic and noisy backgrounds, outlined and shadowed subtitles,
// coloured text, text drawn without anti-aliasing). Every picture follows
// from its class, size and seed alone, so runs compare.

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

enum class TScreenTextClass {
  CleanLight,       // black on white
  DarkMode,         // light grey on #1e1e1e
  FaintGrey,        // mid grey on near-white
  LightGradient,    // white on a light-blue gradient
  DarkGradient,     // white on a dark blue-to-purple gradient
  OutlinedSubtitle, // white with a thin black outline over a busy, colourful picture
  ShadowedSubtitle, // white with a dark drop shadow over a photographic picture
  YellowOnTexture,  // bold yellow on a warm texture
  ColouredText,     // saturated coloured text on a pastel panel
  NoisyBackground,  // dark text on a light background with sensor-like noise
  Aliased,          // text without anti-aliasing on a mid-tone panel
};

inline constexpr TScreenTextClass AllScreenTextClasses[] = {
    TScreenTextClass::CleanLight,       TScreenTextClass::DarkMode,        TScreenTextClass::FaintGrey,
    TScreenTextClass::LightGradient,    TScreenTextClass::DarkGradient,    TScreenTextClass::OutlinedSubtitle,
    TScreenTextClass::ShadowedSubtitle, TScreenTextClass::YellowOnTexture, TScreenTextClass::ColouredText,
    TScreenTextClass::NoisyBackground,  TScreenTextClass::Aliased};

inline const char* ScreenTextClassName(TScreenTextClass Class) {
  switch (Class) {
  case TScreenTextClass::CleanLight: return "clean, black on white";
  case TScreenTextClass::DarkMode: return "dark mode";
  case TScreenTextClass::FaintGrey: return "faint grey on near-white";
  case TScreenTextClass::LightGradient: return "white on light gradient";
  case TScreenTextClass::DarkGradient: return "white on dark gradient";
  case TScreenTextClass::OutlinedSubtitle: return "outlined, busy background";
  case TScreenTextClass::ShadowedSubtitle: return "shadowed, photo background";
  case TScreenTextClass::YellowOnTexture: return "yellow bold on texture";
  case TScreenTextClass::ColouredText: return "coloured text on pastel";
  case TScreenTextClass::NoisyBackground: return "noisy background";
  case TScreenTextClass::Aliased: return "not anti-aliased";
  }
  return "?";
}

struct TScreenTextPicture {
  QImage Image;                 // Format_RGB32, as a capture arrives
  QStringList Lines;            // the text drawn, one entry per line
  std::vector<QRect> LineBoxes; // the ink of each line, in picture pixels
};

namespace screentext_detail {

// A small generator of our own: std's distributions differ between
// standard libraries, and the pictures must not.
class TRandom {
public:
  explicit TRandom(uint64_t Seed) : FState(Seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
  uint32_t Next() {
    FState ^= FState >> 12;
    FState ^= FState << 25;
    FState ^= FState >> 27;
    return uint32_t((FState * 0x2545F4914F6CDD1Dull) >> 32);
  }
  int Below(int N) { return int(Next() % uint32_t(N)); }
  double Unit() { return Next() / 4294967296.0; }
  int Between(int Low, int High) { return Low + Below(High - Low + 1); }

private:
  uint64_t FState;
};

inline const QStringList& Words() {
  static const QStringList List =
      QString("the quick brown fox jumps over lazy dog people water under great where before through every little "
              "should around change follow number little always thought answer country between family window "
              "picture station morning evening village ancient castle forest captain journey silver golden shadow "
              "hidden treasure letter market garden winter summer spring autumn mountain river bridge island "
              "harbour dragon knight warrior quest reward health energy attack defend shield sword magic potion "
              "return continue settings options volume display language control keyboard mouse screen loading "
              "please wait while the game saves your progress press start to begin select character level "
              "complete mission failed victory defeat chapter story new open close save file edit view help "
              "message friend online offline download update version system network server player score time "
              "remaining points bonus item inventory equipment weapon armour merchant gold coins")
          .split(QLatin1Char(' '), Qt::SkipEmptyParts);
  return List;
}

inline QString Sentence(TRandom& Random, int WordCount) {
  QStringList Picked;
  for (int I = 0; I < WordCount; ++I) {
    QString Word = Words()[Random.Below(int(Words().size()))];
    if (I == 0 || Random.Below(6) == 0)
      Word[0] = Word[0].toUpper();
    Picked << Word;
  }
  return Picked.join(QLatin1Char(' '));
}

inline QRgb Mix(QRgb A, QRgb B, double T) {
  auto Channel = [T](int X, int Y) { return std::clamp(int(std::lround(X + (Y - X) * T)), 0, 255); };
  return qRgb(Channel(qRed(A), qRed(B)), Channel(qGreen(A), qGreen(B)), Channel(qBlue(A), qBlue(B)));
}

// Smooth value noise in 0..1 over a grid of Cell pixels: the soft shapes of
// a photograph or a game scene.
inline std::vector<double> ValueNoise(TRandom& Random, int Width, int Height, int Cell) {
  const int GridW = Width / Cell + 2, GridH = Height / Cell + 2;
  std::vector<double> Grid(size_t(GridW) * GridH);
  for (double& V : Grid)
    V = Random.Unit();
  std::vector<double> Field(size_t(Width) * Height);
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Width; ++X) {
      const double GX = double(X) / Cell, GY = double(Y) / Cell;
      const int X0 = int(GX), Y0 = int(GY);
      double TX = GX - X0, TY = GY - Y0;
      TX = TX * TX * (3 - 2 * TX);
      TY = TY * TY * (3 - 2 * TY);
      auto At = [&](int I, int J) { return Grid[size_t(J) * GridW + I]; };
      const double Top = At(X0, Y0) + (At(X0 + 1, Y0) - At(X0, Y0)) * TX;
      const double Bottom = At(X0, Y0 + 1) + (At(X0 + 1, Y0 + 1) - At(X0, Y0 + 1)) * TX;
      Field[size_t(Y) * Width + X] = Top + (Bottom - Top) * TY;
    }
  return Field;
}

// A busy, colourful scene: several octaves of noise through a palette.
inline void PaintScene(QImage& Image, TRandom& Random, const std::vector<QRgb>& Palette, int Detail) {
  const int W = Image.width(), H = Image.height();
  const std::vector<double> Coarse = ValueNoise(Random, W, H, 6 * Detail);
  const std::vector<double> Fine = ValueNoise(Random, W, H, Detail);
  const std::vector<double> Hue = ValueNoise(Random, W, H, 9 * Detail);
  for (int Y = 0; Y < H; ++Y) {
    auto* Row = reinterpret_cast<QRgb*>(Image.scanLine(Y));
    for (int X = 0; X < W; ++X) {
      const size_t I = size_t(Y) * W + X;
      const double P = std::clamp(Hue[I] * (Palette.size() - 1), 0.0, Palette.size() - 1.001);
      const QRgb Base = Mix(Palette[size_t(P)], Palette[size_t(P) + 1], P - std::floor(P));
      const double Light = 0.55 * Coarse[I] + 0.45 * Fine[I];
      Row[X] = Light < 0.5 ? Mix(qRgb(0, 0, 0), Base, 0.45 + Light * 1.1)
                           : Mix(Base, qRgb(255, 255, 255), (Light - 0.5) * 0.9);
    }
  }
}

inline void AddNoise(QImage& Image, TRandom& Random, int Amplitude) {
  for (int Y = 0; Y < Image.height(); ++Y) {
    auto* Row = reinterpret_cast<QRgb*>(Image.scanLine(Y));
    for (int X = 0; X < Image.width(); ++X) {
      // The sum of three uniforms: roughly Gaussian, as sensor noise.
      const int N = (Random.Between(-Amplitude, Amplitude) + Random.Between(-Amplitude, Amplitude) +
                     Random.Between(-Amplitude, Amplitude)) /
                    2;
      const int Grain = Random.Between(-Amplitude / 3, Amplitude / 3);
      auto C = [&](int V) { return std::clamp(V + N + Grain, 0, 255); };
      Row[X] = qRgb(C(qRed(Row[X])), C(qGreen(Row[X])), C(qBlue(Row[X])));
    }
  }
}

} // namespace screentext_detail

// The fonts the pictures are drawn in; each ships with Debian 12's fonts.
inline const QStringList& ScreenTextFonts() {
  static const QStringList Fonts = {QStringLiteral("DejaVu Sans"), QStringLiteral("Nimbus Sans"),
                                    QStringLiteral("DejaVu Serif"), QStringLiteral("Nimbus Roman")};
  return Fonts;
}

// Two lines of text of PixelSize pixels (the font's pixel size) in the
// given class, font and seed.
inline TScreenTextPicture RenderScreenText(TScreenTextClass Class, int PixelSize, uint64_t Seed, int FontIndex = -1) {
  using namespace screentext_detail;
  TRandom Random(Seed * 131 + uint64_t(Class) * 7919 + uint64_t(PixelSize));
  TScreenTextPicture Picture;
  Picture.Lines = {Sentence(Random, 6), Sentence(Random, 5)};

  QFont Font(ScreenTextFonts()[FontIndex >= 0 ? FontIndex % ScreenTextFonts().size()
                                              : Random.Below(int(ScreenTextFonts().size()))]);
  Font.setPixelSize(PixelSize);
  Font.setHintingPreference(QFont::PreferFullHinting);
  if (Class == TScreenTextClass::YellowOnTexture || Class == TScreenTextClass::OutlinedSubtitle)
    Font.setBold(true);
  if (Class == TScreenTextClass::Aliased)
    Font.setStyleStrategy(QFont::NoAntialias);
  const QFontMetrics Metrics(Font);
  const int LineStep = int(std::lround(PixelSize * 1.6));
  const int Margin = std::max(12, PixelSize);
  int TextWidth = 0;
  for (const QString& Line : Picture.Lines)
    TextWidth = std::max(TextWidth, Metrics.horizontalAdvance(Line));
  const int Width = TextWidth + 2 * Margin + Random.Between(0, 40);
  const int Height = LineStep * int(Picture.Lines.size()) + 2 * Margin;
  QImage& Image = Picture.Image;
  Image = QImage(Width, Height, QImage::Format_RGB32);

  QRgb Ink = qRgb(0, 0, 0);
  switch (Class) {
  case TScreenTextClass::CleanLight: Image.fill(qRgb(255, 255, 255)); break;
  case TScreenTextClass::DarkMode:
    Image.fill(qRgb(0x1e, 0x1e, 0x1e));
    Ink = qRgb(0xd4, 0xd4, 0xd4);
    break;
  case TScreenTextClass::FaintGrey:
    Image.fill(qRgb(0xfa, 0xfa, 0xfa));
    Ink = qRgb(0x96, 0x96, 0x96);
    break;
  case TScreenTextClass::LightGradient:
  case TScreenTextClass::DarkGradient: {
    const bool Light = Class == TScreenTextClass::LightGradient;
    QLinearGradient Gradient(0, 0, Width, Height * (0.3 + Random.Unit()));
    Gradient.setColorAt(0, Light ? QColor(0x9c, 0xc8, 0xf0) : QColor(0x10, 0x20, 0x60));
    Gradient.setColorAt(1, Light ? QColor(0xd8, 0xec, 0xfc) : QColor(0x60, 0x20, 0x70));
    QPainter Fill(&Image);
    Fill.fillRect(Image.rect(), Gradient);
    Ink = qRgb(255, 255, 255);
    break;
  }
  case TScreenTextClass::OutlinedSubtitle:
    PaintScene(Image, Random, {qRgb(220, 60, 40), qRgb(40, 160, 70), qRgb(60, 90, 220), qRgb(240, 200, 60)}, 3);
    Ink = qRgb(255, 255, 255);
    break;
  case TScreenTextClass::ShadowedSubtitle:
    PaintScene(Image, Random, {qRgb(70, 110, 160), qRgb(150, 170, 120), qRgb(190, 160, 120), qRgb(120, 140, 170)}, 7);
    Ink = qRgb(255, 255, 255);
    break;
  case TScreenTextClass::YellowOnTexture:
    PaintScene(Image, Random, {qRgb(140, 60, 30), qRgb(180, 90, 40), qRgb(120, 50, 40), qRgb(170, 110, 60)}, 2);
    Ink = qRgb(250, 225, 40);
    break;
  case TScreenTextClass::ColouredText: {
    static const QRgb Panels[] = {qRgb(0xf4, 0xe8, 0xd0), qRgb(0xe0, 0xf0, 0xe4), qRgb(0xe6, 0xe6, 0xf8)};
    static const QRgb Inks[] = {qRgb(0xc0, 0x20, 0x20), qRgb(0x20, 0x50, 0xc0), qRgb(0x10, 0x80, 0x30)};
    Image.fill(Panels[Random.Below(3)]);
    Ink = Inks[Random.Below(3)];
    break;
  }
  case TScreenTextClass::NoisyBackground:
    Image.fill(qRgb(0xe8, 0xe4, 0xdc));
    Ink = qRgb(0x30, 0x30, 0x30);
    break;
  case TScreenTextClass::Aliased:
    Image.fill(qRgb(0x80, 0x90, 0xa0));
    Ink = qRgb(0x10, 0x10, 0x20);
    break;
  }

  QPainter Painter(&Image);
  Painter.setRenderHint(QPainter::Antialiasing, Class != TScreenTextClass::Aliased);
  Painter.setRenderHint(QPainter::TextAntialiasing, Class != TScreenTextClass::Aliased);
  Painter.setFont(Font);
  for (int I = 0; I < Picture.Lines.size(); ++I) {
    const QPoint Origin(Margin, Margin + I * LineStep + (LineStep + Metrics.ascent() - Metrics.descent()) / 2);
    const QString& Line = Picture.Lines[I];
    QRect Ink0 = Metrics.tightBoundingRect(Line).translated(Origin);
    if (Class == TScreenTextClass::OutlinedSubtitle) {
      QPainterPath Path;
      Path.addText(Origin, Font, Line);
      Painter.setRenderHint(QPainter::Antialiasing, true);
      Painter.strokePath(
          Path, QPen(QColor(0, 0, 0), std::max(2.0, PixelSize / 6.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      Painter.fillPath(Path, QColor(Ink));
      Ink0.adjust(-1, -1, 1, 1);
    } else if (Class == TScreenTextClass::ShadowedSubtitle) {
      const int Offset = std::max(1, PixelSize / 10);
      Painter.setPen(QColor(20, 20, 20));
      Painter.drawText(Origin + QPoint(Offset, Offset), Line);
      Painter.setPen(QColor(Ink));
      Painter.drawText(Origin, Line);
      Ink0.adjust(0, 0, Offset, Offset);
    } else {
      Painter.setPen(QColor(Ink));
      Painter.drawText(Origin, Line);
    }
    Picture.LineBoxes.push_back(Ink0);
  }
  Painter.end();
  if (Class == TScreenTextClass::NoisyBackground)
    AddNoise(Image, Random, 28);
  if (Class == TScreenTextClass::YellowOnTexture)
    AddNoise(Image, Random, 10);
  return Picture;
}

// How the words of Recognised match those of Truth: the longest common
// subsequence of the two word sequences. Words are compared exactly, after
// stripping punctuation at their ends; marks with no letter or digit are no
// words.
struct TWordMatch {
  int Matched = 0, TruthWords = 0, RecognisedWords = 0;
  // The words of the truth found, over the words of the truth.
  double Accuracy() const { return TruthWords ? double(Matched) / TruthWords : 1.0; }
  // Words recognised that are none of the truth's: what a reader would be
  // shown on top of the text.
  int Stray() const { return RecognisedWords - Matched; }
};

inline TWordMatch MatchWords(const QStringList& Truth, const QString& Recognised) {
  auto Tokens = [](const QString& Text) {
    QStringList Out;
    for (QString Word : Text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
      while (!Word.isEmpty() && !Word.front().isLetterOrNumber())
        Word.remove(0, 1);
      while (!Word.isEmpty() && !Word.back().isLetterOrNumber())
        Word.chop(1);
      if (!Word.isEmpty())
        Out << Word;
    }
    return Out;
  };
  const QStringList T = Tokens(Truth.join(QLatin1Char(' '))), R = Tokens(Recognised);
  std::vector<std::vector<int>> L(size_t(T.size()) + 1, std::vector<int>(size_t(R.size()) + 1, 0));
  for (int I = int(T.size()) - 1; I >= 0; --I)
    for (int J = int(R.size()) - 1; J >= 0; --J)
      L[I][J] = T[I] == R[J] ? L[I + 1][J + 1] + 1 : std::max(L[I + 1][J], L[I][J + 1]);
  return {L[0][0], int(T.size()), int(R.size())};
}

// Word accuracy of Recognised against Truth (see TWordMatch).
inline double WordAccuracy(const QStringList& Truth, const QString& Recognised) {
  return MatchWords(Truth, Recognised).Accuracy();
}
