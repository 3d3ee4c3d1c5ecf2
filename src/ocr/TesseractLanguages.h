#pragma once

#include "platform/OcrService.h"

#include <QString>

#include <optional>
#include <vector>

// A recognition language backed by one trained-data file.
struct TTesseractLanguage {
  TOcrLanguage Language;
  QString Code; // Tesseract's name of the data, for example "eng" or "chi_sim"
};

// The language of Tesseract's trained data Code ("eng" -> "en-US",
// "English (United States)", "English (United States)", "Latin"). A code
// that Qt does not know keeps the code as its names under a private-use tag
// ("x-frk"). None for data that is not a language ("osd", "equ").
std::optional<TOcrLanguage> LanguageOfTrainedData(const QString& Code);

// One language per *.traineddata file in DataPath, sorted by file name; a
// later file whose language tag repeats an earlier one is left out.
std::vector<TTesseractLanguage> InstalledTesseractLanguages(const QString& DataPath);

// Whether Language ("eng", or several joined by '+', as in "eng+kor") is
// made of plain names only: ASCII letters, digits, '_' and '-'. The library
// takes a name as part of a file path, so no other name may reach it ("../x"
// or "a/b" would open a file outside the data folder).
bool IsPlainTesseractLanguage(const QString& Language);

// Why Tesseract cannot load Language from DataPath, as a message for the
// user (Korean); none when it is plain and every name's trained data file
// is in DataPath. A name that is not plain is refused without touching the
// disk.
std::optional<QString> TesseractLanguageProblem(const QString& DataPath, const QString& Language);
