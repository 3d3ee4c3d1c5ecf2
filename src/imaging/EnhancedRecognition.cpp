#include "imaging/EnhancedRecognition.h"

#include "imaging/WordReadings.h"

#include <cmath>
#include <future>
#include <utility>

namespace {

// A picture whose words average this confidence (letter-weighted) reads as
// well as Tesseract ever reads screen text; trying the others costs time and
// gains nothing.
constexpr double ConfidentReading = 88.0;
// The first two pictures (the best guess and the capture itself) are always
// read: a confident reading can still have lost a line the other has.
constexpr size_t MinPicturesRead = 2;
// A word the recogniser finds in its language's dictionary counts as this
// much more confidence (per letter, on the 0 .. 1 scale of the score): at
// small sizes it can be surer of a misread word on one picture ("Frogress")
// than of the right one on another.
constexpr double DictionaryWordBonus = 0.6;

double MeanConfidence(const std::vector<TRecognizedWord>& Words) {
  double Sum = 0, Letters = 0;
  for (const TRecognizedWord& Word : Words) {
    Sum += double(Word.Confidence) * Word.Letters;
    Letters += Word.Letters;
  }
  return Letters > 0 ? Sum / Letters : 0.0;
}

} // namespace

double RecognitionScore(const TRecognition& Recognition) {
  double Score = 0;
  for (const TRecognizedWord& Word : Recognition.Words)
    Score += Word.Letters * ((double(Word.Confidence) - 30.0) / 70.0 + (Word.InDictionary ? DictionaryWordBonus : 0.0));
  return Score;
}

std::optional<TChosenPicture> ChooseRecognizedPicture(size_t Count, const TPictureRecognizer& Recognize) {
  std::vector<std::vector<TRecognizedWord>> Read;
  std::optional<TChosenPicture> Chosen;
  double BestScore = -INFINITY;
  for (size_t I = 0; I < Count; ++I) {
    std::optional<std::vector<TRecognizedWord>> Words = Recognize(I);
    if (!Words)
      return std::nullopt;
    Read.push_back(std::move(*Words));
    const double Score = RecognitionScore({{}, Read.back()});
    if (!Chosen || Score > BestScore) {
      Chosen = TChosenPicture{I, Read.back(), {}};
      BestScore = Score;
    }
    std::vector<const std::vector<TRecognizedWord>*> Others;
    for (size_t J = 0; J < Read.size(); ++J)
      if (J != Chosen->Index)
        Others.push_back(&Read[J]);
    Chosen->Replacements = BetterWordReadings(Chosen->Words, Others);

    bool Doubtful = false;
    for (size_t W = 0; W < Chosen->Words.size(); ++W)
      Doubtful = Doubtful || (Chosen->Replacements[W].isEmpty() && IsDoubtfulWord(Chosen->Words[W], Others));
    if (I >= MinPicturesRead - 1 && !Doubtful && MeanConfidence(Chosen->Words) >= ConfidentReading)
      break;
  }
  return Chosen;
}

std::vector<TEnhancedPicture> EnhanceWhile(const QImage& Capture, const std::function<void()>& ReadCapture) {
  std::future<std::vector<TEnhancedPicture>> Pictures =
      std::async(std::launch::async, [Capture] { return EnhanceForRecognition(Capture); });
  try {
    ReadCapture();
  } catch (...) {
    Pictures.wait(); // the analysis reads Capture, which the caller may free
    throw;
  }
  return Pictures.get();
}

TIteratorResultList RecognizeEnhanced(const QImage& Capture, const TRecognizer& Recognize) {
  if (Capture.isNull())
    return {};
  std::optional<TRecognition> AsItIs;
  const std::vector<TEnhancedPicture> Pictures = EnhanceWhile(Capture, [&] { AsItIs = Recognize(Capture); });
  if (Pictures.size() == 1 && Pictures.front().IsCapture())
    return std::move(AsItIs->Records);

  std::vector<TIteratorResultList> Found(Pictures.size());
  const std::optional<TChosenPicture> Chosen = ChooseRecognizedPicture(Pictures.size(), [&](size_t I) {
    TRecognition Recognition =
        Pictures[I].IsCapture() && AsItIs ? *std::exchange(AsItIs, std::nullopt) : Recognize(Pictures[I].Image);
    Found[I] = std::move(Recognition.Records);
    for (TRecognizedWord& Word : Recognition.Words)
      Word.Box = Pictures[I].ToCapture(Word.Box);
    return std::optional(std::move(Recognition.Words));
  });
  if (!Chosen)
    return {};

  TIteratorResultList Records = std::move(Found[Chosen->Index]);
  for (TIteratorResult& Record : Records) {
    const TRect Box = Pictures[Chosen->Index].ToCapture({Record.Left, Record.Top, Record.Right, Record.Bottom});
    Record.Left = Box.Left;
    Record.Top = Box.Top;
    Record.Right = Box.Right;
    Record.Bottom = Box.Bottom;
    // Engines that estimate a font size do it from the box, which has changed.
    if (Record.FFontSize != 0)
      Record.FFontSize = FontSizeForHeight(double(Box.Bottom) - Box.Top);
  }
  PutInWordReadings(Records, Chosen->Words, Chosen->Replacements);
  DropStrayLines(Records, Chosen->Words);
  return Records;
}
