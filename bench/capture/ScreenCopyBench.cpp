// Screen copy of 1920 x 1080 through the x11 platform. Target: under 2 ms
// with MIT-SHM; the plain XGetImage path is measured beside it.
//   tests/run-x11 build/bench/capture/screen_copy_bench
#include "platform/Platform.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

void RunCopy(benchmark::State& State, bool Shm) {
  if (Shm)
    qunsetenv("KORVEX_NO_SHM");
  else
    qputenv("KORVEX_NO_SHM", "1");
  QString Error;
  auto X11 = CreateX11Platform(&Error);
  if (!X11) {
    State.SkipWithError(qPrintable(Error));
    return;
  }
  const TRect Screen{0, 0, 1920, 1080};
  for (auto _ : State) {
    QImage Copy = X11->CopyScreen(Screen);
    benchmark::DoNotOptimize(Copy.constBits());
  }
  State.SetBytesProcessed(State.iterations() * 1920 * 1080 * 4);
}

void BM_CopyScreen_Shm(benchmark::State& State) { RunCopy(State, true); }
void BM_CopyScreen_PlainXGetImage(benchmark::State& State) { RunCopy(State, false); }
BENCHMARK(BM_CopyScreen_Shm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyScreen_PlainXGetImage)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
