#include "server/ApertiumEngine.h"
#include "server/KorvexServer.h"
#include "server/RelayEngine.h"
#include "text/LoopbackServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace {

// korvex-server in this process on a free loopback port.
class TRunningServer {
public:
  explicit TRunningServer(std::vector<std::unique_ptr<TTranslateEngine>> Engines, TServerLimits Limits = {})
      : FService(std::move(Engines)), FServer(FService, {}, Limits) {
    FPort = FServer.Bind("127.0.0.1", 0);
    if (FPort <= 0)
      throw std::runtime_error("korvex-server could not bind");
    FThread = std::thread([this] { FServer.Listen(); });
    while (!FServer.IsRunning())
      std::this_thread::yield();
  }
  ~TRunningServer() {
    FServer.Stop();
    FThread.join();
  }

  httplib::Result Post(const std::string& Body, const std::string& Path = "/translate",
                       const std::string& ContentType = "application/json") {
    httplib::Client Client("127.0.0.1", FPort);
    Client.set_read_timeout(30);
    return Client.Post(Path, Body, ContentType);
  }
  httplib::Result Get(const std::string& Path) {
    httplib::Client Client("127.0.0.1", FPort);
    return Client.Get(Path);
  }
  httplib::Result Translate(const std::string& sl, const std::string& tl, const std::string& q) {
    return Post(nlohmann::json{{"sl", sl}, {"tl", tl}, {"hn", "N"}, {"q", q}}.dump());
  }
  int Port() const { return FPort; }

private:
  TTranslateService FService;
  TKorvexServer FServer;
  int FPort = 0;
  std::thread FThread;
};

nlohmann::json Json(const httplib::Result& Reply) { return nlohmann::json::parse(Reply->body); }

// Upper-cases its text and counts its calls.
class TCountingEngine : public TTranslateEngine {
public:
  std::atomic<int> Calls = 0;
  std::string Name() const override { return "counting"; }
  std::vector<TLanguagePair> Pairs() const override { return {{"eng", "deu"}}; }
  bool Serves(const TLanguagePair& Pair) const override { return Pair == TLanguagePair{"eng", "deu"}; }
  TTranslateResult Translate(const TLanguagePair&, const std::string& Text) override {
    ++Calls;
    std::string Upper = Text;
    for (char& C : Upper)
      C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
    return TTranslateResult::Success(Upper);
  }
};

std::vector<std::unique_ptr<TTranslateEngine>> Engines(std::unique_ptr<TTranslateEngine> A,
                                                       std::unique_ptr<TTranslateEngine> B = nullptr) {
  std::vector<std::unique_ptr<TTranslateEngine>> Result;
  Result.push_back(std::move(A));
  if (B)
    Result.push_back(std::move(B));
  return Result;
}

// A loopback connection driven byte by byte, as no HTTP client library would.
class TRawClient {
public:
  explicit TRawClient(int Port) : FFd(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in Address{};
    Address.sin_family = AF_INET;
    Address.sin_port = htons(uint16_t(Port));
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(FFd, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0)
      throw std::runtime_error("cannot connect");
  }
  ~TRawClient() { ::close(FFd); }
  bool Send(const std::string& Bytes) {
    return ::send(FFd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL) == ssize_t(Bytes.size());
  }
  void HalfClose() { ::shutdown(FFd, SHUT_WR); }
  // What arrives until the server closes the connection or Timeout passes.
  std::string ReadAll(std::chrono::milliseconds Timeout, bool* Closed = nullptr) {
    std::string Got;
    const auto Deadline = std::chrono::steady_clock::now() + Timeout;
    for (;;) {
      const auto Left =
          std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now()).count();
      pollfd Wait{FFd, POLLIN, 0};
      if (Left <= 0 || ::poll(&Wait, 1, int(Left)) <= 0)
        break;
      char Buffer[4096];
      const ssize_t Count = ::recv(FFd, Buffer, sizeof Buffer, 0);
      if (Count <= 0) {
        if (Closed)
          *Closed = true;
        break;
      }
      Got.append(Buffer, size_t(Count));
    }
    return Got;
  }

private:
  int FFd;
};

