#include "imaging/WordReadings.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

// Pictures frame a word differently in height (an outline, a shadow, the
// ascenders a misreading lost), much less along the line: two words lie on
// the same spot when they share this much of the span their widths cover
// together, and words of one line share half the smaller height.
constexpr double SameSpot = 0.6;
constexpr double SameLine = 0.5;
// Words that another reading splits lie this much within the word's width,
// and together cover this much of it.
constexpr double WithinWord = 0.8;
constexpr double SplitCover = 0.7;
// Readings of one word differ in a letter or two: more changes than this
// share of the longer spelling is another word found at that spot.
constexpr double MaxSpellingChange = 0.34;
// A line reads as text when it holds a word of the language this long, or
// a word of two letters or more the recogniser is this sure of. A word no
// longer than that which it is less sure of is a stray mark.
constexpr int TextWordLetters = 3;
constexpr float SureWord = 60.f;
// A word of the language replaces another one only when the recogniser is
// this much surer of it (confidence, 0 .. 100).
constexpr float MuchSurer = 20.f;

int32_t Shared(int32_t Begin1, int32_t End1, int32_t Begin2, int32_t End2) {
  return std::max(0, std::min(End1, End2) - std::max(Begin1, Begin2));
}

bool OnOneLine(const TRect& A, const TRect& B) {
  return !A.IsEmpty() && !B.IsEmpty() &&
         Shared(A.Top, A.Bottom, B.Top, B.Bottom) >= SameLine * std::min(A.Height(), B.Height());
}

// The share of their joint width that A and B both cover.
double WidthShared(const TRect& A, const TRect& B) {
  const int32_t Joint = std::max(A.Right, B.Right) - std::min(A.Left, B.Left);
  return Joint > 0 ? double(Shared(A.Left, A.Right, B.Left, B.Right)) / Joint : 0.0;
}

// The letters and digits of Text, lower case: what two readings of a word
// are compared on.
QString Spelling(const QString& Text) {
  QString Letters;
  for (QChar C : Text)
    if (C.isLetterOrNumber())
      Letters += C.toLower();
  return Letters;
}

int EditDistance(const QString& A, const QString& B) {
  std::vector<int> Row(size_t(B.size()) + 1);
  for (size_t J = 0; J < Row.size(); ++J)
    Row[J] = int(J);
  for (qsizetype I = 1; I <= A.size(); ++I) {
    int Diagonal = Row[0];
    Row[0] = int(I);
    for (qsizetype J = 1; J <= B.size(); ++J) {
      const int Above = Row[size_t(J)];
      Row[size_t(J)] = std::min({Above + 1, Row[size_t(J) - 1] + 1, Diagonal + (A[I - 1] == B[J - 1] ? 0 : 1)});
      Diagonal = Above;
    }
  }
  return Row.back();
}

bool CloseInSpelling(const QString& A, const QString& B) {
  const QString X = Spelling(A), Y = Spelling(B);
  return EditDistance(X, Y) <= MaxSpellingChange * double(std::max(X.size(), Y.size()));
}

// What Other reads at Word's spot: the words it splits Word into, or else
// the one word on the same spot; nothing when neither is there.
std::optional<TRecognizedWord> ReadingAt(const TRecognizedWord& Word, const std::vector<TRecognizedWord>& Other) {
  TRecognizedWord Split{0, 100.f, true, {}, Word.Box};
  QStringList Texts;
  int Covered = 0;
  for (const TRecognizedWord& Part : Other)
    if (OnOneLine(Part.Box, Word.Box) &&
        Shared(Part.Box.Left, Part.Box.Right, Word.Box.Left, Word.Box.Right) >= WithinWord * Part.Box.Width()) {
      Texts << Part.Text;
      Split.Letters += Part.Letters;
      Split.Confidence = std::min(Split.Confidence, Part.Confidence);
      Split.InDictionary = Split.InDictionary && Part.InDictionary;
      Covered += Part.Box.Width();
    }
  if (Texts.size() >= 2 && Covered >= SplitCover * Word.Box.Width()) {
    Split.Text = Texts.join(QLatin1Char(' '));
    return Split;
  }

  const TRecognizedWord* Same = nullptr;
  double BestOverlap = SameSpot;
  for (const TRecognizedWord& Candidate : Other) {
    const double Share = OnOneLine(Candidate.Box, Word.Box) ? WidthShared(Candidate.Box, Word.Box) : 0.0;
    if (Share >= BestOverlap) {
      BestOverlap = Share;
      Same = &Candidate;
    }
  }
  return Same ? std::optional(*Same) : std::nullopt;
}

bool HasItsMiddleIn(const TRecognizedWord& Word, const TIteratorResult& Record) {
  const int32_t MiddleX = Word.Box.Left + Word.Box.Width() / 2, MiddleY = Word.Box.Top + Word.Box.Height() / 2;
  return MiddleX >= Record.Left && MiddleX < Record.Right && MiddleY >= Record.Top && MiddleY < Record.Bottom;
}

} // namespace

