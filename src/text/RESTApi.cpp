#include "text/RESTApi.h"

#include "core/LongWait.h"
#include "text/Replies.h"

#include <QBuffer>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

// The longest single wait for the server between two KeepWaiting calls.
constexpr int LongWaitSliceMs = 50;

// No reply came: the connection failed, timed out, broke off or the reply was
// too long. Everything that goes wrong after a complete reply is something
// else.
class ETransportError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The reply was longer than MaxReplyBytes.
class EReplyTooLong : public ETransportError {
public:
  EReplyTooLong() : ETransportError("HTTP reply longer than the limit") {}
};

struct TCurlEasyDeleter {
  void operator()(CURL* Handle) const { curl_easy_cleanup(Handle); }
};
struct TCurlMultiDeleter {
  void operator()(CURLM* Handle) const { curl_multi_cleanup(Handle); }
};
struct TCurlListDeleter {
  void operator()(curl_slist* List) const { curl_slist_free_all(List); }
};
using TCurlEasy = std::unique_ptr<CURL, TCurlEasyDeleter>;
using TCurlMulti = std::unique_ptr<CURLM, TCurlMultiDeleter>;
using TCurlList = std::unique_ptr<curl_slist, TCurlListDeleter>;

// Keeps an easy handle in a multi handle for the guard's lifetime; libcurl
// wants it removed before either handle is cleaned up.
class TMultiMembership {
public:
  TMultiMembership(CURLM* Multi, CURL* Easy) : FMulti(Multi), FEasy(Easy) {
    if (curl_multi_add_handle(Multi, Easy) != CURLM_OK)
      throw ETransportError("curl_multi_add_handle failed");
  }
  ~TMultiMembership() { curl_multi_remove_handle(FMulti, FEasy); }
  TMultiMembership(const TMultiMembership&) = delete;
  TMultiMembership& operator=(const TMultiMembership&) = delete;

private:
  CURLM* FMulti;
  CURL* FEasy;
};

struct THttpReply {
  long Status = 0;
  QByteArray Body;
};

// What the callbacks of one transfer record, so the wait loop can apply the
// send and response time-outs as stall limits.
struct TTransfer {
  const std::atomic<bool>* Cancel = nullptr;
  QByteArray Body;
  bool TooLong = false;
  bool Connected = false;
  bool Sent = false;
  curl_off_t RequestSize = 0;
  curl_off_t Uploaded = -1;
  curl_off_t Downloaded = -1;
  TClock::time_point LastActivity = TClock::now();
};

size_t OnBody(char* Data, size_t Size, size_t Count, void* User) {
  auto* Transfer = static_cast<TTransfer*>(User);
  const size_t Bytes = Size * Count;
  if (static_cast<qsizetype>(Bytes) > MaxReplyBytes - Transfer->Body.size()) {
    Transfer->TooLong = true;
    return 0; // makes libcurl end the transfer with a write error
  }
  Transfer->Body.append(Data, static_cast<qsizetype>(Bytes));
  Transfer->LastActivity = TClock::now();
  return Bytes;
}

size_t OnHeader(char*, size_t Size, size_t Count, void* User) {
  auto* Transfer = static_cast<TTransfer*>(User);
  Transfer->Sent = true;
  Transfer->LastActivity = TClock::now();
  return Size * Count;
}

int OnConnected(void* User, char*, char*, int, int) {
  auto* Transfer = static_cast<TTransfer*>(User);
  Transfer->Connected = true;
  Transfer->LastActivity = TClock::now();
  return CURL_PREREQFUNC_OK;
}

int OnProgress(void* User, curl_off_t, curl_off_t DownloadNow, curl_off_t, curl_off_t UploadNow) {
  auto* Transfer = static_cast<TTransfer*>(User);
  if (UploadNow != Transfer->Uploaded || DownloadNow != Transfer->Downloaded) {
    Transfer->Uploaded = UploadNow;
    Transfer->Downloaded = DownloadNow;
    Transfer->LastActivity = TClock::now();
  }
  if (UploadNow >= Transfer->RequestSize)
    Transfer->Sent = true;
  // Non-zero ends the transfer; the wait loop then sees the flag and reports
  // the cancellation.
  return Transfer->Cancel && Transfer->Cancel->load() ? 1 : 0;
}

