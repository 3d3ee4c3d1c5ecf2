#include "imaging/TextEnhancer.h"

#include "imaging/DropShadow.h"
#include "imaging/EnhancerPlane.h"
#include "imaging/GreyLevel.h"
#include "imaging/InkPatches.h"
#include "imaging/OutlinedLetters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

using namespace textenhancer;

namespace {

// The measures below were chosen on bench/ocr/accuracy_bench.

// Backgrounds are estimated per block of this many pixels: several letters
// of the sizes screens use, so ink never covers half a block.
constexpr int BackgroundBlock = 32;
// Polarity is decided per region of this size (with its neighbours).
constexpr int PolarityRegion = 64;
// Contrast is stretched per block of this size; a block's contrast counts as
// no less than this share of the capture's.
constexpr int ContrastBlock = 32;
constexpr float MinRegionContrast = 0.35f;
// Contrast on the lesser side of the background, as a share of the greater
// side's, from which letters count as shadowed or outlined.
constexpr float TwoSidedShare = 0.25f;
// A pixel this share of the background's typical distance from the ink
// colour away from it is background.
constexpr float InkReach = 0.75f;
// Tesseract loses letters below this x-height; small text is enlarged to it,
// by at most MaxScale, and to no more than MaxEnlargedPixels in all:
// recognition time grows with the pixels, and a full screen is not enlarged.
constexpr int ReadableLetterHeight = 20;
constexpr int MaxScale = 4;
constexpr double MaxEnlargedPixels = 4e6;
// Captures up to this size get the alternative pictures too; larger ones
// (most of a screen) only the best guess and the capture, so that reading
// them takes about twice as long as without enhancement, not four times.
constexpr double MaxPixelsForAlternatives = 1e6;
// Captures larger than this (beyond a 4K screen) are read as they are: the
// analysis holds some 30 bytes per pixel, and enlarging is out of reach anyway.
constexpr double MaxAnalysedPixels = 16.8e6;
// Text drawn without anti-aliasing: of the pixels with some ink, no more
// than this share lies between background and full ink. Tesseract reads such
// text best enlarged only twice and softened, as if it had been smoothed.
constexpr float HardEdgedShare = 0.12f;
constexpr int HardEdgedScale = 2;
// How many pixels of the enlarged picture an outlined letter's strokes are
// thickened by on each side, to close what the outline ate.
constexpr int OutlineRepair = 2;
// Taking a shadow out thins the strokes beside it: small letters lose their
// hairlines (an "o" open at the top reads as "a"). Drawn this many pixels
// of the enlarged picture bolder, they close again.
constexpr int UnshadowedRepair = 1;
// Outlined letters enlarged by a multiple of this are taken from within
// their outline on the capture enlarged this much, then enlarged the rest.
constexpr int FinerOutlineScale = 2;
// A plain capture: a flat background (half the pixels within this many grey
// levels of the local background), ink this far from it, letters this tall.
constexpr float PlainNoise = 2.f;
constexpr float PlainContrast = 80.f;
constexpr int PlainLetterHeight = 10;

// A coarse grid of one value per Block x Block cell, read back at any pixel
// by bilinear interpolation between cell centres: the smooth background of
// a gradient, or a contrast that changes across the capture.
class TCellGrid {
public:
  TCellGrid(int Width, int Height, int Block)
      : FBlock(Block), FColumns((Width + Block - 1) / Block), FRows((Height + Block - 1) / Block),
        FValues(size_t(FColumns) * FRows) {}
  int Columns() const { return FColumns; }
  int Rows() const { return FRows; }
  float& Cell(int Column, int Row) { return FValues[size_t(Row) * FColumns + Column]; }
  float Cell(int Column, int Row) const { return FValues[size_t(Row) * FColumns + Column]; }

