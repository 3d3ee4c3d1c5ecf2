#include "app/UnitFormOCR.h"

// Selection and capture commands of the controller.

bool TFormOCR::SelectArea() { return false; }

bool TFormOCR::SelectAreaAndTranslate() {
  if (!SelectArea())
    return false;
  CaptureAndTranslate(false);
  return true;
}

void TFormOCR::SelectFullScreen() {}

void TFormOCR::CaptureAndTranslate(bool ScreenDiff) {
  if (FSelectedRect.IsEmpty())
    return;
  if (!CaptureScreenArea(ScreenDiff))
    return;
  if (auto List = Recognize(); List && !List->empty())
    TranslateOCRList(*List);
}

bool TFormOCR::CaptureScreenArea(bool) { return false; }
