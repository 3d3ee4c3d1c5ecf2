#pragma once

#include <string>
#include <vector>

// A translation direction in Apertium's three-letter codes ("eng", "spa").
struct TLanguagePair {
  std::string Source;
  std::string Target;
  bool operator==(const TLanguagePair&) const = default;
};

// What an engine made of one text: the translation when Status is 200,
// otherwise an HTTP status and an English message for the client.
struct TTranslateResult {
  int Status = 200;
  std::string Text;
  std::string Error;

  static TTranslateResult Success(std::string Translation) { return {200, std::move(Translation), {}}; }
  static TTranslateResult Failure(int Code, std::string Message) { return {Code, {}, std::move(Message)}; }
  bool Ok() const { return Status == 200; }
};

// One way of translating text. Translate may be called from several threads
// at once.
class TTranslateEngine {
public:
  virtual ~TTranslateEngine() = default;
  virtual std::string Name() const = 0;
  // The pairs listed by /health; an engine that takes any pair lists none.
  virtual std::vector<TLanguagePair> Pairs() const = 0;
  virtual bool Serves(const TLanguagePair& Pair) const = 0;
  virtual TTranslateResult Translate(const TLanguagePair& Pair, const std::string& Text) = 0;
};