// The pids of a process group's members named Name.
std::vector<pid_t> GroupMembers(pid_t Group, const std::string& Name) {
  std::vector<pid_t> Found;
  DIR* Proc = ::opendir("/proc");
  while (dirent* Entry = Proc ? ::readdir(Proc) : nullptr) {
    const pid_t Pid = std::atoi(Entry->d_name);
    if (Pid <= 0 || ::getpgid(Pid) != Group)
      continue;
    std::ifstream Comm("/proc/" + std::to_string(Pid) + "/comm");
    std::string Command;
    std::getline(Comm, Command);
    if (Command == Name)
      Found.push_back(Pid);
  }
  if (Proc)
    ::closedir(Proc);
  return Found;
}

class IgnoreSigpipe : public ::testing::Environment {
  void SetUp() override { ::signal(SIGPIPE, SIG_IGN); }
};
const auto* const SigpipeEnvironment = ::testing::AddGlobalTestEnvironment(new IgnoreSigpipe);

} // namespace

TEST(TranslateServer, ApertiumTranslatesEnglishToSpanish) {
  TRunningServer Server(Engines(std::make_unique<TApertiumEngine>()));
  const auto Reply = Server.Translate("en", "es", "The house is red.");
  ASSERT_TRUE(Reply);
  EXPECT_EQ(Reply->status, 200);
  EXPECT_EQ(Reply->get_header_value("Content-Type"), "application/json; charset=utf-8");
  EXPECT_NE(Json(Reply)["translated_text"].get<std::string>().find("casa"), std::string::npos) << Reply->body;

  // The subject Spanish drops must not leave its blank at the front.
  EXPECT_EQ(Json(Server.Translate("en", "es", "I have red cars."))["translated_text"], "Tengo coches rojos.");
  EXPECT_EQ(Json(Server.Translate("en", "es", "  The dog. "))["translated_text"], "  El perro. ");
}

TEST(TranslateServer, PairWithoutEngineIsRefusedByName) {
  TRunningServer Server(Engines(std::make_unique<TApertiumEngine>()));
  const auto Reply = Server.Translate("en", "ko", "The house is red.");
  ASSERT_TRUE(Reply);
  EXPECT_EQ(Reply->status, 400);
  const std::string Error = Json(Reply)["error"];
  EXPECT_NE(Error.find("en\u2192ko"), std::string::npos) << Error;
  EXPECT_NE(Error.find("apertium-eng-kor"), std::string::npos) << Error;
  EXPECT_NE(Error.find("--relay"), std::string::npos) << Error;
}

TEST(TranslateServer, KilledApertiumPipelineIsRestarted) {
  auto Owned = std::make_unique<TApertiumEngine>(DefaultApertiumModes, std::chrono::seconds(10));
  TApertiumEngine& Apertium = *Owned;
  TRunningServer Server(Engines(std::move(Owned)));
  ASSERT_EQ(Server.Translate("en", "es", "The dog.")->status, 200);
  const pid_t Group = Apertium.PipelineProcessGroup({"eng", "spa"});
  ASSERT_GT(Group, 0);
  ASSERT_EQ(::kill(-Group, SIGKILL), 0);

  const auto Start = std::chrono::steady_clock::now();
  const auto Reply = Server.Translate("en", "es", "The house is red.");
  ASSERT_TRUE(Reply);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(15));
  if (Reply->status == 200)
    EXPECT_NE(Json(Reply)["translated_text"].get<std::string>().find("casa"), std::string::npos);
  else
    EXPECT_EQ(Reply->status, 503) << Reply->body;
  EXPECT_NE(Apertium.PipelineProcessGroup({"eng", "spa"}), Group);
}

TEST(TranslateServer, SecondIdenticalRequestComesFromTheCache) {
  auto Owned = std::make_unique<TCountingEngine>();
  TCountingEngine& Engine = *Owned;
  TRunningServer Server(Engines(std::move(Owned)));
  for (int I = 0; I < 2; ++I) {
    const auto Reply = Server.Translate("en", "de", "hello");
    ASSERT_EQ(Reply->status, 200);
    EXPECT_EQ(Json(Reply)["translated_text"], "HELLO");
  }
  EXPECT_EQ(Engine.Calls, 1);
  EXPECT_EQ(Json(Server.Translate("eng", "deu", "hello"))["translated_text"], "HELLO");
  EXPECT_EQ(Engine.Calls, 1);
  Server.Translate("en", "de", "other");
  EXPECT_EQ(Engine.Calls, 2);
}

