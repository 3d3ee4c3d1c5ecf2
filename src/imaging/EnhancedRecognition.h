#pragma once

#include "core/GlobalTypes.h"
#include "imaging/TextEnhancer.h"

#include <QImage>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

// A word the recogniser found, as far as choosing between pictures needs it.
struct TRecognizedWord {
  int Letters = 0;           // letters and digits in the word
  float Confidence = 0.f;    // 0 .. 100
  bool InDictionary = false; // a word of the recogniser's language, as far as it knows one
  QString Text;              // as the recogniser gave it
  TRect Box;                 // in the recognised picture's pixels
};

// What a recogniser made of one picture.
struct TRecognition {
  TIteratorResultList Records;        // boxes in the recognised picture's pixels
  std::vector<TRecognizedWord> Words; // every word, however unsure
};

// Recognition of one picture by some engine (Tesseract, the OS engine, ...).
using TRecognizer = std::function<TRecognition(const QImage&)>;

// How much readable text a recognition holds: letters weighted by the
// recogniser's confidence, words it barely believes counting against it.
double RecognitionScore(const TRecognition& Recognition);

// Recognition of picture Index of a list, for choosing between them: the
// words of that picture with their boxes in the capture's pixels (the caller
// keeps the rest of what it found under Index), or none when the
// recognition was given up (cancelled or failed).
using TPictureRecognizer = std::function<std::optional<std::vector<TRecognizedWord>>(size_t Index)>;

// The picture chosen among several, and the better readings the others gave
// of its words.
struct TChosenPicture {
  size_t Index = 0;
  std::vector<TRecognizedWord> Words; // the chosen picture's, boxes in the capture's pixels
  std::vector<QString> Replacements;  // one per word: the text to put in its place, empty where it stays
};

// Recognises pictures 0 .. Count-1 in their order and chooses the one whose
// words the recogniser is surest of, taking a better reading of any of its
// words from the others (see BetterWordReadings). Past the first two (the
// best guess and the capture itself) the rest are skipped once a picture
// reads confidently and every word of it is a word of the language. None
// when Count is 0 or Recognize gave up, which stops the choice at once.
std::optional<TChosenPicture> ChooseRecognizedPicture(size_t Count, const TPictureRecognizer& Recognize);

// EnhanceForRecognition(Capture), worked out on a thread of its own while
// ReadCapture runs on the calling one. Every capture is read as it is, alone
// when it is plain and second otherwise, so reading it alongside the
// analysis takes the analysis off the user's wait wherever a second core is
// free; the result is the same as reading the pictures one after another.
// An exception from either side comes out here, once both have ended.
std::vector<TEnhancedPicture> EnhanceWhile(const QImage& Capture, const std::function<void()>& ReadCapture);

// Recognises the pictures of EnhanceForRecognition(Capture) and keeps the
// records of the one ChooseRecognizedPicture chooses, with the better
// readings of its words put in. The records come back with boxes in
// Capture's pixels and font sizes from those boxes. A plain capture is recognised
// once, untouched, so its records are exactly those of Recognize(Capture).
TIteratorResultList RecognizeEnhanced(const QImage& Capture, const TRecognizer& Recognize);
