#pragma once

#include "ocr/OCREngine.h"
#include "text/RESTApi.h"

#include <atomic>
#include <stdexcept>

class TConfigIni;

// A recognition by the remote OCR service failed. what() is the message for
// the user, in Korean (UTF-8): the client's own message for a transport
// failure, an unusable reply, too many or malformed boxes, or the refusal
// message of the server (status and its "error" text, as EServerError).
class ERemoteOCRError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The remote OCR service ("POST /ocr" at the configured server) as an engine:
// the words it returns are folded into text lines here, so it answers like
// the local engines. The service enhances the picture unless Enhance() is
// off.
//
// RecognizeLines returns the lines found (possibly none: the service found
// no text) or throws:
// - ERemoteOCRError when the exchange failed in any way; nothing of a
//   partial reply is returned;
// - EHttpCancelled when the request was cancelled, through
//   the flag of SetCancelFlag or KeepWaiting(); nothing is to be shown then;
// - EBitmapStreamError when the bitmap cannot be written (a local fault).
// It may run on a worker thread; the settings store is safe to read there.
class TRemoteOCREngine : public TOCREngine {
public:
  // Timeouts' Cancel is not used; see SetCancelFlag.
  explicit TRemoteOCREngine(TConfigIni& Settings, const THttpTimeouts& Timeouts = OCRTimeouts);

  TIteratorResultList RecognizeLines(const QImage& Bitmap) override;

  // A flag that, once true, makes the running and every later request end
  // with EHttpCancelled (see THttpTimeouts::Cancel); null for none. Set it
  // while no recognition runs; the flag must outlive its use.
  void SetCancelFlag(const std::atomic<bool>* Cancel) { FCancel = Cancel; }

private:
  TConfigIni& FSettings;
  THttpTimeouts FTimeouts;
  const std::atomic<bool>* FCancel = nullptr;
};
