#include "text/RESTApi.h"

#include "core/LongWait.h"
#include "settings/ConfigIni.h"
#include "text/LoopbackServer.h"
#include "text/RemoteOCREngine.h"
#include "text/Replies.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

const QString Untouched = QStringLiteral("earlier message");
const QString TranslateTransportError = QStringLiteral("서버로부터 번역 결과를 받아오는 데 실패했습니다.");
const QString TranslateOtherError = QStringLiteral("번역 요청 중 에러가 발생했습니다.");
const QString OCRTransportError = QStringLiteral("서버로부터 결과를 받아오는 데 실패했습니다.");
const QString OCROtherError = QStringLiteral("OCR 요청 중 에러가 발생했습니다.");

// Short limits so stalled exchanges end within a fraction of a second.
constexpr THttpTimeouts Short{2000, 300, 300};

TLoopbackServer::THandler Reply(int Status, std::string Body) {
  return [Status, Body](const httplib::Request&, httplib::Response& Response) {
    Response.status = Status;
    Response.set_content(Body, "application/json");
  };
}

struct TRequestCase {
  const char* Name;
  QString Text;
  std::string Q; // the expected "q" member as written on the wire, UTF-8
};

void PrintTo(const TRequestCase& Case, std::ostream* Out) { *Out << Case.Name; }

class TranslateRequest : public ::testing::TestWithParam<TRequestCase> {};

TEST_P(TranslateRequest, BodyIsWrittenExactly) {
  TLoopbackServer Server(Reply(200, R"({"translated_text":"ok"})"));
  QString Error = Untouched;
  EXPECT_EQ(TranslateLocal(Server.Url(), GetParam().Text, "en", "ko", "N", Error), "ok");
  EXPECT_EQ(Error, Untouched);
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_EQ(Requests[0].Body, R"({"sl":"en","tl":"ko","hn":"N","q":)" + GetParam().Q + "}");
}

const TRequestCase RequestCases[] = {
    {"Ascii", "Hello, world!", R"("Hello, world!")"},
    {"Korean", QStringLiteral("안녕 세계"), "\"\xEC\x95\x88\xEB\x85\x95 \xEC\x84\xB8\xEA\xB3\x84\""},
    {"OutsideBmp", QString::fromUtf8("a\xF0\x9F\x98\x80"), "\"a\xF0\x9F\x98\x80\""},
    {"Quotes", R"(say "hi")", R"("say \"hi\"")"},
    {"Slashes", "a/b//c", R"("a\/b\/\/c")"},
    {"Backslashes", R"(C:\dir\)", R"("C:\\dir\\")"},
    {"EscapedControls", QString("a\tb\bc\fd"), R"("a\tb\bc\fd")"},
    {"OtherControlsAsThemselves", QString("a") + QChar(1) + QChar(0x1F) + QChar(0x7F) + "b",
     std::string("\"a\x01\x1F\x7F") + "b\""},
    {"CrLfBecomesOneSpace", "a\r\nb", R"("a b")"},
    {"LoneLfJoins", "a\nb", R"("ab")"},
    {"LoneCrBecomesSpace", "a\rb", R"("a b")"},
    {"SpacesKept", "  a b  ", R"("  a b  ")"},
};

