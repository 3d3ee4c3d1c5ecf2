#include "text/OCRLayout.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// Heights and differences are taken exactly, so boxes with extreme
// coordinates from a remote service cannot overflow.
int64_t ExactHeight(const TIteratorResult& R) { return int64_t{R.Bottom} - R.Top; }

int32_t LengthOf(const QString& Text) { return static_cast<int32_t>(std::min<qsizetype>(Text.size(), INT32_MAX)); }

bool StartsWithBullet(const QString& Text) { return Text.startsWith(QChar(0x2014)) || Text.startsWith(QChar(0x2022)); }

void Add(TIteratorResultList& Output, const TIteratorResult& Rect) {
  if (!Rect.Text.isEmpty())
    Output.push_back(Rect);
}

void JoinText(TIteratorResult& Rect, const TIteratorResult& V) {
  Rect.Text += QLatin1Char(' ');
  Rect.Text += V.Text;
}

// The scan shared by both operations: Start builds the running box from the
// first item, Restart from the first item of a later group.
template <typename TStart, typename TSame, typename TMerge, typename TRestart>
TIteratorResultList Scan(const TIteratorResultList& Input, TStart Start, TSame Same, TMerge Merge, TRestart Restart) {
  TIteratorResultList Output;
  if (Input.empty())
    return Output;
  TIteratorResult Rect = Start(Input[0]);
  for (size_t I = 1; I < Input.size(); ++I) {
    const TIteratorResult& V = Input[I];
    if (Same(Input[I - 1], V)) {
      Merge(Rect, V);
    } else {
      Add(Output, Rect);
      Rect = Restart(V);
    }
  }
  Add(Output, Rect);
  return Output;
}

} // namespace

bool IsSameLine(const TIteratorResult& V1, const TIteratorResult& V2) {
  const int64_t H1 = ExactHeight(V1);
  const int64_t H2 = ExactHeight(V2);
  // The vertical centre of the shorter box (of V1 on a tie) must lie within
  // the other box; the centre is kept in single precision.
  if (H1 > H2) {
    const double Y = static_cast<float>(V2.Top + static_cast<double>(H2) / 2);
    if (!(V1.Top <= Y && Y <= V1.Bottom))
      return false;
  } else {
    const double Y = static_cast<float>(V1.Top + static_cast<double>(H1) / 2);
    if (!(V2.Top <= Y && Y <= V2.Bottom))
      return false;
  }
  const double W = static_cast<float>(std::max(V1.FFontSize, V2.FFontSize));
  if (V2.Left < V1.Left)
    return false;
  return static_cast<double>(int64_t{V2.Left} - V1.Right) <= 10 * W;
}

bool IsSameSegment(const TIteratorResult& V1, const TIteratorResult& V2) {
  const double H = static_cast<float>(ExactHeight(V2));
  const double W = static_cast<float>(std::min(ExactHeight(V1), ExactHeight(V2)));
  const int64_t G = std::abs(int64_t{V2.Top} - V1.Bottom);
  // An indented line right under a bulleted one continues that item, even
  // when it carries a bullet of its own.
  if (StartsWithBullet(V1.Text) && static_cast<double>(int64_t{V2.Left} - V1.Left) > W && G < H)
    return true;
  if (StartsWithBullet(V2.Text))
    return false;
  if (static_cast<double>(int64_t{V1.Left} - V2.Left) > 2 * W)
    return false;
  if (G > H)
    return false;
  return true;
}

TIteratorResultList GroupingToTextLine(const TIteratorResultList& OCRWordList) {
  auto Start = [](const TIteratorResult& First) {
    TIteratorResult Rect = First;
    Rect.Count = 1;
    Rect.FFontSize = FontSizeForHeight(static_cast<double>(ExactHeight(First)));
    return Rect;
  };
  auto Merge = [](TIteratorResult& Rect, const TIteratorResult& V) {
    // Left 0 counts as "not set yet".
    Rect.Left = Rect.Left == 0 ? V.Left : std::min(Rect.Left, V.Left);
    Rect.Right = std::max(Rect.Right, V.Right);
    // A line is as high as its tallest word, not the union of its words.
    if (ExactHeight(V) > ExactHeight(Rect)) {
      Rect.Top = V.Top;
      Rect.Bottom = V.Bottom;
    }
    JoinText(Rect, V);
    Rect.FFontSize = std::min(Rect.FFontSize, FontSizeForHeight(static_cast<double>(ExactHeight(V))));
    ++Rect.Count;
  };
  auto Restart = [](const TIteratorResult& V) {
    TIteratorResult Rect = V;
    Rect.Count = 1;
    return Rect;
  };
  return Scan(OCRWordList, Start, IsSameLine, Merge, Restart);
}

TIteratorResultList GroupingToSegment(const TIteratorResultList& TextLineList) {
  auto Start = [](const TIteratorResult& First) {
    TIteratorResult Rect = First;
    Rect.Count = 1;
    Rect.MaxLength = LengthOf(First.Text);
    return Rect;
  };
  auto Merge = [](TIteratorResult& Rect, const TIteratorResult& V) {
    Rect.Left = Rect.Left == 0 ? V.Left : std::min(Rect.Left, V.Left);
    Rect.Right = std::max(Rect.Right, V.Right);
    if (Rect.Top == 0) {
      Rect.Top = V.Top;
      Rect.Bottom = V.Bottom;
    } else {
      Rect.Top = std::min(Rect.Top, V.Top);
      Rect.Bottom = std::max(Rect.Bottom, V.Bottom);
    }
    JoinText(Rect, V);
    ++Rect.Count;
    Rect.MaxLength = std::max(Rect.MaxLength, LengthOf(V.Text));
    Rect.FFontSize = std::min(Rect.FFontSize, V.FFontSize);
  };
  auto Restart = [](const TIteratorResult& V) {
    TIteratorResult Rect = V;
    Rect.Count = 1;
    Rect.MaxLength = LengthOf(V.Text);
    return Rect;
  };
  return Scan(TextLineList, Start, IsSameSegment, Merge, Restart);
}