TEST(TranslateServer, RelayCarriesTheRequestAndItsAnswer) {
  TLoopbackServer LibreTranslate([](const httplib::Request& Request, httplib::Response& Response) {
    const auto Body = nlohmann::json::parse(Request.body);
    if (Body["target"] == "ja") {
      Response.status = 403;
      Response.set_content(R"({"error":"Invalid API key"})", "application/json");
    } else {
      Response.set_content(nlohmann::json{{"translatedText", "\uc9d1\uc740 \ube68\uac04\uc0c9"}}.dump(),
                           "application/json");
    }
  });
  auto Relay = std::make_unique<TRelayEngine>(LibreTranslate.Url().toStdString() + "/", "secret");
  TRunningServer Server(Engines(std::make_unique<TApertiumEngine>(), std::move(Relay)));

  const auto Reply = Server.Translate("en", "ko", "The house is red.");
  ASSERT_EQ(Reply->status, 200) << Reply->body;
  EXPECT_EQ(Json(Reply)["translated_text"], "\uc9d1\uc740 \ube68\uac04\uc0c9");
  const auto Requests = LibreTranslate.Requests();
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_EQ(Requests[0].Path, "/translate");
  EXPECT_EQ(
      nlohmann::json::parse(Requests[0].Body),
      (nlohmann::json{
          {"q", "The house is red."}, {"source", "en"}, {"target", "ko"}, {"format", "text"}, {"api_key", "secret"}}));

  // Apertium keeps the pairs it has.
  EXPECT_EQ(Server.Translate("en", "es", "The dog.")->status, 200);
  EXPECT_EQ(LibreTranslate.Requests().size(), 1u);

  const auto Refused = Server.Translate("en", "ja", "The house is red.");
  EXPECT_EQ(Refused->status, 403);
  EXPECT_NE(Json(Refused)["error"].get<std::string>().find("Invalid API key"), std::string::npos);
}

TEST(TranslateServer, UnreachableRelayIsABadGateway) {
  TRunningServer Server(Engines(std::make_unique<TRelayEngine>(UnusedLoopbackUrl().toStdString(), "")));
  const auto Reply = Server.Translate("en", "ko", "The house is red.");
  ASSERT_TRUE(Reply);
  EXPECT_EQ(Reply->status, 502);
  EXPECT_NE(Json(Reply)["error"].get<std::string>().find("unreachable"), std::string::npos) << Reply->body;
}

TEST(TranslateServer, BadInputIsRefusedAndTheServerGoesOn) {
  TRunningServer Server(Engines(std::make_unique<TCountingEngine>()));
  const std::string Huge(1 << 20, 'a');
  const std::pair<std::string, int> Cases[] = {
      {"", 400},
      {"{\"sl\":\"en\",", 400},
      {"[1,2]", 400},
      {R"({"sl":"en","tl":"de"})", 400},
      {R"({"sl":1,"tl":"de","q":"x"})", 400},
      {R"({"sl":"en","tl":"de","q":["x"]})", 400},
      {R"({"sl":"en","tl":"de","hn":5,"q":"x"})", 400},
      {R"({"sl":"en!","tl":"de","q":"x"})", 400},
      {"{\"sl\":\"en\",\"tl\":\"de\",\"q\":\"a\xC3(\"}", 400},
      {"{\"sl\":\"en\",\"tl\":\"de\",\"q\":\"\xED\xA0\x80\"}", 400},
      {R"({"sl":"en","tl":"de","q":")" + Huge + "\"}", 413},
  };
  for (const auto& [Body, Status] : Cases) {
    const auto Reply = Server.Post(Body);
    ASSERT_TRUE(Reply) << Body.substr(0, 60);
    EXPECT_EQ(Reply->status, Status) << Body.substr(0, 60);
    const auto Error = nlohmann::json::parse(Reply->body, nullptr, false);
    EXPECT_TRUE(Error.contains("error") && !Error["error"].get<std::string>().empty()) << Reply->body;
  }
  EXPECT_EQ(Server.Translate("en", "de", "still here")->status, 200);
}

// curl --data sends a body as a form, which the server takes only up to 8 KiB
// however large its limit for other bodies: the refusal says so, rather
// than that the body passed 64 MiB.
TEST(TranslateServer, ABodySentAsAFormIsRefusedForWhatItIs) {
  TRunningServer Server(Engines(std::make_unique<TCountingEngine>()));
  const std::string Body = R"({"sl":"en","tl":"de","q":")" + std::string(10000, 'a') + "\"}";
  const auto Reply = Server.Post(Body, "/translate", "application/x-www-form-urlencoded");
  ASSERT_TRUE(Reply);
  EXPECT_EQ(Reply->status, 413);
  EXPECT_NE(Json(Reply)["error"].get<std::string>().find("sent as a form"), std::string::npos) << Reply->body;
  EXPECT_EQ(Server.Post(Body)->status, 200);
}

