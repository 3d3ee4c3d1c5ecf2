// Binarisation of a 1920 x 1080 capture. Target: under 3 ms.
//   build/bench/imaging/binarize_bench
#include "imaging/OCRPreprocessor.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

// Random colours: every pixel distinct, and about one in a thousand lies on a
// rounding half of the grey formula, so the exact path is exercised as well.
QImage RandomCapture() {
  QImage Image(1920, 1080, QImage::Format_RGB32);
  std::mt19937 Random(1);
  for (int Y = 0; Y < Image.height(); ++Y) {
    auto* Row = reinterpret_cast<uint32_t*>(Image.scanLine(Y));
    for (int X = 0; X < Image.width(); ++X)
      Row[X] = 0xff000000u | (Random() & 0xffffffu);
  }
  return Image;
}

void BM_BinarizeWithGlobalThreshold(benchmark::State& State) {
  const QImage Capture = RandomCapture();
  for (auto _ : State) {
    State.PauseTiming();
    QImage Work = Capture.copy();
    State.ResumeTiming();
    TImageProcessor::BinarizeWithGlobalThreshold(Work, 128, false);
    benchmark::DoNotOptimize(Work.constBits());
  }
  State.SetBytesProcessed(State.iterations() * Capture.sizeInBytes());
}
BENCHMARK(BM_BinarizeWithGlobalThreshold)->Unit(benchmark::kMillisecond);

// The same from a 24-bit bitmap, which has to become 32-bit first.
void BM_BinarizeFrom24Bit(benchmark::State& State) {
  const QImage Capture = RandomCapture().convertToFormat(QImage::Format_BGR888);
  for (auto _ : State) {
    State.PauseTiming();
    QImage Work = Capture.copy();
    State.ResumeTiming();
    TImageProcessor::BinarizeWithGlobalThreshold(Work, 128, false);
    benchmark::DoNotOptimize(Work.constBits());
  }
}
BENCHMARK(BM_BinarizeFrom24Bit)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
