#include "server/TranslateService.h"

#include "server/LanguageCodes.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>

namespace {

std::string Dump(const nlohmann::json& Value) {
  return Value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Arrow(const std::string& Source, const std::string& Target) { return Source + "\u2192" + Target; }

bool IsBlank(const std::string& Text) { return Text.find_first_not_of(" \t\r\n") == std::string::npos; }

// ASCII letters and digits, or any character beyond ASCII.
bool HasLetters(const std::string& Text) {
  return std::any_of(Text.begin(), Text.end(), [](char C) {
    return static_cast<unsigned char>(C) >= 0x80 || std::isalnum(static_cast<unsigned char>(C));
  });
}

} // namespace

TServerReply ErrorReply(int Status, const std::string& Message) {
  return {Status, Dump(nlohmann::json{{"error", Message}})};
}

TTranslateService::TTranslateService(std::vector<std::unique_ptr<TTranslateEngine>> Engines, size_t CacheBytes)
    : FEngines(std::move(Engines)), FCache(CacheBytes) {}

TServerReply TTranslateService::Translate(const std::string& Body) {
  if (Body.empty())
    return ErrorReply(400, "empty request body: send a JSON object with \"sl\", \"tl\" and \"q\"");
  if (!IsValidUtf8(Body))
    return ErrorReply(400, "the request body is not valid UTF-8");
  const auto Request = nlohmann::json::parse(Body, nullptr, false);
  if (Request.is_discarded() || !Request.is_object())
    return ErrorReply(400, "the request body is not a JSON object: send {\"sl\", \"tl\", \"hn\", \"q\"}");
  for (const char* Member : {"sl", "tl", "q"}) {
    if (!Request.contains(Member) || !Request[Member].is_string())
      return ErrorReply(400, std::string("the request needs \"") + Member + "\" as a JSON string");
  }
  if (Request.contains("hn") && !Request["hn"].is_string())
    return ErrorReply(400, "\"hn\" must be a JSON string when given");
  const auto& Text = Request["q"].get_ref<const std::string&>();
  const auto& sl = Request["sl"].get_ref<const std::string&>();
  const auto& tl = Request["tl"].get_ref<const std::string&>();
  if (Text.size() > MaxTextBytes)
    return ErrorReply(413, "the text is " + std::to_string(Text.size()) + " bytes long; at most " +
                               std::to_string(MaxTextBytes) + " bytes are translated per request");

  const TLanguagePair Pair{ApertiumLanguageCode(sl), ApertiumLanguageCode(tl)};
  if (Pair.Source.empty() || Pair.Target.empty())
    return ErrorReply(400, "unknown language code in " + Arrow(sl, tl) +
                               ": use two-letter codes such as \"en\" or Apertium's three-letter codes");
  if (Text.empty())
    return {200, Dump(nlohmann::json{{"translated_text", ""}})};

  const std::string Key = Pair.Source + '\0' + Pair.Target + '\0' + Text;
  if (auto Cached = FCache.Find(Key))
    return {200, Dump(nlohmann::json{{"translated_text", std::move(*Cached)}})};

  for (const auto& Engine : FEngines) {
    if (!Engine->Serves(Pair))
      continue;
    TTranslateResult Result = Engine->Translate(Pair, Text);
    if (!Result.Ok())
      return ErrorReply(Result.Status, Engine->Name() + " could not translate " + Arrow(sl, tl) + ": " + Result.Error);
    // A text with letters never translates to nothing; such an answer is an
    // engine's failure, shown as one and not kept.
    if (IsBlank(Result.Text) && HasLetters(Text))
      return ErrorReply(502, Engine->Name() + " gave an empty translation of " + Arrow(sl, tl));
    FCache.Insert(Key, Result.Text);
    return {200, Dump(nlohmann::json{{"translated_text", std::move(Result.Text)}})};
  }
  return ErrorReply(400, "no translation engine for " + Arrow(sl, tl) +
                             ": install an Apertium pair (apt install apertium-" + Pair.Source + "-" + Pair.Target +
                             ") or start korvex-server with --relay URL of a LibreTranslate server");
}

TServerReply TTranslateService::Health(bool OcrAvailable) const {
  nlohmann::json Engines = nlohmann::json::array();
  nlohmann::json Pairs = nlohmann::json::array();
  for (const auto& Engine : FEngines) {
    Engines.push_back(Engine->Name());
    const auto Served = Engine->Pairs();
    for (const auto& Pair : Served)
      Pairs.push_back(
          {{"sl", ShortLanguageCode(Pair.Source)}, {"tl", ShortLanguageCode(Pair.Target)}, {"engine", Engine->Name()}});
    if (Served.empty())
      Pairs.push_back({{"sl", "*"}, {"tl", "*"}, {"engine", Engine->Name()}});
  }
  return {200, Dump(nlohmann::json{{"engines", Engines}, {"pairs", Pairs}, {"ocr", OcrAvailable}})};
}