  // The values of row Y at pixels 0 .. Width: first the two cell rows
  // around Y blended, then each pixel between the two cells around it.
  void ReadRow(int Y, int Width, std::vector<float>& Out) const {
    const float GY = std::clamp((Y + 0.5f) / FBlock - 0.5f, 0.f, float(FRows - 1));
    const int Y0 = int(GY), Y1 = std::min(Y0 + 1, FRows - 1);
    const float TY = GY - Y0;
    FBlended.resize(size_t(FColumns));
    for (int C = 0; C < FColumns; ++C)
      FBlended[size_t(C)] = Cell(C, Y0) + (Cell(C, Y1) - Cell(C, Y0)) * TY;
    PrepareColumns(Width);
    Out.resize(size_t(Width));
    for (int X = 0; X < Width; ++X) {
      const float Left = FBlended[FLeftCell[size_t(X)]], Right = FBlended[FRightCell[size_t(X)]];
      Out[size_t(X)] = Left + (Right - Left) * FRightShare[size_t(X)];
    }
  }

private:
  int FBlock, FColumns, FRows;
  std::vector<float> FValues;
  mutable std::vector<float> FBlended; // ReadRow's scratch row
  // Which two cells every pixel of a row lies between, and how far along:
  // the same for every row, so worked out once.
  mutable std::vector<size_t> FLeftCell, FRightCell;
  mutable std::vector<float> FRightShare;

