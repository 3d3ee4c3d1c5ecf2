#include "server/ApertiumEngine.h"
#include "server/ApertiumPipeline.h"
#include "server/KorvexServer.h"
#include "server/OcrService.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

// A white 24-bit BMP of Width x Height.
std::string BlankBmp(int Width, int Height) {
  const uint32_t Stride = uint32_t(Width * 3 + 3) / 4 * 4, Pixels = Stride * uint32_t(Height);
  std::string Bmp(54, '\0');
  auto Put = [&](size_t At, uint32_t Value, int Bytes) {
    for (int I = 0; I < Bytes; ++I)
      Bmp[At + I] = char(Value >> (8 * I));
  };
  Bmp[0] = 'B';
  Bmp[1] = 'M';
  Put(2, 54 + Pixels, 4);
  Put(10, 54, 4);
  Put(14, 40, 4);
  Put(18, uint32_t(Width), 4);
  Put(22, uint32_t(Height), 4);
  Put(26, 1, 2);
  Put(28, 24, 2);
  Put(34, Pixels, 4);
  return Bmp + std::string(Pixels, '\xff');
}

int ConnectTo(int Port) {
  const int Fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_port = htons(uint16_t(Port));
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0) {
    ::close(Fd);
    return -1;
  }
  return Fd;
}

// /translate of a new sentence each time, as Korvex sends it, while 32
// clients send a mix (new and cached translations, /health, small /ocr
// pictures) with 20 ms between their requests; besides, with the first
// argument's number of slow clients, each sending a header byte a second
// and reconnecting once cut, and with the second argument's number of
// clients posting 1200 x 1200 pictures to /ocr one after the other, which
// keeps it saturated. Reports the median and 99th percentile of the
// measured requests.
void BM_TranslateLatencyUnderMixedLoad(benchmark::State& State) {
  std::vector<std::unique_ptr<TTranslateEngine>> Engines;
  Engines.push_back(std::make_unique<TApertiumEngine>());
  TTranslateService Service(std::move(Engines));
  TOcrOptions OcrOptions;
  OcrOptions.DataPath = "/usr/share/tesseract-ocr/5/tessdata";
  TServerOcrService Ocr(OcrOptions);
  TKorvexServer Server(Service, [&](const std::string& Body, bool Paragraph, bool Enhance) {
    return Ocr.Recognize(Body, Paragraph, Enhance);
  });
  const int Port = Server.Bind("127.0.0.1", 0);
  std::thread Serving([&] { Server.Listen(); });
  while (!Server.IsRunning())
    std::this_thread::yield();
  const auto Body = [](const std::string& Text) { return R"({"sl":"en","tl":"es","hn":"N","q":")" + Text + "\"}"; };
  httplib::Client Warm("127.0.0.1", Port);
  Warm.Post("/translate", Body(Sentence), "application/json");

  std::atomic<bool> Done = false;
  std::vector<std::thread> Load;
  const std::string Picture = BlankBmp(320, 80);
  for (int Client = 0; Client < 32; ++Client)
    Load.emplace_back([&, Client] {
      httplib::Client Http("127.0.0.1", Port);
      Http.set_keep_alive(true);
      Http.set_read_timeout(30);
      for (int Request = 0; !Done; ++Request) {
        switch (Request % 8) {
        case 0: Http.Get("/health"); break;
        case 1: Http.Post("/ocr", Picture, "image/bmp"); break;
        case 2:
          Http.Post("/translate", Body("Client " + std::to_string(Client * 100000 + Request) + " reads."),
                    "application/json");
          break;
        default: Http.Post("/translate", Body(Sentence), "application/json");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
  const int SlowCount = int(State.range(0));
  if (SlowCount > 0)
    Load.emplace_back([&] {
      std::vector<int> Slow(size_t(SlowCount), -1);
      while (!Done) {
        for (int& Fd : Slow) {
          if (Fd >= 0 && ::send(Fd, "a", 1, MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
            ::close(Fd);
            Fd = -1;
          }
          if (Fd < 0 && (Fd = ConnectTo(Port)) >= 0)
            ::send(Fd, "POST /translate HTTP/1.1\r\nX-Slow: ", 34, MSG_NOSIGNAL);
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
      }
      for (int Fd : Slow)
        if (Fd >= 0)
          ::close(Fd);
    });
  const std::string Large = BlankBmp(1200, 1200);
  for (int Client = 0; Client < int(State.range(1)); ++Client)
    Load.emplace_back([&] {
      httplib::Client Http("127.0.0.1", Port);
      Http.set_read_timeout(120);
      while (!Done) {
        // A refusal is retried after a pause, as a client would.
        const auto Reply = Http.Post("/ocr", Large, "image/bmp");
        if (!Reply || Reply->status != 200)
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
  std::this_thread::sleep_for(std::chrono::seconds(1));

  httplib::Client Http("127.0.0.1", Port);
  Http.set_keep_alive(true);
  Http.set_read_timeout(30);
  std::vector<double> Latencies;
  int Number = 0;
  for (auto _ : State) {
    const std::string Text = "The garden number " + std::to_string(++Number) + " is green.";
    const auto Start = std::chrono::steady_clock::now();
    const auto Reply = Http.Post("/translate", Body(Text), "application/json");
    const std::chrono::duration<double> Took = std::chrono::steady_clock::now() - Start;
    if (!Reply || Reply->status != 200)
      State.SkipWithError("a /translate request failed");
    State.SetIterationTime(Took.count());
    Latencies.push_back(Took.count() * 1000);
  }
  Done = true;
  for (std::thread& Thread : Load)
    Thread.join();
  Server.Stop();
  Serving.join();
  std::sort(Latencies.begin(), Latencies.end());
  if (!Latencies.empty()) {
    State.counters["median_ms"] = Latencies[Latencies.size() / 2];
    State.counters["p99_ms"] = Latencies[std::min(Latencies.size() - 1, Latencies.size() * 99 / 100)];
  }
}
BENCHMARK(BM_TranslateLatencyUnderMixedLoad)
    ->ArgNames({"slow_clients", "heavy_ocr_clients"})
    ->Args({0, 0})
    ->Args({64, 0})
    ->Args({0, 12})
    ->UseManualTime()
    ->Iterations(400)
    ->Unit(benchmark::kMillisecond);

// A write to a pipeline stage that died must fail with EPIPE, not end the run.
const bool SigpipeIgnored = ::signal(SIGPIPE, SIG_IGN) != SIG_ERR;

} // namespace

BENCHMARK_MAIN();
