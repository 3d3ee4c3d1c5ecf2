// The user's wait, measured from outside the built korvex on a private X
// server with a loopback translation server that answers at once:
//
//   - `korvex --command translate` of an 800 x 200 area holding four English
//     lines, until the overlay shows the new translations, beside the bare
//     Tesseract C API recognising the same pixels;
//   - `korvex --command full-screen` the same way, beside the bare
//     recognition of the whole screen;
//   - start of korvex until its main window is mapped, beside a bare Qt
//     main window;
//   - korvex's resident memory (VmRSS) as the translations go on.
//
// Every korvex run alternates the server's answer between two texts and
// waits for the screen to show the one just asked for, so a result painted
// by an earlier run is never taken for the new one. The runs of korvex and
// of the bare library alternate, so load from elsewhere falls on both alike.
//
//   tests/run-x11 build/bench/e2e/end_to_end_bench [--runs N] [--starts N] [--korvex PROGRAM]
//
// --korvex measures another build of korvex (an older one, say) against the
// same yardsticks; it runs from a copy beside this build's libraries and data.
#include "ocr/tesseractocr.capi.h"
#include "ocr/tesseractocr.utils.h"
#include "platform/Platform.h"
#include "support/RuntimeFolder.h"
#include "support/TextImages.h"
#include "text/LoopbackServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace tesseractocr;

const QString RuntimeDir = QStringLiteral(KORVEX_RUNTIME_DIR);
const QString Title = QStringLiteral("Korvex v0.1");
const TRect Area{0, 0, 800, 200};
// The overlay's box colour: stored 0x00BBGGRR, so this is RGB 40 80 C0.
const char* BoxColorSetting = "$00C08040";
const QRgb BoxColor = qRgb(0x40, 0x80, 0xC0);
// The two answers the server alternates between: almost no ink, much ink.
const char* FewInkAnswer = ".";
const char* MuchInkAnswer = "XXXXXXXXXXXX XXXXXXXXXXXX XXXXXXXXXXXX";
constexpr int TimeoutMs = 20000;

double Median(std::vector<double> Values) {
  if (Values.empty())
    return 0;
  std::sort(Values.begin(), Values.end());
  const size_t Mid = Values.size() / 2;
  return Values.size() % 2 ? Values[Mid] : (Values[Mid - 1] + Values[Mid]) / 2;
}

double Fastest(const std::vector<double>& Values) {
  return Values.empty() ? 0 : *std::min_element(Values.begin(), Values.end());
}

// The picture under test, shown by a window of this process at the top left.
class TPictureWindow : public QWidget {
public:
  explicit TPictureWindow(QImage Picture)
      : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint), FPicture(std::move(Picture)) {
    setGeometry(Area.Left, Area.Top, FPicture.width(), FPicture.height());
  }

protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, FPicture); }

private:
  QImage FPicture;
};

// The plain C API sequence a program without Korvex would use.
class TBareTesseract {
public:
  TBareTesseract() : FAPI(capi::TessBaseAPICreate()) {}
  ~TBareTesseract() {
    capi::TessBaseAPIEnd(FAPI);
    capi::TessBaseAPIDelete(FAPI);
  }
  bool Init(const QString& DataPath) { return capi::TessBaseAPIInit3(FAPI, DataPath.toUtf8().constData(), "eng") == 0; }
  int Recognize(const QImage& Rgba) {
    capi::TessBaseAPISetImage(FAPI, Rgba.constBits(), Rgba.width(), Rgba.height(), 4,
                              static_cast<int>(Rgba.bytesPerLine()));
    if (capi::TessBaseAPIRecognize(FAPI, nullptr) != 0)
      return 0;
    int Lines = 0;
    TessResultIterator* Iterator = capi::TessBaseAPIGetIterator(FAPI);
    if (!Iterator)
      return 0;
    do {
      if (char* Text = capi::TessResultIteratorGetUTF8Text(Iterator, tesseract::RIL_TEXTLINE)) {
        ++Lines;
        capi::TessDeleteText(Text);
      }
    } while (capi::TessResultIteratorNext(Iterator, tesseract::RIL_TEXTLINE));
    capi::TessResultIteratorDelete(Iterator);
    return Lines;
  }

private:
  TessBaseAPI* FAPI;
};