  void PrepareColumns(int Width) const {
    if (FRightShare.size() == size_t(Width))
      return;
    FLeftCell.resize(size_t(Width));
    FRightCell.resize(size_t(Width));
    FRightShare.resize(size_t(Width));
    for (int X = 0; X < Width; ++X) {
      const float GX = std::clamp((X + 0.5f) / FBlock - 0.5f, 0.f, float(FColumns - 1));
      const int X0 = int(GX);
      FLeftCell[size_t(X)] = size_t(X0);
      FRightCell[size_t(X)] = size_t(std::min(X0 + 1, FColumns - 1));
      FRightShare[size_t(X)] = GX - X0;
    }
  }
};

// Percentile(Values, Fraction) of the values ForEach hands its visitor, all
// within 0 .. 256: they are counted per level first (nought apart, then
// each whole number), and only those of the one level that holds the
// wanted rank are sorted. Most of a capture is one flat background, whose
// deviation is exactly nought, so often nothing is sorted at all.
template <class TForEach> float LevelPercentile(size_t Count, double Fraction, const TForEach& ForEach) {
  if (Count == 0)
    return 0.f;
  const size_t Rank = std::min(Count - 1, size_t(Fraction * double(Count)));
  auto LevelOf = [](float Value) { return Value <= 0.f ? size_t(0) : 1 + std::min(size_t(Value), size_t(256)); };
  std::array<size_t, 258> Levels{};
  ForEach([&](float Value) { ++Levels[LevelOf(Value)]; });
  size_t Below = 0, Level = 0;
  while (Below + Levels[Level] <= Rank)
    Below += Levels[Level++];
  if (Level == 0)
    return 0.f;
  std::vector<float> Within;
  Within.reserve(Levels[Level]);
  ForEach([&](float Value) {
    if (LevelOf(Value) == Level)
      Within.push_back(Value);
  });
  const auto Wanted = Within.begin() + std::ptrdiff_t(Rank - Below);
  std::nth_element(Within.begin(), Wanted, Within.end());
  return *Wanted;
}

TPlane<uint8_t> GreyPlane(const QImage& Rgb32) {
  TPlane<uint8_t> Grey(Rgb32.width(), Rgb32.height());
  for (int Y = 0; Y < Grey.Height; ++Y)
    GreyLevels(Rgb32.constScanLine(Y), 4, Grey.Width, &Grey.At(0, Y));
  return Grey;
}

// The background of every block: its median grey. Text covers well under
// half of any block a few text lines tall, so the median is the background
// even under bold text.
TCellGrid LocalBackground(const TPlane<uint8_t>& Grey, int Block) {
  TCellGrid Grid(Grey.Width, Grey.Height, Block);
  // Counted per grey level: the same median Percentile gives, without
  // sorting a cell's pixels.
  std::array<int, 256> Levels{};
  for (int R = 0; R < Grid.Rows(); ++R)
    for (int C = 0; C < Grid.Columns(); ++C) {
      Levels.fill(0);
      const int Right = std::min(Grey.Width, (C + 1) * Block);
      for (int Y = R * Block; Y < std::min(Grey.Height, (R + 1) * Block); ++Y)
        for (int X = C * Block; X < Right; ++X)
          ++Levels[Grey.At(X, Y)];
      const int Count = (std::min(Grey.Height, (R + 1) * Block) - R * Block) * (Right - C * Block);
      // The level of the pixel at index Count / 2 in sorted order.
      int Seen = 0, Level = 0;
      while ((Seen += Levels[size_t(Level)]) <= Count / 2)
        ++Level;
      Grid.Cell(C, R) = float(Level);
    }
  return Grid;
}

// Text is drawn in one colour against a background: the side of the
// background (brighter or darker) with more contrast in it is the ink. Each
// region decides with its neighbours, two regions either side and one above
// and below, so that a shadow or an outline that outweighs the letters in
// one small region does not flip the polarity in the middle of a line.
// +1 where the ink is brighter, -1 where it is darker.
std::vector<int> RegionPolarity(const TPlane<float>& Deviation, int Region, int& Columns) {
  Columns = (Deviation.Width + Region - 1) / Region;
  const int Rows = (Deviation.Height + Region - 1) / Region;
  std::vector<double> Bright(size_t(Columns) * Rows), Dark(size_t(Columns) * Rows);
  for (int Y = 0; Y < Deviation.Height; ++Y)
    for (int Left = 0; Left < Deviation.Width; Left += Region) {
      // Summed in a register along the region's part of the row, in the
      // same order as pixel by pixel.
      const size_t I = size_t(Y / Region) * Columns + Left / Region;
      double B = Bright[I], K = Dark[I];
      for (int X = Left; X < std::min(Deviation.Width, Left + Region); ++X) {
        const float D = Deviation.At(X, Y);
        (D > 0 ? B : K) += double(D) * D;
      }
      Bright[I] = B, Dark[I] = K;
    }
  std::vector<int> Polarity(Bright.size());
  for (int R = 0; R < Rows; ++R)
    for (int C = 0; C < Columns; ++C) {
      double Balance = 0;
      for (int NR = std::max(0, R - 1); NR <= std::min(Rows - 1, R + 1); ++NR)
        for (int NC = std::max(0, C - 2); NC <= std::min(Columns - 1, C + 2); ++NC)
          Balance += Bright[size_t(NR) * Columns + NC] - Dark[size_t(NR) * Columns + NC];
      Polarity[size_t(R) * Columns + C] = Balance > 0 ? 1 : -1;
    }
  return Polarity;
}

// Per block, the strength the strongest ink of the block reaches (its 95th
// percentile), kept within Low .. High.
TCellGrid RegionContrast(const TPlane<float>& InkStrength, int Block, float Low, float High) {
  TCellGrid Grid(InkStrength.Width, InkStrength.Height, Block);
  std::vector<float> Cell;
  for (int R = 0; R < Grid.Rows(); ++R)
    for (int C = 0; C < Grid.Columns(); ++C) {
      Cell.clear();
      for (int Y = R * Block; Y < std::min(InkStrength.Height, (R + 1) * Block); ++Y)
        for (int X = C * Block; X < std::min(InkStrength.Width, (C + 1) * Block); ++X)
          Cell.push_back(InkStrength.At(X, Y));
      Grid.Cell(C, R) = std::clamp(Percentile(Cell, 0.98), Low, High);
    }
  return Grid;
}

struct TStretchedInk {
  TPlane<uint8_t> Map;  // dark ink on white
  TPlane<uint8_t> Mask; // 1 where the ink is surely ink
  float Contrast;       // what the strongest ink of the capture reaches
};

// InkStrength (how far each pixel is from its background, towards the ink)
// as dark ink on white paper: nothing at the noise of the background, black
// at the contrast of the ink. Each region is stretched to its own strongest
// ink, so that letters over a background close to their colour come out as
// dark as the rest; a region's contrast counts as no less than a share of the
// capture's, or texture would turn into ink.
TStretchedInk StretchInk(const TPlane<float>& InkStrength, float Noise) {
  const float InkedFrom = 2 * Noise + 8;
  const size_t Inked = size_t(
      std::count_if(InkStrength.Values.begin(), InkStrength.Values.end(), [&](float S) { return S > InkedFrom; }));
  const float Contrast = std::max(LevelPercentile(Inked, 0.95,
                                                  [&](const auto& Visit) {
                                                    for (float S : InkStrength.Values)
                                                      if (S > InkedFrom)
                                                        Visit(S);
                                                  }),
                                  24.f);
  const TCellGrid LocalContrast = RegionContrast(InkStrength, ContrastBlock, Contrast * MinRegionContrast, Contrast);
  TStretchedInk Ink{{InkStrength.Width, InkStrength.Height}, {InkStrength.Width, InkStrength.Height}, Contrast};
  const float Floor = std::min(1.5f * Noise, Contrast * MinRegionContrast / 3);
  std::vector<float> Reaches;
  for (int Y = 0; Y < InkStrength.Height; ++Y) {
    LocalContrast.ReadRow(Y, InkStrength.Width, Reaches);
    for (int X = 0; X < InkStrength.Width; ++X) {
      const float Reach = std::max(Reaches[size_t(X)], Floor + 8);
      const float T = std::clamp((InkStrength.At(X, Y) - Floor) / (Reach - Floor), 0.f, 1.f);
      Ink.Map.At(X, Y) = uint8_t(255 * (1 - T) + 0.5f);
      Ink.Mask.At(X, Y) = T > 0.5f;
    }
  }
  return Ink;
}

// Whether the capture has strong contrast on both sides of its background:
// the lesser side holds at least a share of the greater's.
bool TwoSided(const TPlane<float>& Deviation) {
  double Bright = 0, Dark = 0;
  for (float D : Deviation.Values)
    (D > 0 ? Bright : Dark) += double(D) * D;
  return std::min(Bright, Dark) >= TwoSidedShare * std::max(Bright, Dark);
}

// Whether the ink of Map (dark on white) has hard edges: hardly any pixel
// between paper and full ink, as text drawn without anti-aliasing.
bool HardEdged(const TPlane<uint8_t>& Map) {
  size_t Inked = 0, Between = 0;
  for (uint8_t V : Map.Values) {
    if (V >= 242)
      continue;
    ++Inked;
    Between += V > 38 && V < 217;
  }
  return Inked > 0 && float(Between) <= HardEdgedShare * float(Inked);
}

// The ink of one side of the background (+1 brighter, -1 darker) across the
// whole capture. Shadowed and outlined letters have strong contrast on both
// sides, and a small region may hold more of the shadow or the outline than
// of the letters; one side for the whole capture keeps the letters whole.
TPlane<float> OneSide(const TPlane<float>& Deviation, int Sign) {
  TPlane<float> Side(Deviation.Width, Deviation.Height);
  for (size_t I = 0; I < Side.Values.size(); ++I)
    Side.Values[I] = std::max(0.f, Sign * Deviation.Values[I]);
  return Side;
}

// Background's grey at every pixel, row after row.
std::vector<float> BackgroundAtPixels(const TCellGrid& Background, int Width, int Height) {
  std::vector<float> Pixels, Row;
  Pixels.reserve(size_t(Width) * Height);
  for (int Y = 0; Y < Height; ++Y) {
    Background.ReadRow(Y, Width, Row);
    Pixels.insert(Pixels.end(), Row.begin(), Row.end());
  }
  return Pixels;
}

// Dark where a pixel has the colour of the ink, white where it is far from
// it: the letters of one colour stand out from a busy background whose
// brightness crosses theirs, which no grey level separates. The ink colour
// is the median colour of the pixels the contrast map found surely inked.
std::optional<TPlane<uint8_t>> InkColourDistance(const QImage& Rgb32, const TPlane<uint8_t>& InkMask) {
  std::array<std::vector<int>, 3> Channels;
  for (int Y = 0; Y < InkMask.Height; ++Y) {
    const auto* Row = reinterpret_cast<const QRgb*>(Rgb32.constScanLine(Y));
    for (int X = 0; X < InkMask.Width; ++X)
      if (InkMask.At(X, Y)) {
        Channels[0].push_back(qRed(Row[X]));
        Channels[1].push_back(qGreen(Row[X]));
        Channels[2].push_back(qBlue(Row[X]));
      }
  }
  if (Channels[0].size() < 16)
    return std::nullopt;
  const int InkR = Percentile(Channels[0], 0.5), InkG = Percentile(Channels[1], 0.5),
            InkB = Percentile(Channels[2], 0.5);
  TPlane<float> Distance(InkMask.Width, InkMask.Height);
  for (int Y = 0; Y < InkMask.Height; ++Y) {
    const auto* Row = reinterpret_cast<const QRgb*>(Rgb32.constScanLine(Y));
    for (int X = 0; X < InkMask.Width; ++X) {
      const int DR = qRed(Row[X]) - InkR, DG = qGreen(Row[X]) - InkG, DB = qBlue(Row[X]) - InkB;
      Distance.At(X, Y) = std::sqrt(float(DR * DR + DG * DG + DB * DB));
    }
  }
  std::vector<float> All = Distance.Values;
  // Most of the capture is background: three quarters of its typical
  // distance from the ink is far enough to call a pixel background.
  const float Far = std::max(48.f, InkReach * Percentile(All, 0.5));
  const float Near = Far / 3;
  TPlane<uint8_t> Map(InkMask.Width, InkMask.Height);
  for (size_t I = 0; I < Map.Values.size(); ++I)
    Map.Values[I] = uint8_t(255 * std::clamp((Distance.Values[I] - Near) / (Far - Near), 0.f, 1.f) + 0.5f);
  return Map;
}

// The whole factor that brings letters of LetterHeight to a height
// Tesseract reads well, within the limits.
int EnlargementFor(int LetterHeight, int Width, int Height) {
  if (LetterHeight <= 0)
    return 1;
  const int Wanted = (ReadableLetterHeight + LetterHeight - 1) / LetterHeight;
  const int Affordable = int(std::sqrt(MaxEnlargedPixels / (double(Width) * Height)));
  return std::clamp(std::min(Wanted, Affordable), 1, MaxScale);
}

// Enlarged by a whole factor, smoothly.
QImage Enlarged(const QImage& Image, int Scale) {
  if (Scale == 1)
    return Image;
  return Image.scaled(Image.width() * Scale, Image.height() * Scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// A grey picture (Format_RGB32) with every pixel the mean of its 3 x 3
// neighbourhood: the steps of hard-edged letters rounded off.
QImage Softened(const QImage& Grey) {
  const int W = Grey.width(), H = Grey.height();
  std::vector<int> Rows(size_t(W) * H); // each pixel summed with its left and right neighbours
  for (int Y = 0; Y < H; ++Y) {
    const auto* In = reinterpret_cast<const QRgb*>(Grey.constScanLine(Y));
    for (int X = 0; X < W; ++X)
      Rows[size_t(Y) * W + X] = qBlue(In[std::max(0, X - 1)]) + qBlue(In[X]) + qBlue(In[std::min(W - 1, X + 1)]);
  }
  QImage Out(W, H, QImage::Format_RGB32);
  for (int Y = 0; Y < H; ++Y) {
    const int* Above = &Rows[size_t(std::max(0, Y - 1)) * W];
    const int* Here = &Rows[size_t(Y) * W];
    const int* Below = &Rows[size_t(std::min(H - 1, Y + 1)) * W];
    auto* Row = reinterpret_cast<QRgb*>(Out.scanLine(Y));
    for (int X = 0; X < W; ++X) {
      const int V = (Above[X] + Here[X] + Below[X] + 4) / 9;
      Row[X] = qRgb(V, V, V);
    }
  }
  return Out;
}

QImage GreyImage(const TPlane<uint8_t>& Plane) {
  QImage Image(Plane.Width, Plane.Height, QImage::Format_RGB32);
  for (int Y = 0; Y < Plane.Height; ++Y) {
    auto* Row = reinterpret_cast<QRgb*>(Image.scanLine(Y));
    for (int X = 0; X < Plane.Width; ++X) {
      const int V = Plane.At(X, Y);
      Row[X] = qRgb(V, V, V);
    }
  }
  return Image;
}

// Image (grey, dark ink on white) with every stroke Reach pixels bolder on
// each side: each pixel takes the darkest grey within Reach of it.
QImage Bolder(const QImage& Image, int Reach) {
  TPlane<uint8_t> Grey(Image.width(), Image.height());
  for (int Y = 0; Y < Grey.Height; ++Y) {
    const auto* Row = reinterpret_cast<const QRgb*>(Image.constScanLine(Y));
    for (int X = 0; X < Grey.Width; ++X)
      Grey.At(X, Y) = uint8_t(qRed(Row[X]));
  }
  return GreyImage(ExtremeWithin(Grey, Reach, std::less<>()));
}

// What every picture of a capture is drawn from: its grey, the background
// under it, and how far each pixel lies from that background.
struct TGreyAnalysis {
  TPlane<uint8_t> Grey;
  TCellGrid Background;
  TPlane<float> Deviation; // grey less background: above nought brighter
  float Noise;             // what most of the capture (background) deviates by
};

TGreyAnalysis AnalyseGrey(const QImage& Rgb32) {
  const int W = Rgb32.width(), H = Rgb32.height();
  TPlane<uint8_t> Grey = GreyPlane(Rgb32);
  TCellGrid Background = LocalBackground(Grey, BackgroundBlock);
  TPlane<float> Deviation(W, H);
  std::vector<float> BackgroundRow;
  for (int Y = 0; Y < H; ++Y) {
    Background.ReadRow(Y, W, BackgroundRow);
    for (int X = 0; X < W; ++X)
      Deviation.At(X, Y) = float(Grey.At(X, Y)) - BackgroundRow[size_t(X)];
  }
  const float Noise = LevelPercentile(Deviation.Values.size(), 0.5, [&](const auto& Visit) {
    for (float D : Deviation.Values)
      Visit(std::abs(D));
  });
  return {std::move(Grey), std::move(Background), std::move(Deviation), Noise};
}

// The ink of one side of the background (see OneSide), stretched.
TStretchedInk SideInk(const TGreyAnalysis& Analysis, int Sign) {
  return StretchInk(OneSide(Analysis.Deviation, Sign), Analysis.Noise);
}

// Outlined letters taken from within their outline, the side of the
// background that is the letters being the one with more of its ink
// enclosed.
TEnclosedLetters EnclosedEitherSide(const TPlane<uint8_t>& Grey, const TStretchedInk& Bright,
                                    const TStretchedInk& Dark) {
  TEnclosedLetters Letters = EnclosedLetters(Grey, Bright.Mask, Bright.Map, Dark.Mask, Dark.Map);
  if (TEnclosedLetters Reverse = EnclosedLetters(Grey, Dark.Mask, Dark.Map, Bright.Mask, Bright.Map);
      Reverse.Share > Letters.Share)
    Letters = std::move(Reverse);
  return Letters;
}

} // namespace

TRect TEnhancedPicture::ToCapture(const TRect& Box) const {
  auto Down = [this](int32_t V) { return V >= 0 ? V / Scale : -((-V + Scale - 1) / Scale); };
  auto Up = [this](int32_t V) { return V >= 0 ? (V + Scale - 1) / Scale : -(-V / Scale); };
  return {Down(Box.Left), Down(Box.Top), Up(Box.Right), Up(Box.Bottom)};
}

bool TEnhancedPicture::IsCapture() const { return Scale == 1 && std::string_view(Method) == "original"; }

std::vector<TEnhancedPicture> EnhanceForRecognition(const QImage& Capture) {
  if (Capture.isNull() || Capture.width() <= 0 || Capture.height() <= 0)
    return {};
  if (double(Capture.width()) * Capture.height() > MaxAnalysedPixels)
    return {{Capture, 1, "original"}};
  const QImage Rgb32 = Capture.convertToFormat(QImage::Format_RGB32);
  const int W = Rgb32.width(), H = Rgb32.height();
  const TGreyAnalysis Analysis = AnalyseGrey(Rgb32);
  const TPlane<uint8_t>& Grey = Analysis.Grey;
  const TPlane<float>& Deviation = Analysis.Deviation;
  const float Noise = Analysis.Noise;

  int PolarityColumns = 0;
  const std::vector<int> Polarity = RegionPolarity(Deviation, PolarityRegion, PolarityColumns);
  TPlane<float> InkStrength(W, H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const int Sign = Polarity[size_t(Y / PolarityRegion) * PolarityColumns + X / PolarityRegion];
      InkStrength.At(X, Y) = std::max(0.f, Sign * Deviation.At(X, Y));
    }
  const TStretchedInk Signed = StretchInk(InkStrength, Noise);
  const TPlane<uint8_t>& InkMask = Signed.Mask;
  const float Contrast = Signed.Contrast;

  const int LetterHeight = TypicalLetterHeight(InkMask);

  // Plain text is what Tesseract reads best as it is: any change could only
  // move its boxes or cost time. Flat panels of either polarity side by side
  // (a window on a dark desktop) are plain too: Tesseract inverts lines itself.
  if (Noise <= PlainNoise && Contrast >= PlainContrast && LetterHeight >= PlainLetterHeight)
    return {{Capture, 1, "original"}};

  const bool HardEdges = HardEdged(Signed.Map);
  const int Scale = std::min(EnlargementFor(LetterHeight, W, H), HardEdges ? HardEdgedScale : MaxScale);
  // Every picture but the capture, as dark ink on white paper, enlarged.
  // MapScale: how much larger than the capture Map already is.
  auto Picture = [&](const TPlane<uint8_t>& Map, const char* Method, int MapScale = 1) {
    QImage Image = Enlarged(GreyImage(Map), Scale / MapScale);
    return TEnhancedPicture{HardEdges && Scale > 1 ? Softened(Image) : std::move(Image), Scale, Method};
  };

  // Letters with a shadow or an outline have contrast on both sides of the
  // background. Which side is the letters no measure of contrast tells (a
  // black shadow is further from the background than white letters), so
  // both are offered, each for the whole capture; together the two sides
  // draw the letters bolder, but whole. A drop shadow gives the side away:
  // the letters with the shadow taken out are then the best guess.
  const bool Alternatives = double(W) * H <= MaxPixelsForAlternatives;
  const bool BothSides = Alternatives && TwoSided(Deviation);
  std::optional<TStretchedInk> Bright, Dark;
  std::optional<TEnhancedPicture> Unshadowed, UnshadowedBolder, Outlined;
  // Whose colour the ink colour picture keys on: the surest ink, or the
  // letters' own once a shadow tells which side they are (a dark shadow
  // is often surer ink than white letters over a light photo).
  const TPlane<uint8_t>* InkColourKey = &InkMask;
  if (BothSides) {
    Bright = SideInk(Analysis, 1);
    Dark = SideInk(Analysis, -1);
    if (const std::optional<TDropShadow> Shadow = FindDropShadow(Bright->Mask, Dark->Mask)) {
      const bool BrightText = Shadow->TextSign > 0;
      const TPlane<uint8_t>& TextInk = BrightText ? Bright->Mask : Dark->Mask;
      const TPlane<uint8_t>& ShadowInk = BrightText ? Dark->Mask : Bright->Mask;
      InkColourKey = &TextInk;
      const float TextGrey = MedianGrey(Grey, TextInk), ShadowGrey = MedianGrey(Grey, ShadowInk);
      // The letters as their own grey draws them and as their shadow does:
      // each pixel as dark as either makes it.
      const std::vector<float> BackgroundGrey = BackgroundAtPixels(Analysis.Background, W, H);
      TPlane<uint8_t> Letters = WithoutShadow(Grey, BackgroundGrey, *Shadow, TextGrey, ShadowGrey, TextInk);
      const TPlane<uint8_t> Cast = FromShadow(Grey, BackgroundGrey, *Shadow, ShadowGrey);
      for (size_t I = 0; I < Cast.Values.size(); ++I)
        Letters.Values[I] = std::min(Letters.Values[I], Cast.Values[I]);
      // Patches of the photo lighter than their surroundings come out as
      // ink too, but far taller than letters.
      EraseTallPatches(Letters);
      Unshadowed = Picture(Letters, "unshadowed");
      UnshadowedBolder = Picture(Letters, "unshadowed, bolder");
      UnshadowedBolder->Image = Bolder(UnshadowedBolder->Image, UnshadowedRepair);
    } else {
      // Without a shadow the other side may be an outline. The side whose
      // ink lies within it is the letters: the outline's own ink, joined
      // with the background beyond it, is hardly ever enclosed.
      // Small letters are taken from the capture enlarged twice: at its own
      // size a thin outline and thin strokes share pixels, so that letters
      // break or run into their outline.
      if (Scale % FinerOutlineScale == 0 && !HardEdges &&
          double(W) * H * FinerOutlineScale * FinerOutlineScale <= MaxPixelsForAlternatives) {
        const TGreyAnalysis Finer = AnalyseGrey(Enlarged(Rgb32, FinerOutlineScale));
        const TEnclosedLetters Letters = EnclosedEitherSide(Finer.Grey, SideInk(Finer, 1), SideInk(Finer, -1));
        if (Letters.Share > 0)
          Outlined = Picture(Letters.Map, "outlined", FinerOutlineScale);
      } else if (const TEnclosedLetters Letters = EnclosedEitherSide(Grey, *Bright, *Dark); Letters.Share > 0) {
        Outlined = Picture(Letters.Map, "outlined");
      }
    }
  }

  // The capture itself comes second: where the region analysis goes wrong
  // (a panel edge taken for ink can cost a line next to it) the capture
  // still reads well, and it costs least to read.
  std::vector<TEnhancedPicture> Pictures;
  if (Unshadowed || Outlined)
    Pictures.push_back(Unshadowed ? std::move(*Unshadowed) : std::move(*Outlined));
  else
    Pictures.push_back(Picture(Signed.Map, "contrast"));
  Pictures.push_back({Capture, 1, "original"});
  if (UnshadowedBolder)
    Pictures.push_back(std::move(*UnshadowedBolder));
  if (!Alternatives)
    return Pictures;
  if (Unshadowed || Outlined)
    Pictures.push_back(Picture(Signed.Map, "contrast"));
  if (std::optional<TPlane<uint8_t>> Ink = InkColourDistance(Rgb32, *InkColourKey))
    Pictures.push_back(Picture(*Ink, "ink colour"));
  if (BothSides) {
    Pictures.push_back(Picture(Bright->Map, "bright side"));
    Pictures.push_back(Picture(Dark->Map, "dark side"));
    // An outline eats into thin strokes and serifs, which Tesseract then
    // reads as broken letters; drawn bolder, they close again.
    for (TEnhancedPicture Side :
         {Picture(Bright->Map, "bright side, bolder"), Picture(Dark->Map, "dark side, bolder")}) {
      Side.Image = Bolder(Side.Image, OutlineRepair);
      Pictures.push_back(std::move(Side));
    }
    TPlane<float> Both(W, H);
    for (size_t I = 0; I < Both.Values.size(); ++I)
      Both.Values[I] = std::abs(Deviation.Values[I]);
    Pictures.push_back(Picture(StretchInk(Both, Noise).Map, "both sides"));
  }
  return Pictures;
}
