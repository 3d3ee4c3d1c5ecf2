#pragma once

#include "core/GlobalTypes.h"
#include "imaging/EnhancedRecognition.h"

#include <QString>

#include <vector>

// The same text read from several pictures of one capture goes wrong in
// different words: one picture gives "Belore", another "Before" at the same
// spot. These pick, word by word, the better reading among the pictures and
// put it into the chosen picture's records.

// For every word of Chosen, the text another reading gives at the same spot
// when that one is plainly better: a word of the language where Chosen's is
// not, or one far surer where both are. Empty where Chosen's word stays. The
// other reading must be close in spelling (a letter or two) and may be two
// words where Chosen ran them together ("Newlevel" for "New level"). All
// boxes are in one coordinate system.
std::vector<QString> BetterWordReadings(const std::vector<TRecognizedWord>& Chosen,
                                        const std::vector<const std::vector<TRecognizedWord>*>& Others);

// Whether a word still needs another picture's reading: letters the
// recogniser does not know as a word of its language, which no other
// reading spells the same at the same spot (a name read alike twice is
// taken as it is).
bool IsDoubtfulWord(const TRecognizedWord& Word, const std::vector<const std::vector<TRecognizedWord>*>& Others);

// Whether the words of one line read as text at all: one of them a word of
// the language of three letters or more, or a word of two letters or more
// the recogniser is fairly sure of, and no stray mark (see IsStrayMark). A
// busy background gives lines of stray marks that are neither ("ll tel",
// "> we T cad a").
bool ReadsAsText(const std::vector<TRecognizedWord>& LineWords);

// Records in which no word reads as text (see ReadsAsText) taken out. A
// record's words are those of Words whose box has its middle in the
// record's; boxes in one coordinate system.
void DropStrayLines(TIteratorResultList& Records, const std::vector<TRecognizedWord>& Words);

// Whether a word is a stray mark of a busy background rather than text:
// three letters or digits at most ("ae", "4", "ory"), which the recogniser is
// not fairly sure of. Real short words ("to", "OK", "HP") it reads surely.
bool IsStrayMark(const TRecognizedWord& Word);

// Puts Replacements (one per word of Words, empty where it stays) into the
// texts of Records, and takes out the words that are stray marks (see
// IsStrayMark) unless another reading replaces them. Words and records come
// from one recognition, boxes in one coordinate system: each word is looked
// for in the record holding the middle of its box, after the words found
// there before it. A word not found is left alone. A record that lost words
// shrinks to the words it keeps, and one left without text goes.
void PutInWordReadings(TIteratorResultList& Records, const std::vector<TRecognizedWord>& Words,
                       const std::vector<QString>& Replacements);
