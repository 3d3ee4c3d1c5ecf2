#include "app/UnitFormOCR.h"

// Recognition: the engine checked in the OCR menu turns FScreenBitmap into
// records, grouped into lines or segments.

std::optional<TIteratorResultList> TFormOCR::Recognize() { return std::nullopt; }
