#include "app/Application.h"
#include "app/UnitFormOCR.h"
#include "ocr/tesseractocr.utils.h"
#include "platform/Platform.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void PrintUsage() {
  std::puts("Usage: korvex [--help] [--version]\n"
            "\n"
            "Korvex reads and translates text anywhere on the screen.\n"
            "\n"
            "  --help      show this text and exit\n"
            "  --version   show the version and exit\n"
            "\n"
            "Settings are kept in Config.ini beside the executable.");
}

} // namespace

int main(int argc, char* argv[]) {
  for (int I = 1; I < argc; ++I) {
    if (std::strcmp(argv[I], "--help") == 0 || std::strcmp(argv[I], "-h") == 0) {
      PrintUsage();
      return 0;
    }
    if (std::strcmp(argv[I], "--version") == 0) {
      std::puts("Korvex 0.1");
      return 0;
    }
    std::fprintf(stderr, "korvex: unknown option '%s'\n", argv[I]);
    PrintUsage();
    return 2;
  }

  // Tesseract runs on one OpenMP thread unless the user's environment says
  // otherwise; this may start the program afresh, so it comes first.
  tesseractocr::LimitOpenMPThreads(argv);

  // Screen coordinates are physical X11 pixels everywhere in Korvex.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariable("QT_QPA_PLATFORM") != QLatin1String("offscreen")) {
    std::fputs("korvex: no X display found. Korvex needs a graphical session; "
               "start it from the desktop or under xvfb-run.\n",
               stderr);
    return 1;
  }

  TApplication App(argc, argv);
  TApplication::setApplicationName(QStringLiteral("Korvex"));
  TApplication::setApplicationVersion(QStringLiteral("0.1"));
  QString Error;
  auto X11 = CreateX11Platform(&Error);
  if (!X11) {
    std::fprintf(stderr, "korvex: %s\n", qPrintable(Error));
    return 1;
  }
  SetPlatform(std::move(X11));

  int ExitCode = 0;
  {
    TFormOCR Form(QCoreApplication::applicationDirPath());
    if (Form.StartFailed()) {
      Form.close();
      ExitCode = 1;
    } else {
      Form.show();
      ExitCode = App.exec();
    }
  }
  SetPlatform(nullptr);
  return ExitCode;
}