void EnsureCurlInitialised() {
  static const bool Initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!Initialised)
    throw ETransportError("curl_global_init failed");
}

template <typename T> void SetOption(CURL* Easy, CURLoption Option, T Value) {
  if (curl_easy_setopt(Easy, Option, Value) != CURLE_OK)
    throw ETransportError("curl_easy_setopt failed");
}

// The one HTTP exchange of both clients: POST Body to Url with Headers and
// read the whole reply. Throws ETransportError when no complete reply came.
THttpReply HttpPost(const QString& Url, const QByteArray& Body, const std::vector<QByteArray>& Headers,
                    const THttpTimeouts& Timeouts) {
  EnsureCurlInitialised();
  TCurlEasy Easy(curl_easy_init());
  TCurlMulti Multi(curl_multi_init());
  if (!Easy || !Multi)
    throw ETransportError("curl handle could not be created");

  TCurlList HeaderList;
  auto AppendHeader = [&HeaderList](const char* Line) {
    curl_slist* Extended = curl_slist_append(HeaderList.get(), Line);
    if (!Extended)
      throw ETransportError("curl_slist_append failed");
    (void)HeaderList.release();
    HeaderList.reset(Extended);
  };
  for (const QByteArray& Header : Headers)
    AppendHeader(Header.constData());
  // The servers we talk to do not expect "100 Continue" round trips.
  AppendHeader("Expect:");

  TTransfer Transfer;
  Transfer.Cancel = Timeouts.Cancel;
  Transfer.RequestSize = Body.size();
  const auto Cancelled = [&Timeouts] { return Timeouts.Cancel && Timeouts.Cancel->load(); };
  const QByteArray UrlBytes = Url.toUtf8();
  CURL* E = Easy.get();
  SetOption(E, CURLOPT_URL, UrlBytes.constData());
  SetOption(E, CURLOPT_PROTOCOLS_STR, "http,https");
  SetOption(E, CURLOPT_NOSIGNAL, 1L);
  SetOption(E, CURLOPT_POST, 1L);
  SetOption(E, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(Body.size()));
  SetOption(E, CURLOPT_POSTFIELDS, Body.constData());
  SetOption(E, CURLOPT_HTTPHEADER, HeaderList.get());
  SetOption(E, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(Timeouts.ConnectMs));
  // A reply that announces a longer body fails before any of it is read.
  SetOption(E, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(MaxReplyBytes));
  SetOption(E, CURLOPT_WRITEFUNCTION, OnBody);
  SetOption(E, CURLOPT_WRITEDATA, &Transfer);
  SetOption(E, CURLOPT_HEADERFUNCTION, OnHeader);
  SetOption(E, CURLOPT_HEADERDATA, &Transfer);
  SetOption(E, CURLOPT_PREREQFUNCTION, OnConnected);
  SetOption(E, CURLOPT_PREREQDATA, &Transfer);
  SetOption(E, CURLOPT_NOPROGRESS, 0L);
  SetOption(E, CURLOPT_XFERINFOFUNCTION, OnProgress);
  SetOption(E, CURLOPT_XFERINFODATA, &Transfer);

  // Every moving byte resets the stall limits, so only a deadline fixed at
  // the start bounds an exchange that a server keeps barely alive.
  const TClock::time_point Deadline = TClock::now() + std::chrono::milliseconds(std::max(Timeouts.TotalMs, 0));
  TMultiMembership Membership(Multi.get(), E);
  for (;;) {
    if (Cancelled())
      throw EHttpCancelled();
    int Running = 0;
    if (curl_multi_perform(Multi.get(), &Running) != CURLM_OK)
      throw ETransportError("curl_multi_perform failed");
    if (Running == 0)
      break;
    // Rounded up: the exchange fails for its deadline only once that has
    // passed, which is how callers tell this failure from others.
    const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - TClock::now());
    if (Left.count() <= 0)
      throw ETransportError("HTTP exchange passed its overall deadline");
    // libcurl enforces the connection time-out itself; once connected, the
    // exchange fails when nothing moves for longer than the phase allows.
    // Short waits: in between, the program may repaint its windows and
    // notice that it is ending (KeepWaiting).
    int WaitMs = static_cast<int>(std::min<std::chrono::milliseconds::rep>(LongWaitSliceMs, Left.count()));
    if (Transfer.Connected) {
      const auto Limit = std::chrono::milliseconds(Transfer.Sent ? Timeouts.ResponseMs : Timeouts.SendMs);
      const auto Idle = std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - Transfer.LastActivity);
      if (Idle >= Limit)
        throw ETransportError("HTTP exchange timed out");
      WaitMs = static_cast<int>(std::min<std::chrono::milliseconds::rep>(WaitMs, (Limit - Idle).count()));
    }
    if (curl_multi_poll(Multi.get(), nullptr, 0, WaitMs, nullptr) != CURLM_OK)
      throw ETransportError("curl_multi_poll failed");
    if (Cancelled() || !KeepWaiting())
      throw EHttpCancelled();
  }

  CURLcode Result = CURLE_OK;
  int Queued = 0;
  while (CURLMsg* Message = curl_multi_info_read(Multi.get(), &Queued))
    if (Message->msg == CURLMSG_DONE && Message->easy_handle == E)
      Result = Message->data.result;
  if (Cancelled())
    throw EHttpCancelled();
  if (Transfer.TooLong || Result == CURLE_FILESIZE_EXCEEDED)
    throw EReplyTooLong();
  if (Result != CURLE_OK)
    throw ETransportError(curl_easy_strerror(Result));

  THttpReply Reply;
  curl_easy_getinfo(E, CURLINFO_RESPONSE_CODE, &Reply.Status);
  Reply.Body = std::move(Transfer.Body);
  return Reply;
}

