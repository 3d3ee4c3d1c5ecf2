#include "app/UnitFormOCR.h"

// Translation of the recognised records and the hand-over to the overlay.

QString TFormOCR::Translate(const QString&, QString&) { return {}; }

bool TFormOCR::TranslateOCRList(const TIteratorResultList&) { return false; }
