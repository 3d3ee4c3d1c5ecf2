#include "imaging/ColorKey.h"
#include "overlay/TranslateForm.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

// One full-screen paint of 100 boxes of two to three English sentences each
// at automatic font size, into a 1920 x 1080 image, with the settings read
// from a real Config.ini for every box.

namespace {

const char* const Sentences[] = {
    "The quick brown fox jumps over the lazy dog.",
    "Please save your work before closing the application.",
    "An update is available and will be installed when you restart.",
    "The file could not be opened because it is in use by another program.",
    "Select the area of the screen that you want to translate.",
    "Your changes have been saved to the settings file.",
    "Press Escape at any time to cancel the current operation.",
    "The server did not answer within the expected time.",
};

TIteratorResultList MakeBoxes(int Seed) {
  TIteratorResultList List;
  for (int Row = 0; Row < 10; ++Row)
    for (int Column = 0; Column < 10; ++Column) {
      const int N = Row * 10 + Column + Seed;
      TIteratorResult Item;
      Item.Left = Column * 192 + 6;
      Item.Top = Row * 108 + 6;
      Item.Right = Item.Left + 180;
      Item.Bottom = Item.Top + 96;
      Item.Text = QString::fromUtf8(Sentences[N % 8]) + ' ' + Sentences[(N + 3) % 8];
      if (N % 2 == 0)
        Item.Text += ' ' + QString::fromUtf8(Sentences[(N + 5) % 8]);
      Item.FFontSize = 40;
      List.push_back(Item);
    }
  return List;
}

struct TBench {
  TBench() : Ini(Dir.filePath("Config.ini")) {
    Ini.WriteString("TranslationWindow", "FontSize", "0");
    Ini.WriteString("TranslationWindow", "FontName", "DejaVu Sans");
    Ini.WriteString("TranslationWindow", "TextBackColor", "$00E2E2E2");
    Ini.WriteString("TranslationWindow", "FontColor", "clBlack");
    // The settings store reads a file changed within its time-stamp tick
    // afresh at every read; the steady state begins after that.
    QThread::msleep(150);
  }
  QTemporaryDir Dir;
  TConfigIni Ini;
  TFakePlatform Desktop;
};

std::unique_ptr<TTranslationForm> MakeForm(TBench& Bench, const TIteratorResultList& List) {
  auto Form = std::make_unique<TTranslationForm>(nullptr, Bench.Ini, Bench.Desktop);
  Form->setGeometry(0, 0, 1920, 1080);
  Form->UpdateText(&List);
  Form->hide();
  return Form;
}

// Repainting what is shown: an uncovering, a move, the colour-key update.
void BM_RepaintFullScreen(benchmark::State& State) {
  TBench Bench;
  const TIteratorResultList List = MakeBoxes(0);
  auto Form = MakeForm(Bench, List);
  QImage Image(1920, 1080, QImage::Format_RGB32);
  for (auto _ : State) {
    QPainter Canvas(&Image);
    Form->FormPaint(Canvas);
  }
  State.counters["boxes"] = double(List.size());
}
BENCHMARK(BM_RepaintFullScreen)->Unit(benchmark::kMillisecond);

// A repaint just after Config.ini changed (the settings dialog confirmed),
// while every read of the settings store still parses the file.
void BM_RepaintRightAfterASettingsChange(benchmark::State& State) {
  TBench Bench;
  const TIteratorResultList List = MakeBoxes(0);
  auto Form = MakeForm(Bench, List);
  QImage Image(1920, 1080, QImage::Format_RGB32);
  {
    QPainter Canvas(&Image);
    Form->FormPaint(Canvas);
    Form->FormPaint(Canvas);
  }
  int Flip = 0;
  for (auto _ : State) {
    State.PauseTiming();
    Bench.Ini.WriteString("TranslationWindow", "FontColor", ++Flip % 2 ? "$00000000" : "clBlack");
    State.ResumeTiming();
    QPainter Canvas(&Image);
    Form->FormPaint(Canvas);
  }
}
BENCHMARK(BM_RepaintRightAfterASettingsChange)->Unit(benchmark::kMillisecond);

// The first paint of a new result, with nothing measured before.
void BM_FirstPaintOfNewText(benchmark::State& State) {
  TBench Bench;
  QImage Image(1920, 1080, QImage::Format_RGB32);
  int Seed = 0;
  for (auto _ : State) {
    State.PauseTiming();
    const TIteratorResultList List = MakeBoxes(++Seed);
    auto Form = MakeForm(Bench, List);
    State.ResumeTiming();
    QPainter Canvas(&Image);
    Form->FormPaint(Canvas);
    Canvas.end();
    State.PauseTiming();
    Form.reset();
    State.ResumeTiming();
  }
}
BENCHMARK(BM_FirstPaintOfNewText)->Unit(benchmark::kMillisecond);

// In overlay mode every paint is followed by the see-through region of the
// painted frame.
void BM_ColorKeyRegionFullScreen(benchmark::State& State) {
  TBench Bench;
  const TIteratorResultList List = MakeBoxes(0);
  auto Form = MakeForm(Bench, List);
  QImage Image(1920, 1080, QImage::Format_RGB32);
  {
    QPainter Canvas(&Image);
    Form->FormPaint(Canvas);
  }
  for (auto _ : State)
    benchmark::DoNotOptimize(ColorKeyVisibleRegion(Image, qRgb(255, 255, 255)));
}
BENCHMARK(BM_ColorKeyRegionFullScreen)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  QApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
