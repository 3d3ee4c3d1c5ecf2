#include "server/ApertiumPipeline.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

extern char** environ;

std::string ToApertiumStream(const std::string& Text) {
  std::string Stream;
  Stream.reserve(Text.size() + Text.size() / 8 + 2);
  for (const char C : Text) {
    switch (C) {
    case '[':
    case ']':
    case '^':
    case '$':
    case '/':
    case '@':
    case '\\':
    case '<':
    case '>':
    case '{':
    case '}':
      Stream += '\\';
      Stream += C;
      break;
    case '\n':
    case '\r':
    case '~':
      Stream += '[';
      Stream += C;
      Stream += ']';
      break;
    case '\0': Stream += ' '; break;
    default: Stream += C;
    }
  }
  Stream += "[]";
  return Stream;
}

std::string FromApertiumStream(const std::string& Stream) {
  std::string Text;
  Text.reserve(Stream.size());
  for (size_t I = 0; I < Stream.size(); ++I) {
    const char C = Stream[I];
    if (C == '\\' && I + 1 < Stream.size())
      Text += Stream[++I];
    else if (C != '[' && C != ']' && C != '\0')
      Text += C;
  }
  return Text;
}

namespace {

// The two ends of a pipe, closed on every path.
struct TPipe {
  int Read = -1;
  int Write = -1;
  TPipe() {
    int Fds[2];
    if (::pipe2(Fds, O_CLOEXEC) == 0)
      Read = Fds[0], Write = Fds[1];
  }
  ~TPipe() {
    CloseRead();
    CloseWrite();
  }
  TPipe(const TPipe&) = delete;
  TPipe& operator=(const TPipe&) = delete;
  bool Ok() const { return Read >= 0; }
  void CloseRead() {
    if (Read >= 0)
      ::close(Read);
    Read = -1;
  }
  void CloseWrite() {
    if (Write >= 0)
      ::close(Write);
    Write = -1;
  }
  int TakeRead() { return std::exchange(Read, -1); }
  int TakeWrite() { return std::exchange(Write, -1); }
};

// Starts Argv in a new process group with In and Out as its standard input
// and output and stderr on /dev/null. The server ignores SIGPIPE; the child
// gets the default back so that a pipeline stage whose reader died ends.
pid_t Spawn(const std::vector<std::string>& Argv, int In, int Out) {
  posix_spawn_file_actions_t Actions;
  posix_spawnattr_t Attributes;
  posix_spawn_file_actions_init(&Actions);
  posix_spawnattr_init(&Attributes);
  posix_spawn_file_actions_adddup2(&Actions, In, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&Actions, Out, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&Actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  sigset_t Default;
  sigemptyset(&Default);
  sigaddset(&Default, SIGPIPE);
  sigset_t Empty;
  sigemptyset(&Empty);
  posix_spawnattr_setsigdefault(&Attributes, &Default);
  posix_spawnattr_setsigmask(&Attributes, &Empty);
  posix_spawnattr_setpgroup(&Attributes, 0);
  posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> Args;
  for (const auto& Arg : Argv)
    Args.push_back(const_cast<char*>(Arg.c_str()));
  Args.push_back(nullptr);
  pid_t Pid = -1;
  if (::posix_spawnp(&Pid, Args[0], &Actions, &Attributes, Args.data(), environ) != 0)
    Pid = -1;
  posix_spawn_file_actions_destroy(&Actions);
  posix_spawnattr_destroy(&Attributes);
  return Pid;
}

void KillGroup(pid_t Pid) {
  ::kill(-Pid, SIGKILL);
  while (::waitpid(Pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

void SetNonBlocking(int Fd) { ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) | O_NONBLOCK); }

enum class EPump { Done, TimedOut, Closed };

// Writes Input to ToChild while reading FromChild, so that a command which
// answers before it has read all its input cannot dead-lock us; stops once
// Finished says the output is complete. ToChild may be -1 (nothing to write);
// with CloseWhenWritten it is closed, and set to -1, once all is written.
template <class TFinished>
EPump Pump(int& ToChild, int FromChild, const std::string& Input, std::string& Output,
           std::chrono::steady_clock::time_point Deadline, bool CloseWhenWritten, TFinished Finished) {
  size_t Written = ToChild < 0 ? Input.size() : 0;
  char Buffer[65536];
  for (;;) {
    if (ToChild >= 0 && Written == Input.size() && CloseWhenWritten) {
      ::close(ToChild);
      ToChild = -1;
    }
    const auto Left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
    if (Left.count() <= 0)
      return EPump::TimedOut;
    pollfd Fds[2] = {{FromChild, POLLIN, 0}, {ToChild, POLLOUT, 0}};
    const nfds_t Count = (ToChild >= 0 && Written < Input.size()) ? 2 : 1;
    const int Ready = ::poll(Fds, Count, static_cast<int>(Left.count()));
    if (Ready < 0 && errno != EINTR)
      return EPump::Closed;
    if (Ready <= 0)
      continue;
    if (Count == 2 && (Fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t Sent = ::write(ToChild, Input.data() + Written, Input.size() - Written);
      if (Sent < 0 && errno != EAGAIN && errno != EINTR)
        return EPump::Closed;
      if (Sent > 0)
        Written += static_cast<size_t>(Sent);
    }
    if (Fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
      const ssize_t Got = ::read(FromChild, Buffer, sizeof(Buffer));
      if (Got == 0 || (Got < 0 && errno != EAGAIN && errno != EINTR))
        return EPump::Closed;
      if (Got > 0) {
        Output.append(Buffer, static_cast<size_t>(Got));
        if (Written == Input.size() && Finished(Output))
          return EPump::Done;
      }
    }
  }
}

} // namespace

TNullFlushProcess::TNullFlushProcess(std::vector<std::string> Argv) : FArgv(std::move(Argv)) {}

TNullFlushProcess::~TNullFlushProcess() {
  std::lock_guard Lock(FMutex);
  StopLocked();
}

pid_t TNullFlushProcess::ProcessGroup() const {
  std::lock_guard Lock(FMutex);
  return FPid;
}

bool TNullFlushProcess::StartLocked() {
  TPipe In;
  TPipe Out;
  if (!In.Ok() || !Out.Ok())
    return false;
  const pid_t Pid = Spawn(FArgv, In.Read, Out.Write);
  if (Pid < 0)
    return false;
  FPid = Pid;
  FToChild = In.TakeWrite();
  FFromChild = Out.TakeRead();
  SetNonBlocking(FToChild);
  SetNonBlocking(FFromChild);
  return true;
}

void TNullFlushProcess::StopLocked() {
  if (FToChild >= 0)
    ::close(FToChild);
  if (FFromChild >= 0)
    ::close(FFromChild);
  FToChild = FFromChild = -1;
  if (FPid > 0)
    KillGroup(FPid);
  FPid = -1;
}

bool TNullFlushProcess::AliveLocked() {
  if (FPid <= 0)
    return false;
  if (::waitpid(FPid, nullptr, WNOHANG) == 0)
    return true;
  // It is reaped now; its group may still hold stages that lost their input.
  ::kill(-FPid, SIGKILL);
  FPid = -1;
  StopLocked();
  return false;
}

TPipelineAnswer TNullFlushProcess::Exchange(const std::string& Input, std::chrono::milliseconds Timeout,
                                            const std::string& Seal) {
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  std::lock_guard Lock(FMutex);
  // A pipeline that died between requests, or during this one before it
  // answered, is started again once; the text itself is harmless to resend.
  TPipelineAnswer Answer;
  for (int Attempt = 0; Attempt < 2; ++Attempt) {
    if (!AliveLocked() && !StartLocked())
      return {TPipelineAnswer::EKind::StartFailed, {}};
    Answer = ExchangeLocked(Input, Deadline, Seal);
    if (Answer.Kind != TPipelineAnswer::EKind::Died)
      return Answer;
    StopLocked();
  }
  return Answer;
}

TPipelineAnswer TNullFlushProcess::ExchangeLocked(const std::string& Input,
                                                  std::chrono::steady_clock::time_point Deadline,
                                                  const std::string& Seal) {
  std::string Framed = Input;
  Framed += Seal;
  Framed += '\0';
  std::string Output;
  int ToChild = FToChild;
  const EPump Result = Pump(ToChild, FFromChild, Framed, Output, Deadline, false,
                            [](const std::string& Got) { return Got.find('\0') != std::string::npos; });
  if (Result == EPump::TimedOut) {
    // Its answer would arrive as the next request's, so it cannot be kept.
    StopLocked();
    return {TPipelineAnswer::EKind::TimedOut, {}};
  }
  if (Result == EPump::Closed)
    return {TPipelineAnswer::EKind::Died, {}};
  Output.resize(Output.find('\0'));
  if (!Seal.empty()) {
    const size_t At = Output.rfind(Seal);
    if (At == std::string::npos || Output.find_first_not_of(" \t\r\n", At + Seal.size()) != std::string::npos)
      return {TPipelineAnswer::EKind::Died, {}};
    Output.erase(At, Seal.size());
  }
  return {TPipelineAnswer::EKind::Answered, std::move(Output)};
}

std::optional<std::string> RunCommand(const std::vector<std::string>& Argv, const std::string& Input,
                                      std::chrono::milliseconds Timeout) {
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  TPipe In;
  TPipe Out;
  if (!In.Ok() || !Out.Ok())
    return std::nullopt;
  const pid_t Pid = Spawn(Argv, In.Read, Out.Write);
  if (Pid < 0)
    return std::nullopt;
  In.CloseRead();
  Out.CloseWrite();
  SetNonBlocking(In.Write);
  SetNonBlocking(Out.Read);
  std::string Output;
  const EPump Result =
      Pump(In.Write, Out.Read, Input, Output, Deadline, true, [](const std::string&) { return false; });
  if (Result == EPump::TimedOut) {
    KillGroup(Pid);
    return std::nullopt;
  }
  int Status = 0;
  while (::waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
    return std::nullopt;
  return Output;
}
