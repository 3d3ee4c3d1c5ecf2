#include "imaging/WordReadings.h"
#include "imaging/EnhancedRecognition.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

TRecognizedWord Word(const char* Text, float Confidence, bool InDictionary, TRect Box) {
  const QString Spelled = QString::fromUtf8(Text);
  const int Letters = int(std::count_if(Spelled.begin(), Spelled.end(), [](QChar C) { return C.isLetterOrNumber(); }));
  return {Letters, Confidence, InDictionary, Spelled, Box};
}

constexpr TRect Spot{100, 10, 160, 24};

} // namespace

// One word of the chosen reading against what another picture read at (or
// near) the same spot.
TEST(WordReadings, AClearlyBetterReadingOfTheSameSpotReplacesTheWord) {
  struct TCase {
    const char* Why;
    TRecognizedWord Chosen;
    std::vector<TRecognizedWord> Other;
    QString Expected; // empty: the chosen word stays
  };
  const TCase Cases[] = {
      {"a word of the language for a misreading, however sure, framed taller by an outline",
       Word("Belore", 92, false, Spot),
       {Word("Before", 60, true, {101, 4, 161, 34})},
       "Before"},
      {"on the line below", Word("Belore", 92, false, Spot), {Word("Before", 90, true, {100, 22, 160, 36})}, ""},
      {"a word of the language far surer than another one",
       Word("Wail", 40, true, Spot),
       {Word("Wait", 90, true, Spot)},
       "Wait"},
      {"a word of the language only a little surer",
       Word("Begin", 49, true, Spot),
       {Word("Bevin", 60, true, Spot)},
       ""},
      {"not a word of the language either", Word("Uncer", 70, false, Spot), {Word("Undor", 90, false, Spot)}, ""},
      {"another word found at that spot", Word("windaw", 82, false, Spot), {Word("sind", 90, true, Spot)}, ""},
      {"a word elsewhere", Word("Belore", 92, false, Spot), {Word("Before", 90, true, {180, 10, 240, 24})}, ""},
      {"two words run together",
       Word("Newlevel", 80, false, Spot),
       {Word("New", 85, true, {100, 10, 124, 24}), Word("level", 88, true, {128, 10, 160, 24})},
       "New level"},
      {"run together, but one part not a word of the language",
       Word("Newlevel", 80, false, Spot),
       {Word("New", 85, true, {100, 10, 124, 24}), Word("levcl", 88, false, {128, 10, 160, 24})},
       ""},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Why);
    const std::vector<QString> Better = BetterWordReadings({Case.Chosen}, {&Case.Other});
    ASSERT_EQ(Better.size(), 1u);
    EXPECT_EQ(Better[0], Case.Expected);
  }
}

// Of several pictures offering a word of the language, the surest wins.
TEST(WordReadings, TheSurestOfSeveralReadingsIsTaken) {
  const std::vector<TRecognizedWord> A = {Word("Defeat", 70, true, Spot)}, B = {Word("Delete", 95, true, Spot)},
                                     C = {Word("Defeat", 80, true, Spot)};
  // "Delete" is three letters away from "Deteat"'s six: another word at the spot.
  EXPECT_EQ(BetterWordReadings({Word("Deteat", 90, false, Spot)}, {&A, &B, &C}), std::vector<QString>{"Defeat"});
}

// Replacements go into the record holding each word, at that word's own
// place: a word that occurs twice in a line is replaced where it stands.
TEST(WordReadings, ReplacementsGoIntoTheRecordsAtTheWordsOwnPlace) {
  TIteratorResultList Records(2);
  Records[0] = {0, 0, 300, 20, "the harbour at the Belore", 1, 0, 14};
  Records[1] = {0, 30, 300, 50, "Newlevel the", 1, 0, 14};
  const std::vector<TRecognizedWord> Words = {
      Word("the", 90, true, {0, 2, 30, 18}),        Word("harbour", 90, true, {40, 2, 110, 18}),
      Word("at", 90, true, {120, 2, 140, 18}),      Word("the", 40, false, {150, 2, 180, 18}),
      Word("Belore", 80, false, {190, 2, 250, 18}), Word("Newlevel", 70, false, {0, 32, 80, 48}),
      Word("gone", 90, true, {90, 32, 120, 48}),    Word("the", 90, true, {130, 32, 160, 48})};
  const std::vector<QString> Replacements = {"", "", "", "thee", "Before", "New level", "went", "then"};
  PutInWordReadings(Records, Words, Replacements);
  EXPECT_EQ(Records[0].Text, "the harbour at thee Before");
  // "gone" is not in the record's text: it is left alone, and the search
  // for the words after it goes on where it was.
  EXPECT_EQ(Records[1].Text, "New level then");
}

