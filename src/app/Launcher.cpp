// korvex: the small program users and desktop shortcuts start. It links no
// Qt, so `korvex --command NAME` hands its word to the running Korvex a few
// milliseconds after it starts; every other invocation becomes the GUI
// program beside it (korvex-gui), with the same arguments and the same
// argv[0], so the windows keep the class "korvex"/"Korvex" and --help,
// --version and --config-path answer exactly as they always did.

#include "app/CommandClient.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* GuiProgram = "korvex-gui";

// korvex-gui in the folder of the running executable, through any link to
// it (bin/korvex of an installation points into its runtime folder).
std::string GuiProgramPath() {
  char Executable[PATH_MAX];
  const ssize_t Length = readlink("/proc/self/exe", Executable, sizeof Executable - 1);
  if (Length <= 0)
    return {};
  const std::string Self(Executable, size_t(Length));
  return Self.substr(0, Self.rfind('/') + 1) + GuiProgram;
}

// The command name when the arguments are just `--command NAME` or
// `--command=NAME`; anything else, odd forms and mistakes included, is for
// the GUI program's full parser.
const char* PlainCommand(int argc, char* argv[]) {
  const char* Name = nullptr;
  if (argc == 3 && std::strcmp(argv[1], "--command") == 0)
    Name = argv[2];
  else if (argc == 2 && std::strncmp(argv[1], "--command=", 10) == 0)
    Name = argv[1] + 10;
  return Name && Name[0] != '\0' && Name[0] != '-' ? Name : nullptr;
}

} // namespace

int main(int argc, char* argv[]) {
  if (const char* Name = PlainCommand(argc, argv)) {
    std::string Message;
    const int ExitCode = SendCommand(Name, &Message);
    if (!Message.empty())
      std::fprintf(stderr, "korvex: %s\n", Message.c_str());
    return ExitCode;
  }
  // Tesseract runs on one OpenMP thread unless the user's environment says
  // otherwise. The GUI program's OpenMP runtime reads the limit as it loads,
  // so without it there the GUI program would have to start itself afresh
  // to set it; here it costs nothing.
  setenv("OMP_THREAD_LIMIT", "1", 0);
  const std::string Gui = GuiProgramPath();
  if (!Gui.empty())
    execv(Gui.c_str(), argv);
  std::fprintf(stderr, "korvex: cannot start %s (%s)\n", Gui.empty() ? GuiProgram : Gui.c_str(), std::strerror(errno));
  return 127;
}
