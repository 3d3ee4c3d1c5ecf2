#pragma once

#include "server/TranslateEngine.h"

// Hands every pair to a LibreTranslate-compatible server (POST {Url}/translate).
class TRelayEngine : public TTranslateEngine {
public:
  TRelayEngine(std::string Url, std::string ApiKey);

  std::string Name() const override { return "relay"; }
  std::vector<TLanguagePair> Pairs() const override { return {}; }
  bool Serves(const TLanguagePair&) const override { return true; }
  TTranslateResult Translate(const TLanguagePair& Pair, const std::string& Text) override;

private:
  std::string FUrl;
  std::string FApiKey;
};
