// The change test on two 1920 x 1080 captures. Target: under 2 ms per
// comparison on one core. Beside each figure: the time of a plain memcmp of
// the two captures as 32-bit buffers with equal contents (so it reads both to
// the end), and the ratio to it.
//   build/bench/capture/change_test_bench
#include "capture/ScreenCapture.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>

namespace {

using TClock = std::chrono::steady_clock;

// A screen-like capture: a flat background with random specks on 10 % of
// the pixels.
QImage Capture(uint32_t Seed, QColor Background = QColor(236, 236, 236)) {
  QImage Image(1920, 1080, QImage::Format_RGB32);
  Image.fill(Background);
  std::mt19937 Random(Seed);
  for (int I = 0; I < 200000; ++I) {
    const int X = int(Random() % 1920), Y = int(Random() % 1080);
    Image.setPixel(X, Y, 0xff000000u | (Random() & 0xffffffu));
  }
  return Image;
}

// Seconds per memcmp of two equal 1920 x 1080 RGB32 captures.
double MemcmpSeconds() {
  const QImage A = Capture(1);
  std::vector<uint8_t> CopyA(A.constBits(), A.constBits() + A.sizeInBytes());
  std::vector<uint8_t> CopyB = CopyA;
  int Sink = 0;
  const int Rounds = 50;
  const auto Start = TClock::now();
  for (int I = 0; I < Rounds; ++I) {
    Sink += std::memcmp(CopyA.data(), CopyB.data(), CopyA.size());
    benchmark::DoNotOptimize(Sink);
  }
  return std::chrono::duration<double>(TClock::now() - Start).count() / Rounds;
}

// Previous, Current: the formats the two bitmaps have when the test starts.
// A timer tick compares a fresh RGB32 capture with the previous one, which
// the last comparison left in 24-bit.
// Faded: every background pixel 10 darker, which no pixel's change test
// needs grey levels for. Recoloured: the background's blue 60 lower, a grey
// change of 7 that the test only sees after computing both grey levels of
// 90 % of the pixels: the most work it can have.
enum class TContent { Same, Different, Faded, Recoloured };

void RunChangeTest(benchmark::State& State, QImage::Format Previous, QImage::Format Current, TContent Content) {
  const QImage A = Capture(1).convertToFormat(Previous);
  const QImage B = (Content == TContent::Same        ? Capture(1)
                    : Content == TContent::Different ? Capture(2)
                    : Content == TContent::Faded     ? Capture(1, QColor(226, 226, 226))
                                                     : Capture(1, QColor(236, 236, 176)))
                       .convertToFormat(Current);
  double Total = 0;
  for (auto _ : State) {
    QImage WorkA = A.copy(), WorkB = B.copy();
    const auto Start = TClock::now();
    benchmark::DoNotOptimize(IsChangedScreen(WorkA, WorkB, 0.02f));
    const double Seconds = std::chrono::duration<double>(TClock::now() - Start).count();
    State.SetIterationTime(Seconds);
    Total += Seconds;
  }
  const double Memcmp = MemcmpSeconds();
  State.counters["memcmp_ms"] = Memcmp * 1e3;
  State.counters["x_memcmp"] = Total / double(State.iterations()) / Memcmp;
}

void BM_ChangeTest_TimerTick(benchmark::State& State) {
  RunChangeTest(State, QImage::Format_BGR888, QImage::Format_RGB32, TContent::Same);
}
void BM_ChangeTest_TimerTickChanged(benchmark::State& State) {
  RunChangeTest(State, QImage::Format_BGR888, QImage::Format_RGB32, TContent::Different);
}
void BM_ChangeTest_TimerTickFaded(benchmark::State& State) {
  RunChangeTest(State, QImage::Format_BGR888, QImage::Format_RGB32, TContent::Faded);
}
void BM_ChangeTest_TimerTickRecoloured(benchmark::State& State) {
  RunChangeTest(State, QImage::Format_BGR888, QImage::Format_RGB32, TContent::Recoloured);
}
void BM_ChangeTest_Both32Bit(benchmark::State& State) {
  RunChangeTest(State, QImage::Format_RGB32, QImage::Format_RGB32, TContent::Same);
}
void BM_ChangeTest_Both24Bit(benchmark::State& State) {
  RunChangeTest(State, QImage::Format_BGR888, QImage::Format_BGR888, TContent::Same);
}
BENCHMARK(BM_ChangeTest_TimerTick)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChangeTest_TimerTickChanged)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChangeTest_TimerTickFaded)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChangeTest_TimerTickRecoloured)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChangeTest_Both32Bit)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChangeTest_Both24Bit)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
