#include "app/Application.h"
#include "app/HotKeyCommands.h"
#include "app/RemoteCommands.h"
#include "app/ToolImages.h"
#include "app/TrayIcon.h"
#include "app/UnitFormOCR.h"
#include "app/WaylandNotice.h"
#include "ocr/tesseractocr.utils.h"
#include "platform/Platform.h"
#include "settings/SettingsLocation.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {

// The folder of the running executable, through any link to it (bin/korvex
// of an installation points into its runtime folder).
QString ExecutableFolder() { return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath(); }

void PrintUsage() {
  std::puts("Usage: korvex [--help] [--version] [--config-path] [--command NAME]\n"
            "\n"
            "Korvex reads and translates text anywhere on the screen.\n"
            "\n"
            "  --help          show this text and exit\n"
            "  --version       show the version and exit\n"
            "  --config-path   show the settings file this copy of Korvex uses and exit\n"
            "  --command NAME  hand a command to the Korvex running on this display\n"
            "                  and exit; it runs as its hotkey would:");
  for (const TFormCommand& Command : FormCommands())
    std::printf("                    %-17s %s\n", Command.Name, Command.Description);
  std::puts("                  Bind these to desktop shortcuts where global hotkeys\n"
            "                  cannot be grabbed (Wayland).\n"
            "\n"
            "Settings are kept in Config.ini beside the executable when its folder\n"
            "is writable (a portable copy of Korvex); otherwise, and always for an\n"
            "installed copy, in $XDG_CONFIG_HOME/korvex/Config.ini\n"
            "(~/.config/korvex/Config.ini when XDG_CONFIG_HOME is not set).");
  std::printf("This copy uses %s\n", qPrintable(SettingsFileFor(ExecutableFolder())));
}

// korvex --command NAME: the exit code tells scripts whether it was taken.
// No Qt application is created: the word goes out at once.
int SendCommand(const QString& Name) {
  QString Message;
  const int ExitCode = TRemoteCommands::Send(Name, &Message);
  if (!Message.isEmpty())
    std::fprintf(stderr, "korvex: %s\n", qPrintable(Message));
  return ExitCode;
}

} // namespace

int main(int argc, char* argv[]) {
  QStringList Arguments;
  for (int I = 0; I < argc; ++I)
    Arguments << QString::fromLocal8Bit(argv[I]);
  QCommandLineParser Parser;
  const QCommandLineOption Help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption Version(QStringLiteral("version"));
  const QCommandLineOption Command(QStringLiteral("command"), QString(), QStringLiteral("NAME"));
  const QCommandLineOption ConfigPath(QStringLiteral("config-path"));
  Parser.addOptions({Help, Version, Command, ConfigPath});
  if (!Parser.parse(Arguments) || !Parser.positionalArguments().isEmpty()) {
    const QString Error = Parser.positionalArguments().isEmpty()
                              ? Parser.errorText()
                              : QStringLiteral("unexpected argument '%1'").arg(Parser.positionalArguments().first());
    std::fprintf(stderr, "korvex: %s\n", qPrintable(Error));
    PrintUsage();
    return 2;
  }
  if (Parser.isSet(Help)) {
    PrintUsage();
    return 0;
  }
  if (Parser.isSet(Version)) {
    std::puts("Korvex 0.1");
    return 0;
  }
  if (Parser.isSet(ConfigPath)) {
    std::puts(qPrintable(SettingsFileFor(ExecutableFolder())));
    return 0;
  }
  if (Parser.isSet(Command)) {
    const QString Name = Parser.value(Command);
    if (Name.isEmpty()) {
      std::fputs("korvex: --command needs a command name\n", stderr);
      PrintUsage();
      return 2;
    }
    return SendCommand(Name);
  }

  // Tesseract runs on one OpenMP thread unless the user's environment says
  // otherwise; this may start the program afresh, so it comes first.
  tesseractocr::LimitOpenMPThreads(argv);

  UsePhysicalPixels();
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariable("QT_QPA_PLATFORM") != QLatin1String("offscreen")) {
    std::fputs("korvex: no X display found. Korvex needs a graphical session; "
               "start it from the desktop or under xvfb-run.\n",
               stderr);
    return 1;
  }

  TApplication App(argc, argv);
  TApplication::setApplicationName(QStringLiteral("Korvex"));
  TApplication::setApplicationVersion(QStringLiteral("0.1"));
  // The launcher of these windows; its StartupWMClass is the application
  // name, which Qt gives the windows as their class.
  TApplication::setDesktopFileName(QStringLiteral("korvex"));
  TApplication::setWindowIcon(ApplicationIcon());
  InstallFontSubstitutes();
  QString Error;
  const std::unique_ptr<TPlatform> X11 = CreateX11Platform(&Error);
  if (!X11) {
    std::fprintf(stderr, "korvex: %s\n", qPrintable(Error));
    return 1;
  }

  int ExitCode = 0;
  {
    // The window shows while the recognition data loads behind it.
    TFormOCR Form(QCoreApplication::applicationDirPath(), *X11, nullptr, TFormOCR::TDataLoad::InBackground);
    // Ends the program from whatever runs when the window closes (a
    // selection, a translation, a dialog), not only from the idle loop.
    QObject::connect(&Form, &TFormOCR::Closed, &App, &TApplication::Quit);
    Form.show();
    // Each runs exactly what its hotkey runs, one command at a time.
    TRemoteCommands Commands;
    for (const TFormCommand& Named : FormCommands())
      Commands.AddCommand(QString::fromLatin1(Named.Name), [&Form, &Named] { Form.RunFormCommand(Named); });
    if (!Commands.Listen(&Error))
      std::fprintf(stderr, "korvex: commands from outside are off for now: %s\n", qPrintable(Error));
    TTrayIcon Tray(Form, Commands);
    Tray.ShowWhenTrayExists();
    ShowWaylandNoticeOnce(&Form, Form.Settings());
    ExitCode = App.exec();
    // Data that could not be loaded has closed the window.
    if (Form.StartFailed())
      ExitCode = 1;
  }
  return ExitCode;
}
