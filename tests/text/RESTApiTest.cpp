#include "text/RESTApi.h"

#include "text/LoopbackServer.h"
#include "text/Replies.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

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
    {"EmptyBody", 200, "", "", Untouched},
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

TEST(TranslateLocal, ReplyLongerThanTheLimitIsCutOff) {
  // No Content-Length: the reply would run until the server closes.
  TRawServer Server([](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::Send(Socket, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n{\"translated_text\":\"");
    const std::string Chunk(1 << 20, 'a');
    for (int I = 0; I < 80 && TRawServer::Send(Socket, Chunk); ++I) {
    }
  });
  QString Error = Untouched;
  EXPECT_EQ(TranslateLocal(Server.Url(), "text", "en", "ko", "N", Error, Short), "");
  EXPECT_EQ(Error, TranslateTransportError);
}

TEST(TranslateLocal, ReplyOfExactlyTheLimitIsRead) {
  const std::string Head = R"({"translated_text":")";
  const std::string Body = Head + std::string(MaxReplyBytes - Head.size() - 2, 'a') + "\"}";
  TLoopbackServer Server(Reply(200, Body));
  QString Error = Untouched;
  EXPECT_EQ(TranslateLocal(Server.Url(), "text", "en", "ko", "N", Error, Short).size(), Body.size() - Head.size() - 2);
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
    {"ObjectNotArray", 200, First, {}, Untouched},
    {"NotJson", 200, "[oops", {}, Untouched},
    {"EmptyBody", 200, "", {}, Untouched},
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

// Faults of the server that the tests above do not cover yet, for either
// client. Every row ends within its time-outs with the outcome it names, and
// a well-behaved server is served normally afterwards.
enum class TClient { Translate, OCR };

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
  if (Client == TClient::Translate)
    Outcome.Text = TranslateLocal(Url, "text", "en", "ko", "N", Outcome.Error, Timeouts);
  else
    for (const TOCRItem& Item : EasyOCR(Url, Picture(), Outcome.Error, "False", Timeouts))
      Outcome.Text += (Outcome.Text.isEmpty() ? "" : "|") + Item.Text;
  return Outcome;
}

std::string Head(size_t ContentLength) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(ContentLength) + "\r\n\r\n";
}

// The whole reply, Body with a matching length.
std::function<void(int)> Answer(std::string Body) {
  return [Body](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::Send(Socket, Head(Body.size()) + Body);
  };
}

// A valid reply sent one byte every 100 ms: never a stall, but fifteen
// seconds in all, far past the row's overall deadline.
std::function<void(int)> Drip(const std::string& Json) {
  const std::string Body = std::string(150 - Json.size(), ' ') + Json;
  return [Body](int Socket) {
    TRawServer::ReadRequest(Socket);
    bool Open = TRawServer::Send(Socket, Head(Body.size()));
    for (size_t I = 0; Open && I < Body.size(); ++I) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      Open = TRawServer::Send(Socket, Body.substr(I, 1));
    }
  };
}

// Part of a 100-byte body, then either silence until the client leaves or
// the connection closed.
std::function<void(int)> PartOfTheBody(std::string Part, bool ThenClose) {
  return [Part, ThenClose](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::Send(Socket, Head(100) + Part);
    if (!ThenClose)
      TRawServer::WaitForClose(Socket);
  };
}

// Without Content-Length the body would run until the server closes; this
// one sends 80 MiB after Start.
std::function<void(int)> Endless(std::string Start) {
  return [Start](int Socket) {
    TRawServer::ReadRequest(Socket);
    TRawServer::Send(Socket, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + Start);
    const std::string Chunk(1 << 20, 'a');
    for (int I = 0; I < 80 && TRawServer::Send(Socket, Chunk); ++I) {
    }
  };
}

struct TFaultCase {
  const char* Name;
  TClient Client;
  std::function<void(int Socket)> Serve;
  THttpTimeouts Timeouts;
  TOutcome Expected;
};

void PrintTo(const TFaultCase& Case, std::ostream* Out) { *Out << Case.Name; }

class ServerFault : public ::testing::TestWithParam<TFaultCase> {};

TEST_P(ServerFault, EndsWithItsOutcomeAndTheNextRequestWorks) {
  const TFaultCase& Case = GetParam();
  {
    TRawServer Faulty(Case.Serve);
    EXPECT_EQ(Call(Case.Client, Faulty.Url(), Case.Timeouts), Case.Expected);
  }
  TLoopbackServer Good([](const httplib::Request& Request, httplib::Response& Response) {
    Response.set_content(Request.path == "/translate" ? R"({"translated_text":"good"})"
                                                      : "[" + Item("1", R"("good")") + "]",
                         "application/json");
  });
  EXPECT_EQ(Call(Case.Client, Good.Url(), Case.Timeouts), (TOutcome{"good", Untouched}));
}

// Stalls longer than 500 ms fail; so does any exchange past 1.5 s in all.
constexpr THttpTimeouts Deadline{2000, 500, 500, 1500};

const TFaultCase FaultCases[] = {
    {"TranslateDrip",
     TClient::Translate,
     Drip(R"({"translated_text":"drip"})"),
     Deadline,
     {"", TranslateTransportError}},
    {"OCRDrip", TClient::OCR, Drip("[" + Item("1", R"("drip")") + "]"), Deadline, {"", OCRTransportError}},
    {"TranslateStallInTheBody",
     TClient::Translate,
     PartOfTheBody(R"({"translated_text":)", false),
     Short,
     {"", TranslateTransportError}},
    {"OCRStallInTheBody", TClient::OCR, PartOfTheBody("[" + First, false), Short, {"", OCRTransportError}},
    {"OCRCloseInTheBody", TClient::OCR, PartOfTheBody("[" + First, true), Short, {"", OCRTransportError}},
    // Bytes that are not UTF-8 are read as U+FFFD.
    {"OCRNotUtf8",
     TClient::OCR,
     Answer("[" +
            Item("1", "\"a\xFF\xFE"
                      "b\"") +
            "]"),
     Short,
     {QString("a") + QChar(0xFFFD) + QChar(0xFFFD) + "b", Untouched}},
    {"OCRLongerThanTheLimit", TClient::OCR, Endless("[" + First + ",\""), Short, {"", OCRTransportError}},
};

INSTANTIATE_TEST_SUITE_P(Faults, ServerFault, ::testing::ValuesIn(FaultCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
