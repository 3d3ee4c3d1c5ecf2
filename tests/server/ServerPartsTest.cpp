#include "server/ApertiumPipeline.h"
#include "server/HttpRequestHead.h"
#include "server/LanguageCodes.h"
#include "server/ServerOptions.h"
#include "server/TranslationCache.h"

#include <gtest/gtest.h>

TEST(ApertiumStream, EveryMarkupCharacterSurvivesTheRoundTrip) {
  const std::string Text = "a[b]c^d$e/f@g\\h<i>j{k}l~m\nn\ro*p#q";
  const std::string Stream = ToApertiumStream(Text);
  EXPECT_TRUE(Stream.ends_with("[]"));
  EXPECT_EQ(Stream.find('\n'), Stream.find("[\n]") + 1);
  EXPECT_EQ(FromApertiumStream(Stream), Text);
  EXPECT_EQ(ToApertiumStream(std::string("a\0b", 3)), "a b[]");
}

TEST(LanguageCodes, TwoLetterCodesMapToApertiumCodes) {
  const std::pair<const char*, const char*> Cases[] = {
      {"en", "eng"}, {"es", "spa"},  {"ca", "cat"},  {"fr", "fra"}, {"pt", "por"}, {"it", "ita"}, {"de", "deu"},
      {"EN", "eng"}, {"spa", "spa"}, {"ast", "ast"}, {"x", ""},     {"e1", ""},    {"", ""}};
  for (const auto& [Code, Expected] : Cases)
    EXPECT_EQ(ApertiumLanguageCode(Code), Expected) << Code;
  EXPECT_EQ(ShortLanguageCode("kor"), "ko");
  EXPECT_EQ(ShortLanguageCode("ast"), "ast");
}

TEST(LanguageCodes, Utf8Check) {
  const std::pair<std::string, bool> Cases[] = {{"plain", true},
                                                {"\xED\x95\x9C\xEA\xB8\x80", true},
                                                {"\xF0\x9F\x98\x80", true},
                                                {"\xC3", false},
                                                {"\xC0\xAF", false},
                                                {"\xED\xA0\x80", false},
                                                {"\xF4\x90\x80\x80", false},
                                                {"\xFF", false},
                                                {"a\x80", false}};
  for (const auto& [Text, Valid] : Cases)
    EXPECT_EQ(IsValidUtf8(Text), Valid) << Text;
}

TEST(TranslationCache, DropsTheLeastRecentlyUsedOnceOverItsBytes) {
  TTranslationCache Cache(900); // room for two of the entries below
  const std::string Big(200, 'x');
  Cache.Insert("a", Big);
  Cache.Insert("b", Big);
  ASSERT_TRUE(Cache.Find("a")); // "b" is now the oldest
  Cache.Insert("c", Big);
  EXPECT_TRUE(Cache.Find("a"));
  EXPECT_FALSE(Cache.Find("b"));
  EXPECT_EQ(*Cache.Find("c"), Big);
  EXPECT_LE(Cache.Bytes(), 900u);
  Cache.Insert("huge", std::string(5000, 'y'));
  EXPECT_FALSE(Cache.Find("huge"));
  EXPECT_TRUE(Cache.Find("c"));
}

