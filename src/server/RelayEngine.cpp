#include "server/RelayEngine.h"

#include "server/LanguageCodes.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <regex>

TRelayEngine::TRelayEngine(std::string Url, std::string ApiKey) : FUrl(std::move(Url)), FApiKey(std::move(ApiKey)) {
  while (!FUrl.empty() && FUrl.back() == '/')
    FUrl.pop_back();
}

TTranslateResult TRelayEngine::Translate(const TLanguagePair& Pair, const std::string& Text) {
  static const std::regex UrlForm(R"(((https?)://[^/]+)(/.*)?)", std::regex::icase);
  std::smatch Match;
  if (!std::regex_match(FUrl, Match, UrlForm))
    return TTranslateResult::Failure(502, "the --relay URL " + FUrl + " is not an http:// or https:// URL");
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
  if (Match[2].str().size() == 5)
    return TTranslateResult::Failure(502, "this korvex-server was built without TLS and cannot reach the https relay " +
                                              FUrl + ": use an http:// URL");
#endif
  httplib::Client Client(Match[1].str());
  Client.set_connection_timeout(5);
  Client.set_read_timeout(60);
  Client.set_write_timeout(30);

  // LibreTranslate knows languages by their two-letter codes.
  nlohmann::json Request{{"q", Text},
                         {"source", ShortLanguageCode(Pair.Source)},
                         {"target", ShortLanguageCode(Pair.Target)},
                         {"format", "text"}};
  if (!FApiKey.empty())
    Request["api_key"] = FApiKey;
  const auto Reply =
      Client.Post(Match[3].str() + "/translate", Request.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                  "application/json");
  if (!Reply)
    return TTranslateResult::Failure(502, "the translation relay at " + FUrl + " is unreachable (" +
                                              httplib::to_string(Reply.error()) + ")");
  const auto Body = nlohmann::json::parse(Reply->body, nullptr, false);
  if (Reply->status == 200 && Body.is_object() && Body.contains("translatedText") && Body["translatedText"].is_string())
    return TTranslateResult::Success(Body["translatedText"].get<std::string>());
  if (Body.is_object() && Body.contains("error") && Body["error"].is_string()) {
    const int Status = Reply->status >= 400 && Reply->status <= 599 ? Reply->status : 502;
    return TTranslateResult::Failure(Status, Body["error"].get<std::string>());
  }
  return TTranslateResult::Failure(502, "the translation relay at " + FUrl + " answered status " +
                                            std::to_string(Reply->status) + " without \"translatedText\"");
}