// Whether the overlay in Copy shows boxes with the answer asked for: many
// pixels of the box colour, and between the box pixels of each row the ink
// of that answer.
bool ShowsAnswer(const QImage& Copy, bool WantMuchInk) {
  int Box = 0, Ink = 0;
  for (int Y = 0; Y < Copy.height(); ++Y) {
    const auto* Row = reinterpret_cast<const QRgb*>(Copy.constScanLine(Y));
    int First = -1, Last = -1;
    for (int X = 0; X < Copy.width(); ++X)
      if ((Row[X] & 0xffffff) == (BoxColor & 0xffffff)) {
        ++Box;
        if (First < 0)
          First = X;
        Last = X;
      }
    for (int X = First; First >= 0 && X <= Last; ++X)
      Ink += qGray(Row[X]) < 60;
  }
  if (Box < 2000)
    return false;
  return WantMuchInk ? Ink > 400 : Ink < 80;
}

// CPU time used so far by process Pid (user + system), in milliseconds.
double ProcessCpuMs(qint64 Pid) {
  QFile StatFile(QStringLiteral("/proc/%1/stat").arg(Pid));
  if (!StatFile.open(QIODevice::ReadOnly))
    return 0;
  const QByteArray Line = StatFile.readAll();
  // Fields after the command name, which is in parentheses and may hold spaces.
  const QList<QByteArray> Fields = Line.mid(Line.lastIndexOf(')') + 2).split(' ');
  if (Fields.size() < 13)
    return 0;
  return double(Fields[11].toLongLong() + Fields[12].toLongLong()) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// CPU time of the children this process has waited for, in milliseconds.
double ChildrenCpuMs() {
  rusage Usage{};
  getrusage(RUSAGE_CHILDREN, &Usage);
  return (double(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) * 1e3 +
          double(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e3);
}

double ThreadCpuMs() {
  timespec Now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
  return double(Now.tv_sec) * 1e3 + double(Now.tv_nsec) / 1e6;
}

long VmRSSKiB(qint64 Pid) {
  QFile StatusFile(QStringLiteral("/proc/%1/status").arg(Pid));
  if (!StatusFile.open(QIODevice::ReadOnly))
    return -1;
  for (const QByteArray& Line : StatusFile.readAll().split('\n'))
    if (Line.startsWith("VmRSS:"))
      return Line.mid(6).trimmed().split(' ').first().toLong();
  return -1;
}

// Tells when anything on the screen has been drawn (the X DAMAGE extension),
// so the bench copies the screen to look for the answer only then and
// leaves the processors to the korvex being measured.
class TScreenChanges {
public:
  TScreenChanges() : FDpy(XOpenDisplay(nullptr)) {
    int Error = 0;
    if (FDpy && XDamageQueryExtension(FDpy, &FEventBase, &Error))
      FDamage = XDamageCreate(FDpy, DefaultRootWindow(FDpy), XDamageReportNonEmpty);
    if (FDpy)
      XFlush(FDpy);
  }
  ~TScreenChanges() {
    if (FDamage)
      XDamageDestroy(FDpy, FDamage);
    if (FDpy)
      XCloseDisplay(FDpy);
  }

  // Waits up to Ms for a drawing; true when there was one (or when drawings
  // cannot be watched), and then the next drawing is reported afresh.
  bool Wait(int Ms) {
    if (!FDamage)
      return QThread::msleep(uint(Ms)), true;
    pollfd Ready{ConnectionNumber(FDpy), POLLIN, 0};
    if (XPending(FDpy) == 0 && poll(&Ready, 1, Ms) <= 0)
      return false;
    bool Drawn = false;
    while (XPending(FDpy) > 0) {
      XEvent Event;
      XNextEvent(FDpy, &Event);
      Drawn = Drawn || Event.type == FEventBase + XDamageNotify;
    }
    if (Drawn) {
      XDamageSubtract(FDpy, FDamage, None, None);
      XFlush(FDpy);
    }
    return Drawn;
  }

private:
  Display* FDpy;
  int FEventBase = 0;
  Damage FDamage = 0;
};

class TBench {
public:
  TBench(TPlatform& Desktop, Display* Dpy) : FDesktop(Desktop), FDpy(Dpy) {}

  bool Prepare(const QString& Program) {
    if (!FDir.isValid())
      return false;
    if (!QFile::copy(Program, FDir.filePath("korvex")))
      return false;
    // The launcher runs the GUI program beside it, when the build has one.
    const QString Gui = QFileInfo(Program).dir().filePath("korvex-gui");
    if (QFileInfo::exists(Gui) && !QFile::copy(Gui, FDir.filePath("korvex-gui")))
      return false;
    return LinkRecognitionData(FDir.path()) && WriteConfig();
  }

  bool WriteConfig() {
    QFile Ini(FDir.filePath("Config.ini"));
    if (!Ini.open(QIODevice::WriteOnly))
      return false;
    Ini.write(QStringLiteral("[Translation]\nServer=%1\n"
                             "[TranslationWindow]\nTextBackColor=%2\nFontColor=clBlack\nFontName=DejaVu Sans\n"
                             "[General]\nLeft=1300\nTop=700\n")
                  .arg(FServer.Url(), QString::fromLatin1(BoxColorSetting))
                  .toUtf8());
    return true;
  }

  // Milliseconds from the start of Program until a top-level window titled
  // WindowTitle is mapped; the program is ended afterwards. -1 on failure.
  double TimeToMapped(const QString& Program, const QString& WindowTitle) {
    XSelectInput(FDpy, DefaultRootWindow(FDpy), SubstructureNotifyMask);
    XSync(FDpy, True);
    QProcess Process;
    QElapsedTimer Clock;
    Clock.start();
    Process.start(Program, {});
    double Result = -1;
    while (Result < 0 && Clock.elapsed() < TimeoutMs) {
      pollfd Wait{ConnectionNumber(FDpy), POLLIN, 0};
      if (XPending(FDpy) == 0)
        poll(&Wait, 1, 100);
      while (XPending(FDpy) > 0) {
        XEvent Event;
        XNextEvent(FDpy, &Event);
        if (Event.type != MapNotify)
          continue;
        char* Name = nullptr;
        if (XFetchName(FDpy, Event.xmap.window, &Name) && Name) {
          if (QString::fromUtf8(Name) == WindowTitle)
            Result = double(Clock.nsecsElapsed()) / 1e6;
          XFree(Name);
        }
      }
    }
    XSelectInput(FDpy, DefaultRootWindow(FDpy), NoEventMask);
    Process.terminate();
    if (!Process.waitForFinished(5000)) {
      Process.kill();
      Process.waitForFinished(5000);
    }
    return Result;
  }

  void MeasureStartUp(int Starts) {
    std::vector<double> Korvex, Bare;
    for (int I = 0; I < Starts; ++I) {
      const double K = TimeToMapped(FDir.filePath("korvex"), Title);
      const double B = TimeToMapped(QStringLiteral(KORVEX_BARE_WINDOW), QStringLiteral("Bare Qt window"));
      if (K < 0 || B < 0) {
        std::fprintf(stderr, "end_to_end_bench: a window was not mapped within %d ms\n", TimeoutMs);
        return;
      }
      Korvex.push_back(K);
      Bare.push_back(B);
    }
    PrintRow("start -> main window mapped", Korvex, Bare, "bare Qt main window");
  }

  bool StartKorvex() {
    FKorvex.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FKorvex.start(FDir.filePath("korvex"), {});
    if (!FKorvex.waitForStarted(5000))
      return false;
    QElapsedTimer Clock;
    Clock.start();
    while (Clock.elapsed() < TimeoutMs) {
      // Ready once a command is taken; "translate" with no area does nothing.
      if (RunCommand(QStringLiteral("translate"), false) >= 0)
        return true;
      QThread::msleep(50);
    }
    return false;
  }

  void StopKorvex() {
    FKorvex.terminate();
    if (!FKorvex.waitForFinished(5000)) {
      FKorvex.kill();
      FKorvex.waitForFinished(5000);
    }
  }

  // Runs `korvex --command Name`; with Painted, keeps the picture window
  // served and watches WatchRect until the overlay shows the answer of this
  // run. Milliseconds from the start of the command, or -1.
  double RunCommand(const QString& Name, bool Painted, const TRect& WatchRect = Area) {
    const bool MuchInk = (++FRun % 2) != 0;
    FMuchInk = MuchInk;
    QProcess Client;
    QElapsedTimer Clock;
    Clock.start();
    Client.start(FDir.filePath("korvex"), {QStringLiteral("--command"), Name});
    double Done = -1;
    double ClientDone = -1;
    bool Look = true;
    qint64 LastLook = 0;
    while (Clock.elapsed() < TimeoutMs) {
      QCoreApplication::processEvents();
      if (ClientDone < 0 && Client.state() == QProcess::NotRunning)
        ClientDone = double(Clock.nsecsElapsed()) / 1e6;
      // The area is copied only after something was drawn, and now and then
      // besides: every look costs processor time the measured korvex needs.
      if (Painted && (Look || Clock.elapsed() - LastLook >= 25)) {
        LastLook = Clock.elapsed();
        if (ShowsAnswer(FDesktop.CopyScreen(WatchRect), MuchInk)) {
          Done = double(Clock.nsecsElapsed()) / 1e6;
          break;
        }
      }
      if (!Painted && Client.state() == QProcess::NotRunning)
        return Client.exitCode() == 0 ? double(Clock.nsecsElapsed()) / 1e6 : -1;
      Look = FChanges.Wait(2);
    }
    Client.waitForFinished(5000);
    if (Done >= 0 && ClientDone >= 0)
      FClientTimes.push_back(ClientDone);
    return Done;
  }

  // Lets korvex finish painting and the picture window repaint.
  static void Settle(int Ms) {
    QElapsedTimer Clock;
    Clock.start();
    while (Clock.elapsed() < Ms) {
      QCoreApplication::processEvents();
      QThread::msleep(1);
    }
  }

  void SetWorkArea(const TRect& Rect) {
    const Atom WorkArea = XInternAtom(FDpy, "_NET_WORKAREA", False);
    const long Values[4] = {Rect.Left, Rect.Top, Rect.Width(), Rect.Height()};
    XChangeProperty(FDpy, DefaultRootWindow(FDpy), WorkArea, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(Values), 4);
    XSync(FDpy, False);
  }

  // Alternates Runs korvex commands with bare recognitions of Pixels; prints
  // the two and korvex's memory at a few points on the way.
  bool MeasureLatency(const char* Label, const QString& Command, const QImage& Pixels, int Runs, TBareTesseract& Bare,
                      std::vector<int> MemoryAt) {
    const QImage Rgba = Pixels.convertToFormat(QImage::Format_RGBA8888);
    std::vector<double> Korvex, Library;
    FClientTimes.clear();
    const size_t RequestsBefore = FServer.Requests().size();
    std::vector<double> KorvexCpu, LibraryCpu;
    for (int I = 1; I <= Runs; ++I) {
      const double CpuBefore = ProcessCpuMs(FKorvex.processId()) + ChildrenCpuMs();
      const double K = RunCommand(Command, true);
      // The recognised result is on the screen; what korvex and its client
      // spent on it, measured once the overlay's painting has settled.
      if (K < 0) {
        std::fprintf(stderr, "end_to_end_bench: %s run %d: no answer on the screen within %d ms\n", Label, I,
                     TimeoutMs);
        return false;
      }
      Korvex.push_back(K);
      Settle(30);
      KorvexCpu.push_back(ProcessCpuMs(FKorvex.processId()) + ChildrenCpuMs() - CpuBefore);
      QElapsedTimer Clock;
      Clock.start();
      const double BareCpuBefore = ThreadCpuMs();
      Bare.Recognize(Rgba);
      LibraryCpu.push_back(ThreadCpuMs() - BareCpuBefore);
      Library.push_back(double(Clock.nsecsElapsed()) / 1e6);
      if (std::find(MemoryAt.begin(), MemoryAt.end(), I) != MemoryAt.end())
        FMemory.push_back(QStringLiteral("  after %1 %2: %3 MB")
                              .arg(I, 3)
                              .arg(QString::fromLatin1(Label))
                              .arg(double(VmRSSKiB(FKorvex.processId())) / 1024.0, 0, 'f', 1));
    }
    // Korvex must have read the picture, never its own overlay.
    int Wrong = 0;
    const std::vector<TLoopbackServer::TRequest> Requests = FServer.Requests();
    for (size_t I = RequestsBefore; I < Requests.size(); ++I) {
      const std::string Text = nlohmann::json::parse(Requests[I].Body).value("q", std::string());
      Wrong += Text.find("XXXX") != std::string::npos;
    }
    if (Wrong > 0)
      std::printf("  %s: %d requests carried the overlay's own text\n", Label, Wrong);
    PrintRow(Label, Korvex, Library, "bare recognition");
    std::printf("  of which `korvex --command` itself ran (start to exit): median %.1f ms\n", Median(FClientTimes));
    // CPU time is the work done, and stays comparable when other programs
    // compete for the processors; it does not show time spent waiting.
    std::printf("  CPU time per run: korvex and its client %.1f ms, bare recognition %.1f ms, ratio %.2f x "
                "(medians; /proc clock ticks of %.0f ms)\n",
                Median(KorvexCpu), Median(LibraryCpu), Median(KorvexCpu) / Median(LibraryCpu),
                1000.0 / double(sysconf(_SC_CLK_TCK)));
    return true;
  }

  // Each korvex run beside the bare run right after it, under much the same
  // load from elsewhere: the median of those ratios is the steadiest figure
  // on a busy machine.
  static double PairedRatio(const std::vector<double>& Ours, const std::vector<double>& Base) {
    std::vector<double> Ratios;
    for (size_t I = 0; I < Ours.size() && I < Base.size(); ++I)
      Ratios.push_back(Ours[I] / Base[I]);
    return Median(Ratios);
  }

  void PrintRow(const char* Label, const std::vector<double>& Ours, const std::vector<double>& Base,
                const char* BaseLabel) {
    std::printf("%-36s median %7.1f ms (fastest %7.1f)   %-20s median %7.1f ms (fastest %7.1f)   ratio %.2f x "
                "(paired %.2f x)  [%zu runs]\n",
                Label, Median(Ours), Fastest(Ours), BaseLabel, Median(Base), Fastest(Base), Median(Ours) / Median(Base),
                PairedRatio(Ours, Base), Ours.size());
    std::fflush(stdout);
  }

  // Korvex hands freed memory back once no translation has been asked for
  // a few seconds; what it holds then, while the user reads.
  void NoteMemoryAfterPause(int Seconds) {
    Settle(Seconds * 1000);
    FMemory.push_back(QStringLiteral("  %1 s after the last translation: %2 MB")
                          .arg(Seconds)
                          .arg(double(VmRSSKiB(FKorvex.processId())) / 1024.0, 0, 'f', 1));
  }

  void PrintMemory() {
    std::printf("korvex resident memory (VmRSS):\n");
    for (const QString& Line : FMemory)
      std::printf("%s\n", qPrintable(Line));
  }

  TLoopbackServer FServer{[this](const httplib::Request&, httplib::Response& Response) {
    Response.set_content(nlohmann::json{{"translated_text", FMuchInk ? MuchInkAnswer : FewInkAnswer}}.dump(),
                         "application/json");
  }};
  QProcess FKorvex;

private:
  TPlatform& FDesktop;
  Display* FDpy;
  QTemporaryDir FDir;
  std::atomic<bool> FMuchInk = false;
  int FRun = 0;
  std::vector<double> FClientTimes;
  QStringList FMemory;
  TScreenChanges FChanges;
};

} // namespace

int main(int argc, char* argv[]) {
  LimitOpenMPThreads(argv); // as korvex does, so the two recognise alike
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  QApplication App(argc, argv);
  int Runs = 50, Starts = 20;
  QString Program = QDir(RuntimeDir).filePath(QStringLiteral("korvex"));
  const QStringList Arguments = App.arguments();
  for (int I = 1; I + 1 < Arguments.size(); I += 2) {
    if (Arguments[I] == QLatin1String("--runs"))
      Runs = std::max(1, Arguments[I + 1].toInt());
    else if (Arguments[I] == QLatin1String("--starts"))
      Starts = std::max(1, Arguments[I + 1].toInt());
    else if (Arguments[I] == QLatin1String("--korvex"))
      Program = Arguments[I + 1];
  }

  QString Error;
  const std::unique_ptr<TPlatform> Desktop = CreateX11Platform(&Error);
  Display* Dpy = XOpenDisplay(nullptr);
  if (!Desktop || !Dpy) {
    std::fprintf(stderr, "end_to_end_bench: needs an X server; run it under tests/run-x11 (%s)\n", qPrintable(Error));
    return 1;
  }
  // A white desktop: the full-screen recognition reads the picture and
  // nothing else.
  XSetWindowBackground(Dpy, DefaultRootWindow(Dpy), WhitePixel(Dpy, DefaultScreen(Dpy)));
  XClearWindow(Dpy, DefaultRootWindow(Dpy));
  XSync(Dpy, False);

  TPictureWindow Picture(FourLineBenchmarkPicture());
  Picture.show();
  TBench::Settle(500);

  try {
    capi::InitTesseractLib(RuntimeDir + "/Tesseract/");
  } catch (const std::exception& Failure) {
    std::fprintf(stderr, "end_to_end_bench: %s\n", Failure.what());
    return 1;
  }
  TBareTesseract Bare;
  TBench Bench(*Desktop, Dpy);
  if (!Bench.Prepare(Program) || !Bare.Init(RuntimeDir + "/tessdata/")) {
    std::fprintf(stderr, "end_to_end_bench: cannot prepare a runtime folder from %s\n", qPrintable(RuntimeDir));
    return 1;
  }
  const QSize ScreenSize = Desktop->PrimaryScreenSize();
  const TRect Whole{0, 0, ScreenSize.width(), ScreenSize.height()};
  const QImage AreaPixels = Desktop->CopyScreen(Area);
  const QImage ScreenPixels = Desktop->CopyScreen(Whole);

  std::printf("Korvex end to end, %dx%d screen, area %dx%d, loopback translation server\n", ScreenSize.width(),
              ScreenSize.height(), Area.Width(), Area.Height());
  Bench.MeasureStartUp(Starts);

  if (!Bench.StartKorvex()) {
    std::fprintf(stderr, "end_to_end_bench: korvex did not take commands\n");
    return 1;
  }
  // The area: the work area is announced as exactly the picture, and one
  // full-screen translation makes it korvex's selected area.
  Bench.SetWorkArea(Area);
  if (Bench.RunCommand(QStringLiteral("full-screen"), true) < 0) {
    std::fprintf(stderr, "end_to_end_bench: the first translation never showed\n");
    Bench.StopKorvex();
    return 1;
  }
  TBench::Settle(200);
  bool Done = Bench.MeasureLatency("translate (800x200)", QStringLiteral("translate"), AreaPixels, Runs, Bare,
                                   {1, 10, 25, 50, Runs});
  Bench.SetWorkArea(Whole);
  TBench::Settle(100);
  Done = Done && Bench.MeasureLatency("full-screen", QStringLiteral("full-screen"), ScreenPixels, Runs, Bare,
                                      {1, 7, 10, 25, 50, Runs});
  Bench.NoteMemoryAfterPause(5);
  Bench.PrintMemory();
  Bench.StopKorvex();
  return Done ? 0 : 1;
}
