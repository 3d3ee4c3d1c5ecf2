// Recognition of a rendered 800 x 200 picture with four lines of text, once
// through Korvex's engine (SetImage + Execute at text-line level) and once
// through the bare library calls on the same pixels, with no Korvex code in
// between. Prints both times and their ratio; the engine should stay within
// 1.05 x of the bare library.
//
// The same picture also goes through the desktop's recognition service
// (Korvex's own Tesseract-backed one, through the OCR component), from
// Recognize to the completion on the GUI thread, beside the bare library at
// word level; that path should stay within 1.10 x. Its work runs on the
// service's worker thread, so both are measured in process CPU time.
//
//   build/bench/ocr/tesseract_bench
#include "ocr/RtOcr.h"
#include "ocr/TesseractOcrService.h"
#include "ocr/tesseractocr.capi.h"
#include "ocr/tesseractocr.h"
#include "ocr/tesseractocr.utils.h"
#include "support/BareTesseract.h"
#include "support/Comparison.h"
#include "support/TextImages.h"

#include <QEventLoop>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace tesseractocr;

const QString RuntimeDir = QStringLiteral(KORVEX_RUNTIME_DIR);

// One recognition through the OCR component and the service, waited for in
// the event loop as the main window does.
TRtOcr::TResult RecognizeThroughService(TRtOcr& Component, const TRtOcr::TLanguage& Language) {
  TRtOcr::TResult Result;
  QEventLoop Loop;
  Component.Recognize(
      Language,
      [&](const TRtOcr::TResult& Arrived) {
        Result = Arrived;
        Loop.quit();
      },
      0, 0, 0, 0);
  Loop.exec();
  return Result;
}

} // namespace

