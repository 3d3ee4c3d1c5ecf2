#include "app/Application.h"
#include "app/RemoteCommands.h"
#include "app/UnitFormOCR.h"
#include "ocr/tesseractocr.utils.h"
#include "platform/Platform.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void PrintUsage() {
  std::puts("Usage: korvex [--help] [--version] [--command NAME]\n"
            "\n"
            "Korvex reads and translates text anywhere on the screen.\n"
            "\n"
            "  --help          show this text and exit\n"
            "  --version       show the version and exit\n"
            "  --command NAME  hand a command to the Korvex running on this display\n"
            "                  and exit; it runs as its hotkey would:\n"
            "                    select-translate  select an area, then translate it\n"
            "                    translate         translate the selected area again\n"
            "                    full-screen       translate the whole screen\n"
            "                  Bind these to desktop shortcuts where global hotkeys\n"
            "                  cannot be grabbed (Wayland).\n"
            "\n"
            "Settings are kept in Config.ini beside the executable.");
}

// korvex --command NAME: the exit code tells scripts whether it was taken.
int SendCommand(int argc, char* argv[], const char* Name) {
  QCoreApplication App(argc, argv);
  QString Message;
  const int ExitCode = TRemoteCommands::Send(QString::fromLocal8Bit(Name), &Message);
  if (!Message.isEmpty())
    std::fprintf(stderr, "korvex: %s\n", qPrintable(Message));
  return ExitCode;
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
    if (std::strcmp(argv[I], "--command") == 0 || std::strncmp(argv[I], "--command=", 10) == 0) {
      const char* Name = argv[I][9] == '=' ? argv[I] + 10 : (I + 1 < argc ? argv[I + 1] : nullptr);
      if (!Name || !*Name) {
        std::fputs("korvex: --command needs a command name\n", stderr);
        PrintUsage();
        return 2;
      }
      return SendCommand(argc, argv, Name);
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
  InstallFontSubstitutes();
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
      // Each runs exactly what its hotkey runs.
      TRemoteCommands Commands;
      Commands.AddCommand(QStringLiteral("select-translate"), [&Form] { Form.SelectAreaAndTranslate(); });
      Commands.AddCommand(QStringLiteral("translate"), [&Form] { Form.CaptureAndTranslate(false); });
      Commands.AddCommand(QStringLiteral("full-screen"), [&Form] { Form.SelectFullScreen(); });
      if (!Commands.Listen(&Error))
        std::fprintf(stderr, "korvex: commands from outside are off: %s\n", qPrintable(Error));
      Form.show();
      ExitCode = App.exec();
    }
  }
  SetPlatform(nullptr);
  return ExitCode;
}
