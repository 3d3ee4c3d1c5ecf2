#include "server/ApertiumEngine.h"
#include "server/ApertiumPipeline.h"
#include "server/KorvexServer.h"

#include <benchmark/benchmark.h>

#include <signal.h>

#include <thread>

namespace {

const std::string Sentence = "The house is red and the dog sleeps in the garden.";

// One sentence through the pipeline that korvex-server keeps running.
void BM_ApertiumWarmPipeline(benchmark::State& State) {
  TApertiumEngine Engine;
  const TLanguagePair Pair{"eng", "spa"};
  Engine.Translate(Pair, Sentence);
  for (auto _ : State) {
    auto Result = Engine.Translate(Pair, Sentence);
    if (!Result.Ok())
      State.SkipWithError(Result.Error.c_str());
    benchmark::DoNotOptimize(Result);
  }
}
BENCHMARK(BM_ApertiumWarmPipeline)->Unit(benchmark::kMillisecond);

// The same sentence through a fresh `apertium eng-spa`, as a server that
// started Apertium per request would do.
void BM_ApertiumColdRun(benchmark::State& State) {
  for (auto _ : State) {
    auto Output = RunCommand({"apertium", "eng-spa"}, Sentence, std::chrono::seconds(30));
    if (!Output)
      State.SkipWithError("apertium eng-spa failed");
    benchmark::DoNotOptimize(Output);
  }
}
BENCHMARK(BM_ApertiumColdRun)->Unit(benchmark::kMillisecond);

// A request whose answer is in the cache, over loopback HTTP with a kept connection.
void BM_CacheHitRoundTrip(benchmark::State& State) {
  std::vector<std::unique_ptr<TTranslateEngine>> Engines;
  Engines.push_back(std::make_unique<TApertiumEngine>());
  TTranslateService Service(std::move(Engines));
  TKorvexServer Server(Service);
  const int Port = Server.Bind("127.0.0.1", 0);
  std::thread Thread([&] { Server.Listen(); });
  while (!Server.IsRunning())
    std::this_thread::yield();
  httplib::Client Client("127.0.0.1", Port);
  Client.set_keep_alive(true);
  Client.set_tcp_nodelay(true);
  const std::string Body = R"({"sl":"en","tl":"es","hn":"N","q":")" + Sentence + "\"}";
  Client.Post("/translate", Body, "application/json");
  for (auto _ : State) {
    auto Reply = Client.Post("/translate", Body, "application/json");
    if (!Reply || Reply->status != 200)
      State.SkipWithError("no reply from the cache");
  }
  Server.Stop();
  Thread.join();
}
BENCHMARK(BM_CacheHitRoundTrip)->Unit(benchmark::kMicrosecond);

// A write to a pipeline stage that died must fail with EPIPE, not end the run.
const bool SigpipeIgnored = ::signal(SIGPIPE, SIG_IGN) != SIG_ERR;

} // namespace

BENCHMARK_MAIN();