bool IsDoubtfulWord(const TRecognizedWord& Word, const std::vector<const std::vector<TRecognizedWord>*>& Others) {
  if (Word.InDictionary || std::count_if(Word.Text.begin(), Word.Text.end(), [](QChar C) { return C.isLetter(); }) < 2)
    return false;
  return std::none_of(Others.begin(), Others.end(), [&](const std::vector<TRecognizedWord>* Other) {
    const std::optional<TRecognizedWord> Reading = ReadingAt(Word, *Other);
    return Reading && Spelling(Reading->Text) == Spelling(Word.Text);
  });
}

std::vector<QString> BetterWordReadings(const std::vector<TRecognizedWord>& Chosen,
                                        const std::vector<const std::vector<TRecognizedWord>*>& Others) {
  std::vector<QString> Replacements(Chosen.size());
  for (size_t I = 0; I < Chosen.size(); ++I) {
    const TRecognizedWord& Word = Chosen[I];
    std::optional<TRecognizedWord> Best;
    for (const std::vector<TRecognizedWord>* Other : Others) {
      std::optional<TRecognizedWord> Reading = ReadingAt(Word, *Other);
      if (Reading && Reading->InDictionary && Reading->Text != Word.Text && CloseInSpelling(Reading->Text, Word.Text) &&
          (!Best || Reading->Confidence > Best->Confidence))
        Best = std::move(Reading);
    }
    if (Best && (!Word.InDictionary || Best->Confidence >= Word.Confidence + MuchSurer))
      Replacements[I] = Best->Text;
  }
  return Replacements;
}

bool ReadsAsText(const std::vector<TRecognizedWord>& LineWords) {
  return std::any_of(LineWords.begin(), LineWords.end(), [](const TRecognizedWord& Word) {
    return !IsStrayMark(Word) && ((Word.InDictionary && Word.Letters >= TextWordLetters) ||
                                  (Word.Letters >= 2 && Word.Confidence >= SureWord));
  });
}

void DropStrayLines(TIteratorResultList& Records, const std::vector<TRecognizedWord>& Words) {
  std::erase_if(Records, [&](const TIteratorResult& Record) {
    std::vector<TRecognizedWord> LineWords;
    for (const TRecognizedWord& Word : Words)
      if (HasItsMiddleIn(Word, Record))
        LineWords.push_back(Word);
    return !ReadsAsText(LineWords);
  });
}

bool IsStrayMark(const TRecognizedWord& Word) { return Word.Letters <= TextWordLetters && Word.Confidence < SureWord; }

void PutInWordReadings(TIteratorResultList& Records, const std::vector<TRecognizedWord>& Words,
                       const std::vector<QString>& Replacements) {
  std::vector<qsizetype> Searched(Records.size(), 0); // where each record's next word is looked for
  std::vector<bool> LostWords(Records.size(), false);
  std::vector<std::optional<TRect>> Kept(Records.size()); // around the words each record keeps
  for (size_t I = 0; I < Words.size() && I < Replacements.size(); ++I) {
    const TRecognizedWord& Word = Words[I];
    for (size_t R = 0; R < Records.size(); ++R) {
      TIteratorResult& Record = Records[R];
      if (!HasItsMiddleIn(Word, Record))
        continue;
      const qsizetype At = Record.Text.indexOf(Word.Text, Searched[R]);
      if (At < 0)
        continue; // records may overlap: the next one holding the middle may have it
      if (Replacements[I].isEmpty() && IsStrayMark(Word)) {
        // Out with the space before it, or else the one after it.
        qsizetype From = At, To = At + Word.Text.size();
        if (From > 0 && Record.Text[From - 1] == QLatin1Char(' '))
          --From;
        else if (To < Record.Text.size() && Record.Text[To] == QLatin1Char(' '))
          ++To;
        Record.Text.remove(From, To - From);
        Searched[R] = From;
        LostWords[R] = true;
      } else {
        const QString& Replacement = Replacements[I].isEmpty() ? Word.Text : Replacements[I];
        Record.Text.replace(At, Word.Text.size(), Replacement);
        Searched[R] = At + Replacement.size();
        Kept[R] = Kept[R] ? United(*Kept[R], Word.Box) : Word.Box;
      }
      break;
    }
  }
  for (size_t R = 0; R < Records.size(); ++R) {
    TIteratorResult& Record = Records[R];
    if (!LostWords[R] || !Kept[R])
      continue;
    // Within the record's own box: a word's box may reach past its line's.
    Record.Left = std::max(Record.Left, Kept[R]->Left);
    Record.Top = std::max(Record.Top, Kept[R]->Top);
    Record.Right = std::min(Record.Right, Kept[R]->Right);
    Record.Bottom = std::min(Record.Bottom, Kept[R]->Bottom);
  }
  for (size_t R = Records.size(); R-- > 0;)
    if (LostWords[R] && Records[R].Text.trimmed().isEmpty())
      Records.erase(Records.begin() + std::ptrdiff_t(R));
}
