// POST /ocr of a rendered 800 x 200 picture with four lines of text, once
// through TServerOcrService::Recognize (the BMP body Korvex posts, decoded, handed
// to a worker, answered as JSON) and once through the bare Tesseract library
// in this thread on the same pixels. Prints both times and their ratio; the
// service should stay within 1.15 x of the bare library.
//
//   build/bench/server/ocr_service_bench
#include "ocr/tesseractocr.utils.h"
#include "server/OcrService.h"
#include "support/Comparison.h"
#include "support/TextImages.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Bmp(const QImage& Image) {
  QByteArray Bytes;
  QBuffer Buffer(&Bytes);
  Buffer.open(QIODevice::WriteOnly);
  Image.save(&Buffer, "BMP");
  return Bytes.toStdString();
}

// What a program without Korvex would do: raw pixels in, text lines above
// the confidence cut out.
class TBareTesseract {
public:
  bool Init() { return FApi.Init(KORVEX_TESSDATA_DIR, "eng") == 0; }
  ~TBareTesseract() { FApi.End(); }

  std::vector<std::string> Recognize(const QImage& Rgba) {
    std::vector<std::string> Lines;
    FApi.SetImage(Rgba.constBits(), Rgba.width(), Rgba.height(), 4, int(Rgba.bytesPerLine()));
    if (FApi.Recognize(nullptr) != 0)
      return Lines;
    std::unique_ptr<tesseract::ResultIterator> Iterator(FApi.GetIterator());
    const auto Level = tesseract::RIL_TEXTLINE;
    if (Iterator) {
      do {
        if (Iterator->Confidence(Level) <= 10.0f)
          continue;
        int Left, Top, Right, Bottom;
        Iterator->BoundingBox(Level, &Left, &Top, &Right, &Bottom);
        std::unique_ptr<char[]> Text(Iterator->GetUTF8Text(Level));
        if (Text)
          Lines.emplace_back(Text.get());
      } while (Iterator->Next(Level));
    }
    return Lines;
  }

private:
  tesseract::TessBaseAPI FApi;
};

} // namespace

int main(int argc, char** argv) {
  // The bare library recognises on one OpenMP thread, as the service's
  // workers do, unless the environment says otherwise.
  tesseractocr::LimitOpenMPThreads(argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication App(argc, argv);

  if (!InitializeInterleaved(argc, argv))
    return 2;

  const QImage Picture = FourLineBenchmarkPicture();
  const std::string Body = Bmp(Picture);
  const QImage Rgba = Picture.convertToFormat(QImage::Format_RGBA8888);
  TOcrOptions Options;
  Options.DataPath = KORVEX_TESSDATA_DIR;
  Options.Workers = 1;
  std::unique_ptr<TServerOcrService> Service;
  TBareTesseract Bare;
  try {
    Service = std::make_unique<TServerOcrService>(Options);
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "ocr_service_bench: %s\n", Error.what());
    return 1;
  }
  if (!Bare.Init()) {
    std::fprintf(stderr, "ocr_service_bench: cannot load the trained data from %s\n", KORVEX_TESSDATA_DIR);
    return 1;
  }

  // Both paths must do the same work: four lines from the same pixels.
  const TServerReply Reply = Service->Recognize(Body, false);
  const std::vector<std::string> BareLines = Bare.Recognize(Rgba);
  const size_t ReplyLines = size_t(std::count(Reply.Body.begin(), Reply.Body.end(), '{'));
  if (Reply.Status != 200 || ReplyLines != 4 || BareLines.size() != 4) {
    std::fprintf(stderr, "ocr_service_bench: the two paths recognise different lines (%d %s; %zu lines)\n",
                 Reply.Status, Reply.Body.c_str(), BareLines.size());
    return 1;
  }

  // The service's work happens on its worker, so CPU time is the whole
  // process's, for both.
  constexpr int Repetitions = 12;
  benchmark::RegisterBenchmark("OcrService_Recognize_BMP",
                               [&](benchmark::State& State) {
                                 for (auto _ : State)
                                   benchmark::DoNotOptimize(Service->Recognize(Body, false));
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->MeasureProcessCPUTime()
      ->Repetitions(Repetitions)
      ->ComputeStatistics("min", Fastest);
  benchmark::RegisterBenchmark("Bare_Tesseract_same_pixels",
                               [&](benchmark::State& State) {
                                 for (auto _ : State)
                                   benchmark::DoNotOptimize(Bare.Recognize(Rgba));
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->MeasureProcessCPUTime()
      ->Repetitions(Repetitions)
      ->ComputeStatistics("min", Fastest);

  TSummaryReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  benchmark::Shutdown();

  PrintComparison(Reporter, "OcrService_Recognize_BMP", "Bare_Tesseract_same_pixels",
                  "Per request (target: the service within 1.15 x of the bare library)", "service");
  return 0;
}
