#pragma once

#include "server/ServerReply.h"
#include "server/TranslateEngine.h"
#include "server/TranslationCache.h"

#include <memory>
#include <vector>

// The longest text one request may ask to translate.
inline constexpr size_t MaxTextBytes = size_t{64} * 1024;

// Answers POST /translate: checks the request, picks the first engine that
// serves the pair, and keeps the results in the cache.
class TTranslateService {
public:
  TTranslateService(std::vector<std::unique_ptr<TTranslateEngine>> Engines, size_t CacheBytes = size_t{16} << 20);

  TServerReply Translate(const std::string& Body);
  // The JSON of GET /health.
  TServerReply Health(bool OcrAvailable) const;

private:
  std::vector<std::unique_ptr<TTranslateEngine>> FEngines;
  TTranslationCache FCache;
};

// An error reply: {"error": Message}.
TServerReply ErrorReply(int Status, const std::string& Message);