INSTANTIATE_TEST_SUITE_P(Texts, TranslateRequest, ::testing::ValuesIn(RequestCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(TranslateLocal, SendsHeadersAndArgumentsToTheTranslatePath) {
  TLoopbackServer Server(Reply(200, R"({"translated_text":"x"})"));
  QString Error;
  TranslateLocal(Server.Url(), "t", "s/l", "t\"l", "Y", Error);
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_EQ(Requests[0].Method, "POST");
  EXPECT_EQ(Requests[0].Path, "/translate");
  EXPECT_EQ(Requests[0].Header("Content-Type"), "application/json");
  EXPECT_EQ(Requests[0].Header("Accept"), "application/json");
  EXPECT_EQ(Requests[0].Body, R"({"sl":"s\/l","tl":"t\"l","hn":"Y","q":"t"})");

  // The URL is a plain concatenation: a trailing slash is kept.
  TranslateLocal(Server.Url() + "/", "t", "en", "ko", "N", Error);
  ASSERT_EQ(Server.Requests().size(), 2u);
  EXPECT_EQ(Server.Requests()[1].Path, "//translate");
}

TEST(TranslateLocal, BlankTextSendsNothing) {
  TLoopbackServer Server(Reply(200, R"({"translated_text":"x"})"));
  for (const QString& Text : {QString(), QString(" "), QString(" \t\r\n "), QString(QChar(0)) + QChar(0x20)}) {
    QString Error = Untouched;
    EXPECT_EQ(TranslateLocal(Server.Url(), Text, "en", "ko", "N", Error), "");
    EXPECT_EQ(Error, Untouched);
  }
  EXPECT_TRUE(Server.Requests().empty());
}

struct TReplyCase {
  const char* Name;
  int Status;
  std::string Body;
  QString Result;
  QString Error;
};

void PrintTo(const TReplyCase& Case, std::ostream* Out) { *Out << Case.Name; }

class TranslateReply : public ::testing::TestWithParam<TReplyCase> {};

TEST_P(TranslateReply, ResultAndErrorMessage) {
  TLoopbackServer Server(Reply(GetParam().Status, GetParam().Body));
  QString Error = Untouched;
  EXPECT_EQ(TranslateLocal(Server.Url(), "text", "en", "ko", "N", Error), GetParam().Result);
  EXPECT_EQ(Error, GetParam().Error);
}

const TReplyCase ReplyCases[] = {
    {"Translation", 200, R"({"x":1,"translated_text":"번역\n됨"})", QStringLiteral("번역\n됨"), Untouched},
    {"EmptyTranslation", 200, R"({"translated_text":""})", "", Untouched},
    {"WithoutTranslatedText", 200, R"({"text":"a"})", "", TranslateOtherError},
    {"TranslatedTextNotAString", 200, R"({"translated_text":5})", "", TranslateOtherError},
    {"NotAnObject", 200, R"(["translated_text"])", "", TranslateOtherError},
    {"NotJson", 200, "<html>busy</html>", "", TranslateOtherError},
    // Taken as a translation it would blank the boxes it replaces.
    {"EmptyBody", 200, "", "", TranslateOtherError},
    {"TranslatedTextNull", 200, R"({"translated_text":null})", "", TranslateOtherError},
    {"TranslatedTextArray", 200, R"({"translated_text":["a"]})", "", TranslateOtherError},
    // Bytes that are not UTF-8 are read as U+FFFD.
    {"NotUtf8", 200, std::string("{\"translated_text\":\"a\xFF\xFE") + "b\"}",
     QString("a") + QChar(0xFFFD) + QChar(0xFFFD) + "b", Untouched},
};

INSTANTIATE_TEST_SUITE_P(Replies, TranslateReply, ::testing::ValuesIn(ReplyCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(TranslateLocal, NoServerListeningIsATransportFailure) {
  QString Error = Untouched;
  EXPECT_EQ(TranslateLocal(UnusedLoopbackUrl(), "text", "en", "ko", "N", Error, Short), "");
  EXPECT_EQ(Error, TranslateTransportError);
}

TEST(TranslateLocal, ServerThatNeverAnswersTimesOut) {
  TRawServer Server([](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::WaitForClose(Socket);
  });
  QString Error = Untouched;
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_EQ(TranslateLocal(Server.Url(), "text", "en", "ko", "N", Error, Short), "");
  EXPECT_EQ(Error, TranslateTransportError);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
}

TEST(TranslateLocal, ResponseTimeOutLimitsStallsNotTheWholeReply) {
  // Seven pieces 100 ms apart take longer than the 300 ms limit in total.
  TRawServer Server([](int Socket) {
    TRawServer::ReadRequest(Socket);
    const std::string Body = R"({"translated_text":"slow"})";
    TRawServer::Send(Socket, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(Body.size()) + "\r\n\r\n");
    for (size_t I = 0; I < Body.size(); I += 4) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      TRawServer::Send(Socket, Body.substr(I, 4));
    }
  });
  QString Error = Untouched;
  EXPECT_EQ(TranslateLocal(Server.Url(), "text", "en", "ko", "N", Error, Short), "slow");
  EXPECT_EQ(Error, Untouched);
}

TEST(TranslateLocal, ReplyCutShortIsATransportFailure) {
  TRawServer Server([](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::Send(Socket, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"translated_text\":");
  });
  QString Error = Untouched;
  EXPECT_EQ(TranslateLocal(Server.Url(), "text", "en", "ko", "N", Error, Short), "");
  EXPECT_EQ(Error, TranslateTransportError);
}

TEST(TranslateLocal, ReplyLongerThanTheLimitIsCutOffAndSaysSo) {
  // No Content-Length: the reply would run until the server closes.
  TRawServer Server([](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::Send(Socket, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n{\"translated_text\":\"");
    const std::string Chunk(1 << 20, 'a');
    for (int I = 0; I < 16 && TRawServer::Send(Socket, Chunk); ++I) {
    }
  });
  QString Error = Untouched;
  EXPECT_EQ(TranslateLocal(Server.Url(), "text", "en", "ko", "N", Error, Short), "");
  EXPECT_EQ(Error, TranslateTransportError + " 응답이 8 MiB를 넘어 받지 않았습니다.");
}

TEST(TranslateLocal, ReplyOfExactlyTheLimitIsRead) {
  const std::string Head = R"({"translated_text":")";
  const std::string Body = Head + std::string(MaxReplyBytes - Head.size() - 2, 'a') + "\"}";
  TLoopbackServer Server(Reply(200, Body));
  QString Error = Untouched;
  EXPECT_EQ(TranslateLocal(Server.Url(), "text", "en", "ko", "N", Error).size(), Body.size() - Head.size() - 2);
  EXPECT_EQ(Error, Untouched);
}

QImage Picture() {
  QImage Image(7, 3, QImage::Format_RGB32);
  for (int Y = 0; Y < Image.height(); ++Y)
    for (int X = 0; X < Image.width(); ++X)
      Image.setPixel(X, Y, qRgb(30 * X, 80 * Y, 200));
  return Image;
}

TEST(EasyOCR, PostsTheBitmapAsBmpWithTheHeaders) {
  TLoopbackServer Server(Reply(200, "[]"));
  QString Error = Untouched;
  const QImage Image = Picture();
  EXPECT_TRUE(EasyOCR(Server.Url(), Image, Error, "False").empty());
  EXPECT_TRUE(EasyOCR(Server.Url(), Image, Error, "True").empty());
  EXPECT_EQ(Error, Untouched);
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), 2u);
  const auto& Request = Requests[0];
  EXPECT_EQ(Request.Method, "POST");
  EXPECT_EQ(Request.Path, "/ocr");
  EXPECT_EQ(Request.Header("Content-Type"), "image/png");
  EXPECT_EQ(Request.Header("Accept"), "application/json");
  EXPECT_EQ(Request.Header("paragraph"), "False");
  EXPECT_EQ(Requests[1].Header("paragraph"), "True");
  ASSERT_GE(Request.Body.size(), 2u);
  EXPECT_EQ(Request.Body.substr(0, 2), "BM");
  const QImage Received =
      QImage::fromData(QByteArray::fromStdString(Request.Body), "BMP").convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(Received, Image);
}