TEST(NullFlushProcess, AnswersInTurnAndKillsAnOverrun) {
  // sed -z reads NUL-ended records and -u writes each answer at once, as the
  // Apertium pipeline does.
  TNullFlushProcess Echo({"sed", "-u", "-z", "s/^/>/"});
  for (const char* Text : {"one", "two"}) {
    const auto Answer = Echo.Exchange(Text, std::chrono::seconds(5));
    ASSERT_EQ(Answer.Kind, TPipelineAnswer::EKind::Answered);
    EXPECT_EQ(Answer.Output, std::string(">") + Text);
  }
  TNullFlushProcess Silent({"sleep", "30"});
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_EQ(Silent.Exchange("x", std::chrono::milliseconds(200)).Kind, TPipelineAnswer::EKind::TimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
  EXPECT_EQ(Silent.ProcessGroup(), -1);
  TNullFlushProcess Missing({"/nonexistent/korvex-command"});
  EXPECT_EQ(Missing.Exchange("x", std::chrono::seconds(1)).Kind, TPipelineAnswer::EKind::StartFailed);
}

// A command whose stage died writes its end-of-answer mark with nothing of
// the text before it; with a seal that is no answer but a death.
TEST(NullFlushProcess, AnAnswerWithoutItsSealIsADeath) {
  TNullFlushProcess Echo({"sed", "-u", "-z", "s/^/>/"});
  const auto Sealed = Echo.Exchange("one", std::chrono::seconds(5), "[seal 1]");
  ASSERT_EQ(Sealed.Kind, TPipelineAnswer::EKind::Answered);
  EXPECT_EQ(Sealed.Output, ">one");
  // An answer at once, whatever the input: the flush of a dying stage.
  TNullFlushProcess Ghost({"sh", "-c", "printf '\\0'; exec cat >/dev/null"});
  EXPECT_EQ(Ghost.Exchange("two", std::chrono::seconds(5), "[seal 2]").Kind, TPipelineAnswer::EKind::Died);
}

TEST(ServerOptions, ParsesEveryOption) {
  const auto Options =
      ParseServerOptions({"--listen", "0.0.0.0:6000", "--relay=http://h:5001", "--relay-key", "k", "--ocr-lang",
                          "eng+deu", "--ocr-workers", "3", "--ocr-queue", "9", "--tessdata", "/td"});
  EXPECT_EQ(Options.Host, "0.0.0.0");
  EXPECT_EQ(Options.Port, 6000);
  EXPECT_EQ(Options.RelayUrl, "http://h:5001");
  EXPECT_EQ(Options.RelayKey, "k");
  EXPECT_EQ(Options.Ocr.Languages, "eng+deu");
  EXPECT_EQ(Options.Ocr.Workers, 3);
  EXPECT_EQ(Options.Ocr.QueueLimit, 9);
  EXPECT_EQ(Options.Ocr.DataPath, "/td");
  const auto Defaults = ParseServerOptions({});
  EXPECT_EQ(Defaults.Host, "127.0.0.1");
  EXPECT_EQ(Defaults.Port, 5000);
  for (const std::vector<std::string>& Bad : std::vector<std::vector<std::string>>{
           {"--listen", "5000"}, {"--listen", "h:99999"}, {"--ocr-workers", "0"}, {"--ocr-queue"}, {"--what"}})
    EXPECT_THROW(ParseServerOptions(Bad), EOptionError) << Bad[0];
}

// Requests arriving a byte at a time are complete at their last byte and
// not before, with what follows them left for the next request.
TEST(HttpRequestHead, RequestsArrivingByteByByteEndAtTheirLastByte) {
  const std::string Next = "GET /health HTTP/1.1\r\n\r\n";
  const std::pair<const char*, std::string> Cases[] = {
      {"no body", "GET /health HTTP/1.1\r\nHost: x\r\n\r\n"},
      {"length", "POST /translate HTTP/1.1\r\ncontent-length: 5\r\n\r\nhello"},
      {"chunked", "POST /ocr?x=1 HTTP/1.1\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nabc\r\n"
                  "a;ext=1\r\n0123456789\r\n0\r\nTrailer: t\r\n\r\n"},
  };
  for (const auto& [Name, Request] : Cases) {
    SCOPED_TRACE(Name);
    std::string In;
    THttpRequestHead Head;
    const std::string Stream = Request + Next;
    size_t CompleteAt = 0;
    for (size_t I = 0; I < Stream.size() && !CompleteAt; ++I) {
      In += Stream[I];
      const THeadResult Result = ReadRequestHead(In, Head, 1 << 20);
      ASSERT_NE(Result.Kind, THeadResult::EKind::Refused) << Result.Message;
      if (Result.Kind == THeadResult::EKind::Complete)
        CompleteAt = I + 1;
    }
    EXPECT_EQ(CompleteAt, Request.size());
    EXPECT_EQ(Head.RequestBytes, Request.size());
    EXPECT_EQ(Head.Ocr, std::string(Name) == "chunked");
  }
  // The answer to Expect is the caller's, so the header goes.
  std::string In = "POST /ocr HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n";
  THttpRequestHead Head;
  EXPECT_EQ(ReadRequestHead(In, Head, 1 << 20).Kind, THeadResult::EKind::SendContinue);
  EXPECT_EQ(In, "POST /ocr HTTP/1.1\r\nContent-Length: 2\r\n\r\n");
  In += "ok";
  EXPECT_EQ(ReadRequestHead(In, Head, 1 << 20).Kind, THeadResult::EKind::Complete);
  EXPECT_EQ(Head.RequestBytes, In.size());
}
