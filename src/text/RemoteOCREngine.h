#pragma once

#include "ocr/OCREngine.h"

class TConfigIni;

// The remote OCR service ("POST /ocr" at the configured server) as an engine:
// the words it returns are folded into text lines here, so it answers like
// the local engines. A request that fails finds nothing; its message is not
// shown. The service enhances the picture unless Enhance() is off.
class TRemoteOCREngine : public TOCREngine {
public:
  explicit TRemoteOCREngine(TConfigIni& Settings);

  TIteratorResultList RecognizeLines(const QImage& Bitmap) override;

private:
  TConfigIni& FSettings;
};