// The message of a refusal: who refused, the status, and the reason the
// server gave in its "error" member, if any (cut to a readable length).
EServerError Refusal(const char* Who, const THttpReply& Reply) {
  QString Message =
      QStringLiteral("%1 서버가 요청을 거절했습니다 (HTTP %2)").arg(QString::fromUtf8(Who)).arg(Reply.Status);
  if (const std::optional<QString> Reason = RefusalReason(Reply.Body))
    Message += QStringLiteral(": ") + *Reason;
  return EServerError(Message.toStdString());
}

bool IsBlank(const QString& Text) {
  return std::all_of(Text.cbegin(), Text.cend(), [](QChar C) { return C.unicode() <= 0x20; });
}

void AppendJsonString(QString& Out, const QString& Value) {
  Out += QLatin1Char('"');
  for (QChar C : Value) {
    switch (C.unicode()) {
    case '\b': Out += QLatin1String("\\b"); break;
    case '\t': Out += QLatin1String("\\t"); break;
    case '\n': Out += QLatin1String("\\n"); break;
    case '\f': Out += QLatin1String("\\f"); break;
    case '\r': Out += QLatin1String("\\r"); break;
    case '"': Out += QLatin1String("\\\""); break;
    case '\\': Out += QLatin1String("\\\\"); break;
    case '/': Out += QLatin1String("\\/"); break;
    default: Out += C;
    }
  }
  Out += QLatin1Char('"');
}

// Written by hand: the server sees exactly these escapes, with every other
// character (non-ASCII and other control characters included) as itself.
QByteArray TranslateRequestBody(const QString& sl, const QString& tl, const QString& hn, const QString& q) {
  QString Out;
  Out += QLatin1Char('{');
  const std::pair<const char*, const QString*> Members[] = {{"sl", &sl}, {"tl", &tl}, {"hn", &hn}, {"q", &q}};
  bool First = true;
  for (const auto& [Name, Value] : Members) {
    if (!First)
      Out += QLatin1Char(',');
    First = false;
    AppendJsonString(Out, QString::fromLatin1(Name));
    Out += QLatin1Char(':');
    AppendJsonString(Out, *Value);
  }
  Out += QLatin1Char('}');
  return Out.toUtf8();
}

} // namespace

