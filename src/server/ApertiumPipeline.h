#pragma once

#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Plain text in Apertium's stream format: the characters the pipeline reads
// as markup are escaped, line breaks travel as blanks, and an empty blank
// ends the text, because the bilingual lookup holds back a last word that
// nothing follows. NUL bytes, which would end the text early, become spaces.
std::string ToApertiumStream(const std::string& Text);
// The inverse for the pipeline's output: blanks opened, escapes removed.
std::string FromApertiumStream(const std::string& Stream);

// How one exchange with a process ended.
struct TPipelineAnswer {
  enum class EKind { Answered, TimedOut, Died, StartFailed };
  EKind Kind = EKind::Answered;
  std::string Output;
};

// One long-running command fed in null-flush mode: each input is written
// followed by a NUL byte and the answer is read up to the NUL the command
// writes after it. The command runs in a process group of its own so that a
// shell pipeline can be killed whole. One exchange at a time; restarted when
// it has died, killed when an exchange overruns its time.
class TNullFlushProcess {
public:
  explicit TNullFlushProcess(std::vector<std::string> Argv);
  ~TNullFlushProcess();
  TNullFlushProcess(const TNullFlushProcess&) = delete;
  TNullFlushProcess& operator=(const TNullFlushProcess&) = delete;

  // With a Seal, the input is sent with Seal after it and an answer counts
  // only when Seal comes back at its end (it is taken off): a command whose
  // stage died flushes what it holds and looks like an answer, so an answer
  // without the seal counts as the command's death.
  TPipelineAnswer Exchange(const std::string& Input, std::chrono::milliseconds Timeout, const std::string& Seal = {});
  // The process group of the running command, for tests that kill it; -1 when none runs.
  pid_t ProcessGroup() const;

private:
  bool StartLocked();
  void StopLocked();
  bool AliveLocked();
  TPipelineAnswer ExchangeLocked(const std::string& Input, std::chrono::steady_clock::time_point Deadline,
                                 const std::string& Seal);

  const std::vector<std::string> FArgv;
  mutable std::mutex FMutex;
  pid_t FPid = -1;
  int FToChild = -1;
  int FFromChild = -1;
};

// Runs Argv once with Input on its standard input and returns its standard
// output, or nothing when it could not start, failed or overran Timeout.
std::optional<std::string> RunCommand(const std::vector<std::string>& Argv, const std::string& Input,
                                      std::chrono::milliseconds Timeout);