TEST(EasyOCR, NoRequestForAMissingOrEmptyBitmap) {
  TLoopbackServer Server(Reply(200, R"([{"left":1,"top":2,"right":3,"bottom":4,"text":"a"}])"));
  QString Error = Untouched;
  EXPECT_TRUE(EasyOCR(Server.Url(), QImage(), Error, "False").empty());
  EXPECT_TRUE(EasyOCR(Server.Url(), QImage(0, 5, QImage::Format_RGB32), Error, "False").empty());
  EXPECT_EQ(Error, Untouched);
  EXPECT_TRUE(Server.Requests().empty());
}

struct TOCRCase {
  const char* Name;
  int Status;
  std::string Body;
  TOCRItemList Items;
  QString Error;
};

void PrintTo(const TOCRCase& Case, std::ostream* Out) { *Out << Case.Name; }

class EasyOCRReply : public ::testing::TestWithParam<TOCRCase> {};

TEST_P(EasyOCRReply, ItemsAndErrorMessage) {
  TLoopbackServer Server(Reply(GetParam().Status, GetParam().Body));
  QString Error = Untouched;
  EXPECT_EQ(EasyOCR(Server.Url(), Picture(), Error, "False"), GetParam().Items);
  EXPECT_EQ(Error, GetParam().Error);
}

