#pragma once

#include "server/ApertiumPipeline.h"
#include "server/TranslateEngine.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

inline constexpr const char* DefaultApertiumModes = "/usr/share/apertium/modes";

// Translates through the installed Apertium pairs: one pipeline per pair,
// started on its first request and kept for the next ones.
class TApertiumEngine : public TTranslateEngine {
public:
  // Pairs are the plain translation modes found in ModesDir ("eng-spa.mode";
  // variants such as "spa-eng_US.mode" and debugging modes are left out).
  explicit TApertiumEngine(std::filesystem::path ModesDir = DefaultApertiumModes,
                           std::chrono::milliseconds Timeout = std::chrono::seconds(10));

  std::string Name() const override { return "apertium"; }
  std::vector<TLanguagePair> Pairs() const override;
  bool Serves(const TLanguagePair& Pair) const override;
  TTranslateResult Translate(const TLanguagePair& Pair, const std::string& Text) override;

  // The process group of a pair's running pipeline, -1 when none runs.
  pid_t PipelineProcessGroup(const TLanguagePair& Pair) const;

private:
  std::string ModeName(const TLanguagePair& Pair) const;
  TNullFlushProcess* Pipeline(const TLanguagePair& Pair, std::string& Error);

  std::filesystem::path FModesDir;
  std::chrono::milliseconds FTimeout;
  // Mode file stem by pair, in the three-letter codes.
  std::map<std::pair<std::string, std::string>, std::string> FModes;
  mutable std::mutex FMutex;
  std::map<std::string, std::unique_ptr<TNullFlushProcess>> FPipelines;
  std::atomic<unsigned long long> FExchanges = 0;
};
