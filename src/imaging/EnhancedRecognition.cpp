#include "imaging/EnhancedRecognition.h"

#include <cmath>
#include <string_view>

namespace {

// A picture whose words average this confidence (letter-weighted) reads as
// well as Tesseract ever reads screen text; trying the others costs time and
// gains nothing.
constexpr double ConfidentReading = 88.0;
// The first two pictures (the best guess and the capture itself) are always
// read: a confident reading can still have lost a line the other has.
constexpr size_t MinPicturesRead = 2;

double MeanConfidence(const TRecognition& Recognition) {
  double Sum = 0, Letters = 0;
  for (const TRecognizedWord& Word : Recognition.Words) {
    Sum += double(Word.Confidence) * Word.Letters;
    Letters += Word.Letters;
  }
  return Letters > 0 ? Sum / Letters : 0.0;
}

} // namespace

double RecognitionScore(const TRecognition& Recognition) {
  double Score = 0;
  for (const TRecognizedWord& Word : Recognition.Words)
    Score += Word.Letters * (double(Word.Confidence) - 30.0) / 70.0;
  return Score;
}

TIteratorResultList RecognizeEnhanced(const QImage& Capture, const TRecognizer& Recognize) {
  const std::vector<TEnhancedPicture> Pictures = EnhanceForRecognition(Capture);
  if (Pictures.empty())
    return {};
  if (Pictures.size() == 1 && Pictures.front().Scale == 1 && std::string_view(Pictures.front().Method) == "original")
    return Recognize(Capture).Records;

  size_t Best = 0;
  TRecognition BestRecognition;
  double BestScore = -INFINITY;
  for (size_t I = 0; I < Pictures.size(); ++I) {
    TRecognition Recognition = Recognize(Pictures[I].Image);
    const double Score = RecognitionScore(Recognition);
    if (Score > BestScore) {
      Best = I;
      BestScore = Score;
      BestRecognition = std::move(Recognition);
    }
    if (I >= MinPicturesRead - 1 && MeanConfidence(BestRecognition) >= ConfidentReading)
      break;
  }

  TIteratorResultList Records = std::move(BestRecognition.Records);
  for (TIteratorResult& Record : Records) {
    const TRect Box = Pictures[Best].ToCapture({Record.Left, Record.Top, Record.Right, Record.Bottom});
    Record.Left = Box.Left;
    Record.Top = Box.Top;
    Record.Right = Box.Right;
    Record.Bottom = Box.Bottom;
    // Engines that estimate a font size do it from the box, which has changed.
    if (Record.FFontSize != 0)
      Record.FFontSize = FontSizeForHeight(double(Box.Bottom) - Box.Top);
  }
  return Records;
}