TEST(TranslateServer, HealthListsEnginesAndPairsAndOcrWaitsForItsService) {
  TRunningServer Server(
      Engines(std::make_unique<TApertiumEngine>(), std::make_unique<TRelayEngine>("http://127.0.0.1:1", "")));
  const auto Health = Server.Get("/health");
  ASSERT_EQ(Health->status, 200);
  const auto Body = Json(Health);
  EXPECT_EQ(Body["engines"], (nlohmann::json{"apertium", "relay"}));
  EXPECT_EQ(Body["ocr"], false);
  const auto& Pairs = Body["pairs"];
  EXPECT_NE(std::find(Pairs.begin(), Pairs.end(), nlohmann::json{{"sl", "en"}, {"tl", "es"}, {"engine", "apertium"}}),
            Pairs.end())
      << Pairs;
  const auto Ocr = Server.Post("BM", "/ocr");
  ASSERT_TRUE(Ocr);
  EXPECT_EQ(Ocr->status, 503);
  EXPECT_TRUE(Json(Ocr).contains("error"));
}

// A stage that dies flushes what it holds downstream, and the pipeline's
// end then writes its end-of-answer mark with nothing before it: that must
// never be taken for a translation, nor kept in the cache. The kill lands at
// several moments around the next request.
TEST(TranslateServer, AKilledPipelineStageNeverGivesOrCachesAnEmptyTranslation) {
  auto Owned = std::make_unique<TApertiumEngine>(DefaultApertiumModes, std::chrono::seconds(10));
  TApertiumEngine& Apertium = *Owned;
  TRunningServer Server(Engines(std::move(Owned)));
  ASSERT_EQ(Server.Translate("en", "es", "The dog.")->status, 200);
  const auto Check = [&](const std::string& Text, const char* When) {
    SCOPED_TRACE(When);
    const auto Reply = Server.Translate("en", "es", Text);
    ASSERT_TRUE(Reply);
    if (Reply->status == 200)
      EXPECT_NE(Json(Reply)["translated_text"].get<std::string>().find("casa"), std::string::npos) << Reply->body;
    else
      EXPECT_GE(Reply->status, 500) << Reply->body;
  };
  for (const int DelayMs : {0, 10, 50}) {
    const std::string Text = "The house number " + std::to_string(DelayMs * 7 + int(::random() % 1000)) + " is red.";
    ASSERT_EQ(Server.Translate("en", "es", "The dog.")->status, 200);
    const pid_t Group = Apertium.PipelineProcessGroup({"eng", "spa"});
    const auto Taggers = GroupMembers(Group, "apertium-tagger");
    ASSERT_EQ(Taggers.size(), 1u);
    ASSERT_EQ(::kill(Taggers[0], SIGKILL), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(DelayMs));
    Check(Text, "first request after the kill");
    Check(Text, "the same text again");
  }
}

// Requests that take longer than the deadline to arrive are cut, whether
// they drip their headers or their body, and the server answers others
// meanwhile.
TEST(TranslateServer, ARequestThatDoesNotArriveWithinTheDeadlineIsCut) {
  TServerLimits Limits;
  Limits.RequestDeadline = std::chrono::milliseconds(800);
  TRunningServer Server(Engines(std::make_unique<TCountingEngine>()), Limits);
  const std::pair<const char*, std::string> Cases[] = {
      {"headers", "POST /translate HTTP/1.1\r\nHost: x\r\nX-Slow: "},
      {"body", "POST /translate HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: 100\r\n\r\n{"},
  };
  for (const auto& [Name, Start] : Cases) {
    SCOPED_TRACE(Name);
    TRawClient Slow(Server.Port());
    ASSERT_TRUE(Slow.Send(Start));
    const auto Began = std::chrono::steady_clock::now();
    std::string Reply;
    bool Closed = false;
    while (!Closed && std::chrono::steady_clock::now() - Began < std::chrono::seconds(5)) {
      Slow.Send("a");
      Reply += Slow.ReadAll(std::chrono::milliseconds(200), &Closed);
      EXPECT_EQ(Server.Translate("en", "de", "meanwhile")->status, 200);
    }
    EXPECT_TRUE(Closed);
    EXPECT_LT(std::chrono::steady_clock::now() - Began, std::chrono::seconds(3));
    EXPECT_TRUE(Reply.starts_with("HTTP/1.1 408 ")) << Reply;
  }
}

