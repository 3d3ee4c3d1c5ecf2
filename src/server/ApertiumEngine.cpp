#include "server/ApertiumEngine.h"

#include "server/LanguageCodes.h"

#include <regex>

namespace {

std::string PairText(const TLanguagePair& Pair) { return Pair.Source + "-" + Pair.Target; }

// A dropped word keeps the blank after it ("I have" -> " Tengo"), so the
// translation's edges get the source's white space instead of their own.
std::string MatchEdges(const std::string& Source, const std::string& Translation) {
  constexpr const char* Blanks = " \t\r\n";
  const size_t First = Translation.find_first_not_of(Blanks);
  if (First == std::string::npos)
    return Translation;
  const size_t Last = Translation.find_last_not_of(Blanks);
  const size_t SourceFirst = Source.find_first_not_of(Blanks);
  const size_t SourceLast = Source.find_last_not_of(Blanks);
  if (SourceFirst == std::string::npos)
    return Translation;
  return Source.substr(0, SourceFirst) + Translation.substr(First, Last + 1 - First) + Source.substr(SourceLast + 1);
}

} // namespace

TApertiumEngine::TApertiumEngine(std::filesystem::path ModesDir, std::chrono::milliseconds Timeout)
    : FModesDir(std::move(ModesDir)), FTimeout(Timeout) {
  static const std::regex Plain("([a-z]{2,3})-([a-z]{2,3})");
  std::error_code Error;
  for (const auto& Entry : std::filesystem::directory_iterator(FModesDir, Error)) {
    const auto& Path = Entry.path();
    std::smatch Match;
    const std::string Stem = Path.stem().string();
    if (Path.extension() != ".mode" || !std::regex_match(Stem, Match, Plain))
      continue;
    const std::string Source = ApertiumLanguageCode(Match[1]);
    const std::string Target = ApertiumLanguageCode(Match[2]);
    if (!Source.empty() && !Target.empty())
      FModes[{Source, Target}] = Stem;
  }
}

std::vector<TLanguagePair> TApertiumEngine::Pairs() const {
  std::vector<TLanguagePair> Result;
  for (const auto& [Pair, Mode] : FModes)
    Result.push_back({Pair.first, Pair.second});
  return Result;
}

bool TApertiumEngine::Serves(const TLanguagePair& Pair) const { return !ModeName(Pair).empty(); }

std::string TApertiumEngine::ModeName(const TLanguagePair& Pair) const {
  const auto It = FModes.find({Pair.Source, Pair.Target});
  return It == FModes.end() ? std::string() : It->second;
}

pid_t TApertiumEngine::PipelineProcessGroup(const TLanguagePair& Pair) const {
  std::lock_guard Lock(FMutex);
  const auto It = FPipelines.find(ModeName(Pair));
  return It == FPipelines.end() ? -1 : It->second->ProcessGroup();
}

TNullFlushProcess* TApertiumEngine::Pipeline(const TLanguagePair& Pair, std::string& Error) {
  const std::string Mode = ModeName(Pair);
  std::lock_guard Lock(FMutex);
  auto& Slot = FPipelines[Mode];
  if (!Slot) {
    // apertium-wblank-mode writes the mode's pipeline with every stage in
    // null-flush mode. The plain-text stages of the apertium script do not
    // flush on NUL, so the text is put into stream form here instead.
    const auto Command = RunCommand({"apertium-wblank-mode", "-z", (FModesDir / (Mode + ".mode")).string()}, {},
                                    std::chrono::seconds(10));
    if (!Command || Command->empty()) {
      FPipelines.erase(Mode);
      Error = "could not read the Apertium mode " + Mode + " with apertium-wblank-mode: reinstall apertium";
      return nullptr;
    }
    // $1 is the generator's option: -n leaves unknown words unmarked, which
    // reads better over the screen than Apertium's asterisks. $2, the
    // tagger's option, stays empty.
    Slot = std::make_unique<TNullFlushProcess>(
        std::vector<std::string>{"bash", "-c", *Command, "korvex-apertium-" + Mode, "-n"});
  }
  return Slot.get();
}

TTranslateResult TApertiumEngine::Translate(const TLanguagePair& Pair, const std::string& Text) {
  const std::string Name = PairText(Pair);
  if (!Serves(Pair))
    return TTranslateResult::Failure(400, "Apertium has no pair " + Name + " installed");
  std::string Error;
  TNullFlushProcess* Process = Pipeline(Pair, Error);
  if (!Process)
    return TTranslateResult::Failure(503, Error);
  // A blank of Apertium's stream format, which every stage passes through
  // untouched; the text's own brackets are escaped, so it cannot forge it.
  const std::string Seal = "[korvex " + std::to_string(++FExchanges) + "]";
  const TPipelineAnswer Answer = Process->Exchange(ToApertiumStream(Text), FTimeout, Seal);
  switch (Answer.Kind) {
  case TPipelineAnswer::EKind::Answered:
    return TTranslateResult::Success(MatchEdges(Text, FromApertiumStream(Answer.Output)));
  case TPipelineAnswer::EKind::TimedOut:
    return TTranslateResult::Failure(503, "the Apertium pipeline " + Name + " did not answer within " +
                                              std::to_string(FTimeout.count()) + " ms and was stopped");
  case TPipelineAnswer::EKind::Died:
    return TTranslateResult::Failure(503, "the Apertium pipeline " + Name + " stopped while translating");
  case TPipelineAnswer::EKind::StartFailed: break;
  }
  return TTranslateResult::Failure(503, "could not start the Apertium pipeline " + Name +
                                            ": check that bash and the apertium package are installed");
}