const std::string First = R"({"left":5,"top":10,"right":50,"bottom":30,"text":"abc","score":0.9})";
const TOCRItem FirstItem{5, 10, 50, 30, "abc"};

std::string Item(const std::string& Left, const std::string& Text = R"("w")") {
  return R"({"left":)" + Left + R"(,"top":1,"right":2,"bottom":3,"text":)" + Text + "}";
}

const TOCRCase OCRCases[] = {
    {"EmptyArray", 200, "[]", {}, Untouched},
    {"NonObjectsSkipped",
     200,
     "[" + First + ",7,\"x\",null," + Item("-3", "\"한글\"") + "]",
     {FirstItem, TOCRItem{-3, 1, 2, 3, QStringLiteral("한글")}},
     Untouched},
    {"FractionStopsTheWalk", 200, "[" + First + "," + Item("12.5") + "," + Item("1") + "]", {FirstItem}, OCROtherError},
    {"WholeFloatIsNoInteger", 200, "[" + Item("12.0") + "]", {}, OCROtherError},
    {"IntegerString", 200, "[" + Item("\"12\"") + "]", {TOCRItem{12, 1, 2, 3, "w"}}, Untouched},
    {"NonIntegerString", 200, "[" + Item("\"12px\"") + "]", {}, OCROtherError},
    {"Int32Bounds",
     200,
     "[" + Item("-2147483648") + "," + Item("\"2147483647\"") + "]",
     {TOCRItem{INT32_MIN, 1, 2, 3, "w"}, TOCRItem{INT32_MAX, 1, 2, 3, "w"}},
     Untouched},
    {"JustOver32Bits", 200, "[" + Item("2147483648") + "]", {}, OCROtherError},
    {"FortyBits", 200, "[" + First + "," + Item("1099511627776") + "]", {FirstItem}, OCROtherError},
    {"BooleanCoordinate", 200, "[" + Item("true") + "]", {}, OCROtherError},
    {"MissingMember", 200, "[" + First + R"(,{"left":1,"top":1,"right":2,"text":"x"}])", {FirstItem}, OCROtherError},
    {"TextNotAString", 200, "[" + Item("1", "5") + "]", {}, OCROtherError},
    // A service that found nothing says so with an empty array; anything
    // else is no answer.
    {"ObjectNotArray", 200, First, {}, OCROtherError},
    {"NotJson", 200, "[oops", {}, OCROtherError},
    {"EmptyBody", 200, "", {}, OCROtherError},
};