// A picture read confidently is not the end while one of its words is not a
// word of the language: the next pictures are read until another gives a
// word of the language at that spot.
TEST(WordReadings, ADoubtfulWordKeepsTheChoiceReading) {
  const std::vector<std::vector<TRecognizedWord>> Readings = {
      {Word("Island", 95, true, {0, 0, 60, 20}), Word("Belore", 94, false, Spot)},
      {Word("Island", 80, true, {0, 0, 60, 20})},
      {Word("lsland", 60, false, {0, 0, 60, 20}), Word("Bclore", 50, false, Spot)},
      {Word("Before", 70, true, Spot)},
      {Word("Before", 99, true, Spot)}};
  size_t Reads = 0;
  const std::optional<TChosenPicture> Chosen = ChooseRecognizedPicture(Readings.size(), [&](size_t Index) {
    ++Reads;
    return std::optional(Readings[Index]);
  });
  ASSERT_TRUE(Chosen);
  EXPECT_EQ(Chosen->Index, 0u);
  EXPECT_EQ(Reads, 4u);
  EXPECT_EQ(Chosen->Replacements, (std::vector<QString>{"", "Before"}));
}

// A word outside the language that two pictures spell alike (a name) is
// taken as it is: the choice ends as it would without it.
TEST(WordReadings, ANameReadAlikeOnTwoPicturesEndsTheChoice) {
  const std::vector<std::vector<TRecognizedWord>> Readings = {
      {Word("Korvex", 95, false, Spot)}, {Word("Korvex", 70, false, Spot)}, {Word("Korven", 99, true, Spot)}};
  size_t Reads = 0;
  const std::optional<TChosenPicture> Chosen = ChooseRecognizedPicture(Readings.size(), [&](size_t Index) {
    ++Reads;
    return std::optional(Readings[Index]);
  });
  ASSERT_TRUE(Chosen);
  EXPECT_EQ(Reads, 2u);
  EXPECT_EQ(Chosen->Replacements, std::vector<QString>{""});
}

// A line reads as text when one word is a word of the language of three
// letters or more, or a word of two letters or more read fairly surely;
// the stray marks of a busy background are neither, and their lines go.
TEST(WordReadings, LinesOfStrayMarksAreDropped) {
  TIteratorResultList Records(5);
  Records[0] = {0, 0, 300, 20, "Gold screen", 1, 0, 14};
  Records[1] = {0, 30, 300, 50, "ll tel", 1, 0, 14};
  Records[2] = {0, 60, 300, 80, "HP 45", 1, 0, 14};
  Records[3] = {0, 90, 300, 110, ". , -", 1, 0, 14};
  Records[4] = {0, 120, 300, 140, "4 ory", 1, 0, 14}; // a short word of the language, but hardly believed
  const std::vector<TRecognizedWord> Words = {
      Word("Gold", 40, true, {0, 2, 40, 18}),  Word("screen", 35, true, {50, 2, 110, 18}),
      Word("ll", 49, true, {0, 32, 20, 48}),   Word("tel", 42, false, {30, 32, 60, 48}),
      Word("HP", 85, false, {0, 62, 30, 78}),  Word("45", 90, false, {40, 62, 60, 78}),
      Word("4", 88, false, {0, 122, 10, 138}), Word("ory", 32, true, {20, 122, 50, 138})};
  DropStrayLines(Records, Words);
  ASSERT_EQ(Records.size(), 2u);
  EXPECT_EQ(Records[0].Text, "Gold screen");
  EXPECT_EQ(Records[1].Text, "HP 45");
}

// Short marks the recogniser hardly believes are the background's, whatever
// line they fall in: they go from the text, the line's box shrinks to the
// words it keeps, and a line of nothing else goes. Short words read surely,
// and marks another picture read as a word, stay.
TEST(WordReadings, StrayMarksAreTakenOutOfTheirLines) {
  TIteratorResultList Records(3);
  Records[0] = {0, 0, 300, 20, "~ Captain ae follow to 4", 1, 0, 14};
  Records[1] = {0, 30, 300, 50, "ee ~", 1, 0, 14};
  Records[2] = {0, 60, 300, 80, "Gold lo", 1, 0, 14};
  const std::vector<TRecognizedWord> Words = {
      Word("~", 10, false, {0, 2, 8, 18}),     Word("Captain", 45, true, {12, 2, 80, 18}),
      Word("ae", 25, true, {90, 6, 104, 14}),  Word("follow", 88, true, {110, 2, 170, 18}),
      Word("to", 90, true, {180, 4, 196, 18}), Word("4", 30, false, {260, 0, 270, 20}),
      Word("ee", 31, true, {10, 32, 30, 48}),  Word("~", 12, false, {40, 32, 50, 48}),
      Word("Gold", 95, true, {0, 62, 40, 78}), Word("lo", 20, false, {50, 62, 70, 78})};
  const std::vector<QString> Replacements = {"", "", "", "", "", "", "", "", "", "Lo"};
  PutInWordReadings(Records, Words, Replacements);
  ASSERT_EQ(Records.size(), 2u);
  EXPECT_EQ(Records[0].Text, "Captain follow to");
  EXPECT_EQ((TRect{Records[0].Left, Records[0].Top, Records[0].Right, Records[0].Bottom}), (TRect{12, 2, 196, 18}));
  EXPECT_EQ(Records[1].Text, "Gold Lo");
  EXPECT_EQ(Records[1].Right, 300); // nothing taken out: the box stays
}