QString ReplyTooLongMessage(const QString& TransportMessage) {
  return TransportMessage + QStringLiteral(" 응답이 %1 MiB를 넘어 받지 않았습니다.").arg(MaxReplyBytes / (1024 * 1024));
}

QString TooManyOCRItemsMessage() {
  return QStringLiteral("OCR 서버가 보낸 글자 상자가 %1개를 넘어 결과를 받지 않았습니다.").arg(MaxOCRItems);
}

QString TranslateLocal(const QString& Server, const QString& Text, const QString& sl, const QString& tl,
                       const QString& hn, QString& ErrorMessage, const THttpTimeouts& Timeouts) {
  QString Result;
  if (IsBlank(Text))
    return Result;
  // A line break inside a sentence is a space; CR LF therefore becomes one.
  QString Query = Text;
  Query.replace(QLatin1Char('\r'), QLatin1Char(' '));
  Query.remove(QLatin1Char('\n'));
  const QByteArray Body = TranslateRequestBody(sl, tl, hn, Query);

  THttpReply Reply;
  try {
    Reply = HttpPost(Server + QLatin1String("/translate"), Body,
                     {"Content-Type: application/json", "Accept: application/json"}, Timeouts);
    // An empty 200 reply is no translation: taken as one, it would blank
    // every box of the result.
    if (Reply.Status == 200)
      Result = TranslateReplyText(Reply.Body);
  } catch (const EHttpCancelled&) {
    throw;
  } catch (const EReplyTooLong&) {
    ErrorMessage = ReplyTooLongMessage(QString::fromUtf16(TranslateTransportMessage));
  } catch (const ETransportError&) {
    ErrorMessage = QString::fromUtf16(TranslateTransportMessage);
  } catch (const std::exception&) {
    ErrorMessage = QString::fromUtf16(TranslateReplyMessage);
  }
  if (Reply.Status != 0 && Reply.Status != 200)
    throw Refusal("번역", Reply);
  return Result;
}

TOCRItemList EasyOCR(const QString& Server, const QImage& Bitmap, QString& ErrorMessage, const QString& Paragraph,
                     const THttpTimeouts& Timeouts, bool Enhance) {
  TOCRItemList Items;
  if (Bitmap.isNull())
    return Items;
  QByteArray Stream;
  {
    QBuffer Buffer(&Stream);
    if (!Buffer.open(QIODevice::WriteOnly) || !Bitmap.save(&Buffer, "BMP"))
      throw EBitmapStreamError("Bitmap could not be written as BMP");
  }

  THttpReply Reply;
  try {
    // A BMP file under the PNG media type: what the service has always been
    // sent, so it is kept.
    std::vector<QByteArray> Headers = {"Content-Type: image/png", "paragraph: " + Paragraph.toUtf8(),
                                       "Accept: application/json"};
    if (!Enhance)
      Headers.push_back("enhance: False");
    Reply = HttpPost(Server + QLatin1String("/ocr"), Stream, Headers, Timeouts);
    if (Reply.Status == 200) {
      TOCRReplyProblem Problem = TOCRReplyProblem::None;
      Items = OCRReplyItems(Reply.Body, Problem);
      switch (Problem) {
      case TOCRReplyProblem::None: break;
      case TOCRReplyProblem::NotAnArray:
      case TOCRReplyProblem::MalformedItem: ErrorMessage = QString::fromUtf16(OCRReplyMessage); break;
      case TOCRReplyProblem::TooManyItems: ErrorMessage = TooManyOCRItemsMessage(); break;
      }
    }
  } catch (const EHttpCancelled&) {
    throw;
  } catch (const EReplyTooLong&) {
    ErrorMessage = ReplyTooLongMessage(QString::fromUtf16(OCRTransportMessage));
  } catch (const ETransportError&) {
    ErrorMessage = QString::fromUtf16(OCRTransportMessage);
  } catch (const std::exception&) {
    ErrorMessage = QString::fromUtf16(OCRReplyMessage);
  }
  if (Reply.Status != 0 && Reply.Status != 200)
    throw Refusal("OCR", Reply);
  return Items;
}