INSTANTIATE_TEST_SUITE_P(Replies, EasyOCRReply, ::testing::ValuesIn(OCRCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Every item becomes a translation request of its own, so a reply with more
// items than any screen holds is refused whole, with the limit in the message.
TEST(EasyOCR, ReplyBeyondTheItemLimitIsRefusedWhole) {
  for (const std::size_t Count : {MaxOCRItems, MaxOCRItems + 1}) {
    SCOPED_TRACE(Count);
    std::string Body = "[";
    for (std::size_t I = 0; I < Count; ++I)
      Body += (I == 0 ? "" : ",") + Item(std::to_string(I));
    Body += "]";
    TLoopbackServer Server(Reply(200, Body));
    QString Error = Untouched;
    const TOCRItemList Items = EasyOCR(Server.Url(), Picture(), Error, "False");
    if (Count <= MaxOCRItems) {
      ASSERT_EQ(Items.size(), Count);
      EXPECT_EQ(Items.back(), (TOCRItem{static_cast<int32_t>(Count - 1), 1, 2, 3, "w"}));
      EXPECT_EQ(Error, Untouched);
    } else {
      EXPECT_TRUE(Items.empty());
      EXPECT_TRUE(Error.contains(QString::number(MaxOCRItems))) << Error.toStdString();
      EXPECT_NE(Error, OCROtherError);
    }
  }
}

// A refusal is not an empty result: the caller learns the status and the
// server's reason, and no stale error text is left behind.
TEST(RESTApi, ARefusalReachesTheCallerWithTheServersWords) {
  struct TCase {
    const char* Name;
    int Status;
    std::string Body;
    std::string Expected; // parts the message holds
  };
  const TCase Cases[] = {
      {"with a reason", 400, R"({"error":"no translation engine for en→ko"})",
       "(HTTP 400): no translation engine for en→ko"},
      {"with a translation", 500, R"({"translated_text":"x"})", "(HTTP 500)"},
      {"without a body", 404, "", "(HTTP 404)"},
      {"not JSON", 503, "<html>busy</html>", "(HTTP 503)"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TLoopbackServer Server(Reply(Case.Status, Case.Body));
    QString Error = Untouched;
    try {
      TranslateLocal(Server.Url(), "text", "en", "ko", "N", Error);
      ADD_FAILURE() << "no exception from /translate";
    } catch (const EServerError& Refused) {
      EXPECT_NE(std::string(Refused.what()).find("번역 서버"), std::string::npos) << Refused.what();
      EXPECT_NE(std::string(Refused.what()).find(Case.Expected), std::string::npos) << Refused.what();
    }
    try {
      EasyOCR(Server.Url(), Picture(), Error, "False");
      ADD_FAILURE() << "no exception from /ocr";
    } catch (const EServerError& Refused) {
      EXPECT_NE(std::string(Refused.what()).find("OCR 서버"), std::string::npos) << Refused.what();
      EXPECT_NE(std::string(Refused.what()).find(Case.Expected), std::string::npos) << Refused.what();
    }
    EXPECT_EQ(Error, Untouched);
  }
}

TEST(EasyOCR, TransportFailures) {
  QString Error = Untouched;
  EXPECT_TRUE(EasyOCR(UnusedLoopbackUrl(), Picture(), Error, "False", Short).empty());
  EXPECT_EQ(Error, OCRTransportError);

  TRawServer Silent([](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::WaitForClose(Socket);
  });
  Error = Untouched;
  EXPECT_TRUE(EasyOCR(Silent.Url(), Picture(), Error, "False", Short).empty());
  EXPECT_EQ(Error, OCRTransportError);

  // A server that never reads: the upload stalls once the socket buffers
  // are full, and the send limit ends it.
  std::atomic<bool> ClientDone = false;
  TRawServer Deaf([&ClientDone](int) {
    while (!ClientDone)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  QImage Large(3000, 2000, QImage::Format_RGB32);
  Large.fill(Qt::gray);
  Error = Untouched;
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_TRUE(EasyOCR(Deaf.Url(), Large, Error, "False", Short).empty());
  ClientDone = true;
  EXPECT_EQ(Error, OCRTransportError);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
}

// Faults of the server, for every client: the two exchanges and the remote
// engine built on /ocr. Every row ends within its time-outs with the
// client's message for it (the engine throws it) and no result, and a
// well-behaved server is served normally afterwards.
enum class TClient { Translate, OCR, Engine };

struct TOutcome {
  QString Text; // the translation, or the recognised texts joined by '|'
  QString Error;
  bool operator==(const TOutcome&) const = default;
};

void PrintTo(const TOutcome& Outcome, std::ostream* Out) {
  *Out << '"' << Outcome.Text.toStdString() << "\" / \"" << Outcome.Error.toStdString() << '"';
}

TOutcome Call(TClient Client, const QString& Url, const THttpTimeouts& Timeouts) {
  TOutcome Outcome{{}, Untouched};
  switch (Client) {
  case TClient::Translate: Outcome.Text = TranslateLocal(Url, "text", "en", "ko", "N", Outcome.Error, Timeouts); break;
  case TClient::OCR:
    for (const TOCRItem& Item : EasyOCR(Url, Picture(), Outcome.Error, "False", Timeouts))
      Outcome.Text += (Outcome.Text.isEmpty() ? "" : "|") + Item.Text;
    break;
  case TClient::Engine: {
    QTemporaryDir Folder;
    TConfigIni Settings(Folder.filePath("Config.ini"));
    Settings.Write(Settings::Server, Url);
    TRemoteOCREngine Engine(Settings, Timeouts);
    try {
      for (const TIteratorResult& Line : Engine.RecognizeLines(Picture()))
        Outcome.Text += (Outcome.Text.isEmpty() ? "" : "|") + Line.Text;
    } catch (const ERemoteOCRError& Failed) {
      Outcome.Error = QString::fromUtf8(Failed.what());
    }
    break;
  }
  }
  return Outcome;
}

std::string Head(size_t ContentLength) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(ContentLength) + "\r\n\r\n";
}

// Reads the request and answers with what Reply makes of its path.
using TReplyOfPath = std::function<std::string(bool ToOCR)>;
std::function<void(int)> Raw(TReplyOfPath Reply) {
  return [Reply](int Socket) {
    const std::string Request = TRawServer::ReadRequest(Socket);
    TRawServer::Send(Socket, Reply(Request.rfind("POST /ocr", 0) == 0));
  };
}

// A whole 200 reply with a matching length: Translate's body to /translate,
// OCR's to /ocr.
std::function<void(int)> Answer(std::string Translate, std::string OCR) {
  return Raw(
      [Translate, OCR](bool ToOCR) { return Head((ToOCR ? OCR : Translate).size()) + (ToOCR ? OCR : Translate); });
}
std::function<void(int)> Answer(std::string Body) { return Answer(Body, Body); }

const std::string GoodTranslation = R"({"translated_text":"good"})";
const std::string GoodOCR = "[" + Item("1", R"("good")") + "]";

// A valid reply sent one byte every 100 ms: never a stall, but fifteen
// seconds in all, far past the row's overall deadline.
std::function<void(int)> Drip() {
  return [](int Socket) {
    const bool ToOCR = TRawServer::ReadRequest(Socket).rfind("POST /ocr", 0) == 0;
    const std::string Json = ToOCR ? GoodOCR : GoodTranslation;
    const std::string Body = std::string(150 - Json.size(), ' ') + Json;
    bool Open = TRawServer::Send(Socket, Head(Body.size()));
    for (size_t I = 0; Open && I < Body.size(); ++I) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      Open = TRawServer::Send(Socket, Body.substr(I, 1));
    }
  };
}

// Sends Start, then either waits in silence until the client leaves or
// closes the connection.
std::function<void(int)> Then(std::string Start, bool ThenClose) {
  return [Start, ThenClose](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::Send(Socket, Start);
    if (!ThenClose)
      TRawServer::WaitForClose(Socket);
  };
}

// Part of a 100-byte body, then silence or a close.
std::function<void(int)> PartOfTheBody(std::string Part, bool ThenClose) { return Then(Head(100) + Part, ThenClose); }

// Without Content-Length the body would run until the server closes; this
// one sends 16 MiB, twice the limit, after Start.
std::function<void(int)> Endless(std::string Start) {
  return [Start](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::Send(Socket, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + Start);
    const std::string Chunk(1 << 20, 'a');
    for (int I = 0; I < 16 && TRawServer::Send(Socket, Chunk); ++I) {
    }
  };
}

// What a row ends with, in each client's own words.
enum class TFailure { Transport, Reply, TooLong, TooManyItems, None };

QString MessageOf(TClient Client, TFailure Failure) {
  const bool Translate = Client == TClient::Translate;
  switch (Failure) {
  case TFailure::Transport: return Translate ? TranslateTransportError : OCRTransportError;
  case TFailure::Reply: return Translate ? TranslateOtherError : OCROtherError;
  case TFailure::TooLong:
    return (Translate ? TranslateTransportError : OCRTransportError) + " 응답이 8 MiB를 넘어 받지 않았습니다.";
  case TFailure::TooManyItems:
    return QStringLiteral("OCR 서버가 보낸 글자 상자가 10000개를 넘어 결과를 받지 않았습니다.");
  case TFailure::None: break;
  }
  return Untouched;
}

struct TFaultMode {
  const char* Name;
  std::function<void(int Socket)> Serve; // none: nothing listens
  THttpTimeouts Timeouts;
  TFailure Failure;
  bool ForTranslate = true, ForOCR = true;
  // EasyOCR hands on the items before a malformed one (the engine does not).
  const char* KeptByEasyOCR = "";
};

struct TFaultCase {
  std::string Name;
  TClient Client;
  const TFaultMode* Mode;
};

void PrintTo(const TFaultCase& Case, std::ostream* Out) { *Out << Case.Name; }

// Stalls longer than 500 ms fail; so does any exchange past 1.5 s in all.
constexpr THttpTimeouts Deadline{2000, 500, 500, 1500};

std::string Deep(int Depth) { return std::string(Depth, '[') + std::string(Depth, ']'); }

std::string Boxes(std::size_t Count) {
  std::string Body = "[";
  for (std::size_t I = 0; I < Count; ++I)
    Body += (I == 0 ? "" : ",") + Item(std::to_string(I));
  return Body + "]";
}

const TFaultMode FaultModes[] = {
    {"Refused", nullptr, Short, TFailure::Transport},
    {"StallBeforeTheHeaders", Then("", false), Short, TFailure::Transport},
    {"StallInTheHeaders", Then("HTTP/1.1 200 OK\r\nContent-Le", false), Short, TFailure::Transport},
    {"StallInTheBody", PartOfTheBody("[{\"translated_text\":", false), Short, TFailure::Transport},
    {"CloseInTheBody", PartOfTheBody("[{\"translated_text\":", true), Short, TFailure::Transport},
    {"Drip", Drip(), Deadline, TFailure::Transport},
    {"ClosedWithoutAReply", Then("", true), Short, TFailure::Transport},
    {"BadStatusLine", Then("HTTP/1.1 OK 200\r\nContent-Length: 2\r\n\r\n[]", false), Short, TFailure::Transport},
    {"NotHttp", Then("SSH-2.0-OpenSSH_9.2\r\n", true), Short, TFailure::Transport},
    {"ChunkedGarbage", Then("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nnot a chunk\r\n", false), Short,
     TFailure::Transport},
    {"GigabyteAnnounced", Then(Head(size_t{1} << 30) + "[", false), Short, TFailure::TooLong},
    {"LongerThanTheLimit", Endless("[\""), Short, TFailure::TooLong},
    {"EmptyBody", Answer(""), Short, TFailure::Reply},
    {"NotJson", Answer("<html>busy</html>"), Short, TFailure::Reply},
    {"HundredThousandDeep", Answer(Deep(100000)), Short, TFailure::Reply},
    {"DeepInsideAnItem",
     Answer(R"({"translated_text":"a","x":)" + Deep(100000) + "}", "[" + Item("1", Deep(100000)) + "]"), Short,
     TFailure::Reply},
    {"TranslatedTextNumber", Answer(R"({"translated_text":5})"), Short, TFailure::Reply, true, false},
    {"TranslatedTextArray", Answer(R"({"translated_text":["a"]})"), Short, TFailure::Reply, true, false},
    {"TranslatedTextNull", Answer(R"({"translated_text":null})"), Short, TFailure::Reply, true, false},
    {"MalformedBox", Answer("[" + First + "," + Item("12.5") + "]"), Short, TFailure::Reply, false, true, "abc"},
    {"TooManyBoxes", Answer(Boxes(MaxOCRItems + 1)), Short, TFailure::TooManyItems, false, true},
};

std::vector<TFaultCase> FaultCases() {
  std::vector<TFaultCase> Cases;
  for (const TFaultMode& Mode : FaultModes) {
    if (Mode.ForTranslate)
      Cases.push_back({std::string("Translate") + Mode.Name, TClient::Translate, &Mode});
    if (Mode.ForOCR) {
      Cases.push_back({std::string("OCR") + Mode.Name, TClient::OCR, &Mode});
      Cases.push_back({std::string("Engine") + Mode.Name, TClient::Engine, &Mode});
    }
  }
  return Cases;
}

class ServerFault : public ::testing::TestWithParam<TFaultCase> {};

TEST_P(ServerFault, EndsWithItsMessageAndTheNextRequestWorks) {
  const TFaultCase& Case = GetParam();
  const TFaultMode& Mode = *Case.Mode;
  {
    std::optional<TRawServer> Faulty;
    if (Mode.Serve)
      Faulty.emplace(Mode.Serve);
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_EQ(Call(Case.Client, Faulty ? Faulty->Url() : UnusedLoopbackUrl(), Mode.Timeouts),
              (TOutcome{Case.Client == TClient::OCR ? Mode.KeptByEasyOCR : "", MessageOf(Case.Client, Mode.Failure)}));
    // Every row is over within its time-outs, whatever the server keeps doing.
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
  }
  TLoopbackServer Good([](const httplib::Request& Request, httplib::Response& Response) {
    Response.set_content(Request.path == "/translate" ? GoodTranslation : GoodOCR, "application/json");
  });
  EXPECT_EQ(Call(Case.Client, Good.Url(), Mode.Timeouts), (TOutcome{"good", Untouched}));
}

INSTANTIATE_TEST_SUITE_P(Faults, ServerFault, ::testing::ValuesIn(FaultCases()),
                         [](const auto& Info) { return Info.param.Name; });

// Rows that are no fault at all and must stay so.
TEST(ServerFault, NotUtf8AndEmptyResultsAreNoFault) {
  TRawServer Server(Answer("{\"translated_text\":\"\"}", "[" +
                                                             Item("1", "\"a\xFF\xFE"
                                                                       "b\"") +
                                                             "]"));
  // An empty translation of a text is the server's answer, not a failure.
  EXPECT_EQ(Call(TClient::Translate, Server.Url(), Short), (TOutcome{"", Untouched}));
  // Bytes that are not UTF-8 are read as U+FFFD.
  const TOutcome Read{QString("a") + QChar(0xFFFD) + QChar(0xFFFD) + "b", Untouched};
  EXPECT_EQ(Call(TClient::OCR, Server.Url(), Short), Read);
  EXPECT_EQ(Call(TClient::Engine, Server.Url(), Short), Read);
  TRawServer Nothing(Answer("[]"));
  EXPECT_EQ(Call(TClient::Engine, Nothing.Url(), Short), (TOutcome{"", Untouched}));
}

// A refusal reaches the engine's caller as its failure, in the server's words.
TEST(RemoteOCREngine, ARefusalIsItsFailure) {
  TLoopbackServer Server(Reply(503, R"({"error":"busy"})"));
  EXPECT_EQ(Call(TClient::Engine, Server.Url(), Short),
            (TOutcome{"", "OCR 서버가 요청을 거절했습니다 (HTTP 503): busy"}));
}

// A request is given up from another thread while the server stalls: the
// call ends within a wait slice with EHttpCancelled, never an error message.
TEST(RESTApi, ACancelledRequestEndsAtOnceWithoutAMessage) {
  using namespace std::chrono;
  TRawServer Stalled([](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::WaitForClose(Socket);
  });
  for (const TClient Client : {TClient::Translate, TClient::OCR, TClient::Engine}) {
    SCOPED_TRACE(static_cast<int>(Client));
    std::atomic<bool> Cancel = false;
    steady_clock::time_point CancelledAt;
    std::thread User([&] {
      std::this_thread::sleep_for(milliseconds(200));
      CancelledAt = steady_clock::now();
      Cancel = true;
    });
    QString Error = Untouched;
    bool Cancelled = false;
    try {
      THttpTimeouts Timeouts = TranslateTimeouts;
      Timeouts.Cancel = &Cancel;
      if (Client == TClient::Translate) {
        TranslateLocal(Stalled.Url(), "text", "en", "ko", "N", Error, Timeouts);
      } else if (Client == TClient::OCR) {
        EasyOCR(Stalled.Url(), Picture(), Error, "False", Timeouts);
      } else {
        QTemporaryDir Folder;
        TConfigIni Settings(Folder.filePath("Config.ini"));
        Settings.Write(Settings::Server, Stalled.Url());
        TRemoteOCREngine Engine(Settings);
        Engine.SetCancelFlag(&Cancel);
        Engine.RecognizeLines(Picture());
      }
    } catch (const EHttpCancelled&) {
      Cancelled = true;
    }
    const auto Returned = steady_clock::now();
    User.join();
    EXPECT_TRUE(Cancelled);
    EXPECT_EQ(Error, Untouched);
    // 50 ms slices; the margin is for a loaded machine.
    EXPECT_LT(Returned - CancelledAt, milliseconds(1000));
    std::printf("cancelled after %lld ms\n",
                static_cast<long long>(duration_cast<milliseconds>(Returned - CancelledAt).count()));
  }
}

std::atomic<bool> ProgramEnding = false;
bool EndingHook() { return !ProgramEnding; }

// A long wait given up through KeepWaiting (the program ends, or the job
// of the thread was cancelled) is a cancellation too, not a failure.
TEST(RESTApi, AWaitGivenUpIsACancellation) {
  TRawServer Stalled([](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::WaitForClose(Socket);
  });
  SetLongWaitHook(EndingHook);
  std::thread Ending([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ProgramEnding = true;
  });
  QString Error = Untouched;
  EXPECT_THROW(TranslateLocal(Stalled.Url(), "text", "en", "ko", "N", Error), EHttpCancelled);
  Ending.join();
  SetLongWaitHook(nullptr);
  EXPECT_EQ(Error, Untouched);
}

} // namespace