int main(int argc, char** argv) {
  // As in korvex itself: one OpenMP thread unless the environment says otherwise.
  LimitOpenMPThreads(argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication App(argc, argv);

  if (!InitializeInterleaved(argc, argv))
    return 2;

  const QImage Picture = FourLineBenchmarkPicture();
  const QImage Rgba = Picture.convertToFormat(QImage::Format_RGBA8888); // the byte order TessBaseAPISetImage reads
  std::unique_ptr<TTesseractOCR5> Engine;
  try {
    Engine = std::make_unique<TTesseractOCR5>(RuntimeDir + "/Tesseract/");
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "tesseract_bench: %s\n", Error.what());
    return 1;
  }
  TBareTesseract Bare;
  if (!Engine->Initialize(RuntimeDir + "/tessdata/", "eng") || !Bare.Init(RuntimeDir + "/tessdata/")) {
    std::fprintf(stderr, "tesseract_bench: cannot load the trained data from %s/tessdata/\n", qPrintable(RuntimeDir));
    return 1;
  }

  // Both paths must do the same work: the same lines from the same pixels.
  TIteratorResultList KorvexLines;
  if (!Engine->SetImage(Picture))
    return 1;
  Engine->Execute(tesseract::RIL_TEXTLINE, KorvexLines);
  const std::vector<TBareLine> BareLines = Bare.Recognize(Rgba);
  bool Same = KorvexLines.size() == BareLines.size() && KorvexLines.size() == 4;
  for (size_t I = 0; Same && I < KorvexLines.size(); ++I)
    Same = KorvexLines[I].Text.toStdString() == BareLines[I].Text && KorvexLines[I].Left == BareLines[I].Left &&
           KorvexLines[I].Top == BareLines[I].Top && KorvexLines[I].Bottom == BareLines[I].Bottom;
  if (!Same) {
    std::fprintf(stderr, "tesseract_bench: the two paths recognise different lines (%zu and %zu)\n", KorvexLines.size(),
                 BareLines.size());
    return 1;
  }

  // The service must read the same words as the bare library.
  TTesseractOcrService Service(RuntimeDir + "/Tesseract/", RuntimeDir + "/tessdata/");
  TRtOcr Component(Service);
  // Enhancing as the pipeline asks by default: the clean picture is judged
  // plain and recognised untouched, so only the judgement is added.
  Component.SetEnhance(true);
  Component.SetPicture(Picture);
  std::optional<TRtOcr::TLanguage> English;
  for (const TRtOcr::TLanguage& Language : Component.GetAvailableLanguages())
    if (Language.LanguageTag == QLatin1String("en-US"))
      English = Language;
  if (!English) {
    std::fprintf(stderr, "tesseract_bench: the recognition service offers no en-US\n");
    return 1;
  }
  const TRtOcr::TResult ServiceResult = RecognizeThroughService(Component, *English);
  std::vector<std::string> ServiceWords, BareWords;
  for (const TRtOcr::TLine& Line : ServiceResult.Lines)
    for (const TRtOcr::TWord& Word : Line.Words)
      ServiceWords.push_back(Word.Text.toStdString());
  for (const TBareLine& Word : Bare.RecognizeWords(Rgba))
    BareWords.push_back(Word.Text);
  if (ServiceResult.Status != TRtOcr::stCompleted || ServiceResult.Lines.size() != 4 || ServiceWords != BareWords) {
    std::fprintf(stderr, "tesseract_bench: the service and the bare library read different words (%zu and %zu)\n",
                 ServiceWords.size(), BareWords.size());
    return 1;
  }

  constexpr int Repetitions = 12;
  benchmark::RegisterBenchmark("Korvex_SetImage_Execute",
                               [&](benchmark::State& State) {
                                 for (auto _ : State) {
                                   TIteratorResultList Lines;
                                   Engine->SetImage(Picture);
                                   Engine->Execute(tesseract::RIL_TEXTLINE, Lines);
                                   benchmark::DoNotOptimize(Lines.data());
                                 }
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Repetitions(Repetitions)
      ->ComputeStatistics("min", Fastest);
  benchmark::RegisterBenchmark("Bare_Tesseract_C_API",
                               [&](benchmark::State& State) {
                                 for (auto _ : State) {
                                   std::vector<TBareLine> Lines = Bare.Recognize(Rgba);
                                   benchmark::DoNotOptimize(Lines.data());
                                 }
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Repetitions(Repetitions)
      ->ComputeStatistics("min", Fastest);

  benchmark::RegisterBenchmark("Service_Recognize_to_completion",
                               [&](benchmark::State& State) {
                                 for (auto _ : State)
                                   benchmark::DoNotOptimize(RecognizeThroughService(Component, *English).Lines.data());
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->MeasureProcessCPUTime()
      ->Repetitions(Repetitions)
      ->ComputeStatistics("min", Fastest);
  benchmark::RegisterBenchmark("Bare_Tesseract_words",
                               [&](benchmark::State& State) {
                                 for (auto _ : State)
                                   benchmark::DoNotOptimize(Bare.RecognizeWords(Rgba).data());
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->MeasureProcessCPUTime()
      ->Repetitions(Repetitions)
      ->ComputeStatistics("min", Fastest);

  // The hand-over alone: what Korvex adds before the library starts work.
  benchmark::RegisterBenchmark("Korvex_SetImage_only", [&](benchmark::State& State) {
    for (auto _ : State)
      benchmark::DoNotOptimize(Engine->SetImage(Picture));
  })->Unit(benchmark::kMillisecond);

  TSummaryReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  benchmark::Shutdown();

  PrintComparison(Reporter, "Korvex_SetImage_Execute", "Bare_Tesseract_C_API",
                  "Per recognition (target: Korvex within 1.05 x of the bare library)", "Korvex");
  PrintComparison(Reporter, "Service_Recognize_to_completion", "Bare_Tesseract_words",
                  "Per recognition through the service, to the completion on the GUI thread (target: within 1.10 x of "
                  "the bare library at word level)",
                  "service");
  return 0;
}
