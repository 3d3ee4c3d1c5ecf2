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