// Requests framed in every way a client may frame them, read byte for byte.
TEST(TranslateServer, RawRequestsGetTheirAnswers) {
  TRunningServer Server(Engines(std::make_unique<TCountingEngine>()));
  const std::string Body = R"({"sl":"en","tl":"de","q":"raw"})";
  const std::string Length = std::to_string(Body.size());
  const std::string Head = "POST /translate HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n";
  std::ostringstream HexLength;
  HexLength << std::hex << Body.size() - 5;
  const std::string Hex = HexLength.str();
  struct TCase {
    const char* Name;
    std::string Request;
    bool HalfClose;
    std::string Expected; // the start of the reply
    std::string Contains;
  };
  const TCase Cases[] = {
      {"half-closed after the request", Head + "Content-Length: " + Length + "\r\n\r\n" + Body, true, "HTTP/1.1 200 ",
       "RAW"},
      {"chunked, with a chunk extension",
       Head + "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n5\r\n" + Body.substr(0, 5) + "\r\n" + Hex +
           ";x=1\r\n" + Body.substr(5) + "\r\n0\r\n\r\n",
       false, "HTTP/1.1 200 ", "RAW"},
      {"body over the limit", Head + "Connection: close\r\nContent-Length: 100000000\r\n\r\n", false, "HTTP/1.1 413 ",
       "larger than 64 MiB"},
      {"two lengths", Head + "Content-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", false, "HTTP/1.1 400 ",
       "Content-Length"},
      {"unknown transfer coding", Head + "Transfer-Encoding: gzip\r\n\r\n", false, "HTTP/1.1 501 ", "chunked"},
      {"headers without end", Head + std::string(70000, 'h'), false, "HTTP/1.1 431 ", "headers"},
      {"pipelined, then half-closed",
       Head + "Content-Length: " + Length + "\r\n\r\n" + Body + Head + "Content-Length: " + Length + "\r\n\r\n" + Body,
       true, "HTTP/1.1 200 ", "RAW"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TRawClient Client(Server.Port());
    ASSERT_TRUE(Client.Send(Case.Request));
    if (Case.HalfClose)
      Client.HalfClose();
    bool Closed = false;
    const std::string Reply = Client.ReadAll(std::chrono::seconds(5), &Closed);
    EXPECT_TRUE(Closed);
    EXPECT_TRUE(Reply.starts_with(Case.Expected)) << Reply.substr(0, 300);
    EXPECT_NE(Reply.find(Case.Contains), std::string::npos) << Reply.substr(0, 300);
  }

  // The body follows only once the server has said to go on.
  TRawClient Client(Server.Port());
  ASSERT_TRUE(
      Client.Send(Head + "Expect: 100-continue\r\nConnection: close\r\nContent-Length: " + Length + "\r\n\r\n"));
  EXPECT_EQ(Client.ReadAll(std::chrono::milliseconds(500)), "HTTP/1.1 100 Continue\r\n\r\n");
  ASSERT_TRUE(Client.Send(Body));
  const std::string Reply = Client.ReadAll(std::chrono::seconds(5));
  EXPECT_TRUE(Reply.starts_with("HTTP/1.1 200 ")) << Reply;
  EXPECT_NE(Reply.find("RAW"), std::string::npos) << Reply;
}

// Connections past the most the server serves are told so at once.
TEST(TranslateServer, ConnectionsBeyondTheLimitAreRefusedAtOnce) {
  TServerLimits Limits;
  Limits.MaxConnections = 4;
  TRunningServer Server(Engines(std::make_unique<TCountingEngine>()), Limits);
  std::vector<std::unique_ptr<TRawClient>> Held;
  for (int I = 0; I < 4; ++I)
    Held.push_back(std::make_unique<TRawClient>(Server.Port()));
  TRawClient Extra(Server.Port());
  bool Closed = false;
  const std::string Reply = Extra.ReadAll(std::chrono::seconds(2), &Closed);
  EXPECT_TRUE(Closed);
  EXPECT_TRUE(Reply.starts_with("HTTP/1.1 503 ")) << Reply;
  EXPECT_NE(Reply.find("connections open"), std::string::npos) << Reply;
  Held.clear();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Server.Translate("en", "de", "again")->status, 200);
}
