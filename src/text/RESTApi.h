#pragma once

#include "core/GlobalTypes.h"

#include <QImage>
#include <QString>

#include <stdexcept>

// Time-outs of one HTTP exchange, in milliseconds. Send and Response limit
// how long the exchange may stall (no byte moving) while the request is being
// sent and while the reply is awaited or read. TotalMs bounds the whole
// exchange from its start, so a server that keeps a trickle of bytes moving
// cannot hold the caller for ever.
struct THttpTimeouts {
  int ConnectMs = 60000;
  int SendMs = 60000;
  int ResponseMs = 60000;
  int TotalMs = 120000;
};

inline constexpr THttpTimeouts TranslateTimeouts{60000, 60000, 60000, 120000};
inline constexpr THttpTimeouts OCRTimeouts{10000, 60000, 60000, 120000};

// Replies are read into memory; a longer one is cut off and counts as a
// transport failure, so a rogue server cannot make us allocate without bound.
inline constexpr qsizetype MaxReplyBytes = qsizetype{64} * 1024 * 1024;

// The bitmap could not be written in its BMP file form.
class EBitmapStreamError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The server answered with a status other than 200. The message names the
// service, the status and the server's own "error" text, for the user.
class EServerError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Translates Text through POST Server + "/translate". Returns the translation,
// or the empty string. ErrorMessage is set only when the exchange fails
// (transport failure, or a 200 reply without a usable "translated_text");
// otherwise it is left as passed. Blank text sends nothing. A reply with a
// status other than 200 throws EServerError: the server refused, and the user
// must learn why (an empty translation would look like success).
QString TranslateLocal(const QString& Server, const QString& Text, const QString& sl, const QString& tl,
                       const QString& hn, QString& ErrorMessage, const THttpTimeouts& Timeouts = TranslateTimeouts);

// Recognises Bitmap through POST Server + "/ocr" (the bitmap's BMP file form
// as the body). Returns the items in the order the service gave them,
// possibly none. ErrorMessage is set only when the exchange fails or an item
// is malformed; the items before a malformed one are kept. A null or empty
// bitmap sends nothing. A reply with a status other than 200 throws
// EServerError. Throws EBitmapStreamError when the bitmap cannot be
// written. Without Enhance the request asks the service to read the picture
// as it is (header "enhance: False").
TOCRItemList EasyOCR(const QString& Server, const QImage& Bitmap, QString& ErrorMessage, const QString& Paragraph,
                     const THttpTimeouts& Timeouts = OCRTimeouts, bool Enhance = true);
