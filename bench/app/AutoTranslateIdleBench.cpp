// Automatic translation left running over an unchanged screen: the CPU time
// of the Korvex process, as a share of one core, beside the same time of a
// Korvex without automatic translation. A 1920 x 1080 area, the timer at
// 1000 ms, 60 s each (KORVEX_BENCH_SECONDS overrides). Target: at most 0.5 %
// of a core above idle.
//   tests/run-x11 build/bench/app/auto_translate_idle_bench
#include "app/UnitFormOCR.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"
#include "support/RuntimeFolder.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

// User and system CPU time of this process so far, in seconds, from /proc.
double ProcessCpuSeconds() {
  std::ifstream Stat("/proc/self/stat");
  std::string Line;
  std::getline(Stat, Line);
  // The command name may hold spaces; the fields after it are plain.
  std::istringstream Fields(Line.substr(Line.rfind(')') + 2));
  std::string Field;
  unsigned long long UserTicks = 0, SystemTicks = 0;
  for (int Number = 3; Number <= 15 && Fields >> Field; ++Number) {
    if (Number == 14)
      UserTicks = std::stoull(Field);
    if (Number == 15)
      SystemTicks = std::stoull(Field);
  }
  return double(UserTicks + SystemTicks) / double(sysconf(_SC_CLK_TCK));
}

// Runs the event loop for Ms milliseconds.
void Wait(int Ms) {
  QEventLoop Loop;
  QTimer::singleShot(Ms, &Loop, &QEventLoop::quit);
  Loop.exec();
}

int Seconds() {
  const int Value = qEnvironmentVariableIntValue("KORVEX_BENCH_SECONDS");
  return Value > 0 ? Value : 60;
}

void RunIdle(benchmark::State& State, bool AutoTranslation) {
  QString Error;
  const std::unique_ptr<TPlatform> Desktop = CreateX11Platform(&Error);
  if (!Desktop) {
    State.SkipWithError(qPrintable(Error));
    return;
  }
  QTemporaryDir Runtime;
  LinkRecognitionData(Runtime.path());
  TConfigIni(Runtime.filePath(QStringLiteral("Config.ini"))).WriteString("Translation", "AutoInterval", "1000");
  TFormOCR Form(Runtime.path(), *Desktop);
  if (Form.StartFailed()) {
    State.SkipWithError("Korvex did not start");
    return;
  }
  Form.show();
  if (AutoTranslation) {
    // The whole screen, captured once, then watched from the menu.
    Form.Pipeline().SetSelectedRect({0, 0, 1920, 1080});
    Form.ActTranslate->trigger();
    Form.mnuAutoTranslate->trigger();
  }
  Wait(1000); // start-up work settles
  // The first translation runs off the GUI thread; it is not part of idling.
  for (int Slice = 0; Slice < 600 && !Form.Idle(); ++Slice)
    Wait(100);

  int Ticks = 0;
  QObject::connect(&Form.TimerAction, &QTimer::timeout, [&] { ++Ticks; });
  for (auto _ : State) {
    const double CpuBefore = ProcessCpuSeconds();
    QElapsedTimer Clock;
    Clock.start();
    Wait(Seconds() * 1000);
    const double Elapsed = Clock.nsecsElapsed() / 1e9;
    const double Cpu = ProcessCpuSeconds() - CpuBefore;
    State.SetIterationTime(Elapsed);
    State.counters["cpu_percent_of_core"] = 100.0 * Cpu / Elapsed;
    State.counters["ticks"] = Ticks;
  }
}

void BM_IdleKorvex(benchmark::State& State) { RunIdle(State, false); }
void BM_IdleAutoTranslation1920x1080(benchmark::State& State) { RunIdle(State, true); }
BENCHMARK(BM_IdleKorvex)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleAutoTranslation1920x1080)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  qputenv("OMP_THREAD_LIMIT", "1");
  QApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
