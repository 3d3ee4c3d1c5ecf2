#pragma once

#include "core/GlobalTypes.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <stdexcept>

// Time-outs of one HTTP exchange, in milliseconds. Send and Response limit
// how long the exchange may stall (no byte moving) while the request is being
// sent and while the reply is awaited or read. TotalMs bounds the whole
// exchange from its start, so a server that keeps a trickle of bytes moving
// cannot hold the caller for ever.
//
// Cancel, when set, is polled from the thread that runs the exchange (every
// few tens of milliseconds and from libcurl's progress callback); once it
// reads true the exchange is dropped and the call throws EHttpCancelled,
// within about 50 ms. Any thread may set it. The flag must outlive the call.
struct THttpTimeouts {
  int ConnectMs = 60000;
  int SendMs = 60000;
  int ResponseMs = 60000;
  int TotalMs = 120000;
  const std::atomic<bool>* Cancel = nullptr;
};

inline constexpr THttpTimeouts TranslateTimeouts{60000, 60000, 60000, 120000};
inline constexpr THttpTimeouts OCRTimeouts{10000, 60000, 60000, 120000};

// Replies are read into memory; a longer one is cut off as soon as it is
// known to be longer (from its Content-Length, or once that many bytes came)
// and is a failure whose message names the limit, so a rogue server cannot
// make us allocate without bound. Real replies are far shorter (an /ocr
// reply of the most boxes taken is about a megabyte); reading a reply of
// this size already costs about a second of processor time.
inline constexpr qsizetype MaxReplyBytes = qsizetype{8} * 1024 * 1024;

// The messages of failed exchanges, for the user. The first two of each
// client cover a reply that never came whole (no connection, time-out,
// broken transfer, a bad status line) and a reply that came but is not the
// JSON the exchange expects (empty, not JSON, wrong types, nested too deep).
inline constexpr char16_t TranslateTransportMessage[] = u"서버로부터 번역 결과를 받아오는 데 실패했습니다.";
inline constexpr char16_t TranslateReplyMessage[] = u"번역 요청 중 에러가 발생했습니다.";
inline constexpr char16_t OCRTransportMessage[] = u"서버로부터 결과를 받아오는 데 실패했습니다.";
inline constexpr char16_t OCRReplyMessage[] = u"OCR 요청 중 에러가 발생했습니다.";
// Client's transport message followed by this one, with the limit in MiB.
QString ReplyTooLongMessage(const QString& TransportMessage);
// An /ocr reply with more than MaxOCRItems boxes (text/Replies.h).
QString TooManyOCRItemsMessage();

// The exchange was given up because the caller asked (THttpTimeouts::Cancel)
// or because KeepWaiting() said so (the program is ending, or the work of
// this thread was cancelled). Not a failure: nothing is to be shown. It is a
// std::exception, so handlers that show every std::exception must catch it
// first.
class EHttpCancelled : public std::exception {
public:
  const char* what() const noexcept override { return "HTTP exchange cancelled"; }
};

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
// or the empty string. Blank text sends nothing and leaves ErrorMessage as
// passed. Otherwise every outcome but a translation sets ErrorMessage, which
// is left as passed only on success (a 200 reply with a string
// "translated_text", possibly empty):
// - TranslateTransportMessage: no connection, stalled or cut off, a reply
//   that is not HTTP (bad status line, broken chunks, closed without reply);
// - ReplyTooLongMessage(TranslateTransportMessage): more than MaxReplyBytes;
// - TranslateReplyMessage: a 200 reply that is empty, not JSON, nested too
//   deep, or whose "translated_text" is missing or not a string.
// A reply with a status other than 200 throws EServerError: the server
// refused, and the user must learn why. A cancelled exchange throws
// EHttpCancelled. Safe on any thread; calls share nothing.
QString TranslateLocal(const QString& Server, const QString& Text, const QString& sl, const QString& tl,
                       const QString& hn, QString& ErrorMessage, const THttpTimeouts& Timeouts = TranslateTimeouts);

// Recognises Bitmap through POST Server + "/ocr" (the bitmap's BMP file form
// as the body). Returns the items in the order the service gave them,
// possibly none. ErrorMessage is left as passed only on success (a 200
// reply holding a JSON array, possibly empty); otherwise it is set:
// - OCRTransportMessage, ReplyTooLongMessage(OCRTransportMessage): as for
//   TranslateLocal;
// - OCRReplyMessage: a 200 reply that is empty, not JSON, not an array,
//   nested too deep, or an item with a missing or unusable member (the items
//   before it are returned);
// - TooManyOCRItemsMessage(): more than MaxOCRItems boxes (none returned).
// A null or empty bitmap sends nothing. A reply with a status other than
// 200 throws EServerError, a cancelled exchange EHttpCancelled. Throws
// EBitmapStreamError when the bitmap cannot be written. Without Enhance the
// request asks the service to read the picture as it is (header "enhance:
// False"). Safe on any thread; calls share nothing.
TOCRItemList EasyOCR(const QString& Server, const QImage& Bitmap, QString& ErrorMessage, const QString& Paragraph,
                     const THttpTimeouts& Timeouts = OCRTimeouts, bool Enhance = true);
