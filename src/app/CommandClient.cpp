#include "app/CommandClient.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int ConnectTimeoutMs = 2000;
constexpr int AnswerTimeoutMs = 5000;
constexpr size_t MaxLine = 256;

std::string Environment(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value ? Value : "";
}

// Path without its trailing slashes (the root stays "/").
std::string WithoutTrailingSlash(std::string Path) {
  while (Path.size() > 1 && Path.back() == '/')
    Path.pop_back();
  return Path;
}

std::string Join(const std::string& Folder, const std::string& Name) {
  const std::string Base = WithoutTrailingSlash(Folder);
  return Base == "/" ? Base + Name : Base + "/" + Name;
}

// Whether Path is a real folder (not a symbolic link) of this user that no
// one else may enter; Why says what is wrong with it otherwise.
bool IsPrivateFolder(const std::string& Path, std::string* Why) {
  struct stat Info {};
  if (lstat(Path.c_str(), &Info) != 0) {
    *Why = std::string("cannot be examined (") + std::strerror(errno) + ")";
  } else if (S_ISLNK(Info.st_mode)) {
    *Why = "is a symbolic link";
  } else if (!S_ISDIR(Info.st_mode)) {
    *Why = "is not a folder";
  } else if (Info.st_uid != getuid()) {
    *Why = "belongs to user id " + std::to_string(Info.st_uid);
  } else if ((Info.st_mode & 077) != 0) {
    char Mode[16];
    std::snprintf(Mode, sizeof Mode, "%04o", unsigned(Info.st_mode & 07777));
    *Why = std::string("is open to other users (mode ") + Mode + ")";
  } else {
    return true;
  }
  return false;
}

// The folder the socket lives in, or empty with Error set when the only
// candidate could be reached or replaced by another user.
std::string SocketFolder(std::string* Error) {
  std::string Why;
  const std::string Runtime = Environment("XDG_RUNTIME_DIR");
  if (!Runtime.empty() && IsPrivateFolder(Runtime, &Why))
    return WithoutTrailingSlash(Runtime);
  std::string Temp = WithoutTrailingSlash(Environment("TMPDIR"));
  if (Temp.empty())
    Temp = "/tmp";
  const std::string Own = Join(Temp, "korvex-" + std::to_string(getuid()));
  if (mkdir(Own.c_str(), 0700) != 0 && errno != EEXIST) {
    *Error = "cannot create the folder " + Own + " (" + std::strerror(errno) + ")";
    return {};
  }
  if (!IsPrivateFolder(Own, &Why)) {
    *Error = "the folder " + Own + " for the command socket " + Why +
             ", so another user could take the commands; refusing to use it (remove it to let Korvex create it afresh)";
    return {};
  }
  return Own;
}

std::string Trimmed(const std::string& Text) {
  const char* Space = " \t\n\r\v\f";
  const size_t First = Text.find_first_not_of(Space);
  if (First == std::string::npos)
    return {};
  return Text.substr(First, Text.find_last_not_of(Space) - First + 1);
}

// A file descriptor closed with its owner.
struct TFileDescriptor {
  explicit TFileDescriptor(int Descriptor) : Fd(Descriptor) {}
  ~TFileDescriptor() {
    if (Fd >= 0)
      ::close(Fd);
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  const int Fd;
};

} // namespace

std::string CommandSocketPath(std::string* Error) {
  std::string Ignored;
  std::string& Why = Error ? *Error : Ignored;
  std::string Display = Environment("DISPLAY");
  if (Display.empty()) {
    Why = "DISPLAY is not set";
    return {};
  }
  // Only characters that are safe in a file name.
  for (char& Character : Display) {
    const unsigned char Byte = static_cast<unsigned char>(Character);
    if (!(Byte < 0x80 && (std::isalnum(Byte) || Byte == '.' || Byte == '_' || Byte == '-')))
      Character = '_';
  }
  const std::string Folder = SocketFolder(&Why);
  if (Folder.empty())
    return {};
  return Join(Folder, "korvex-" + Display + ".socket");
}

std::optional<uid_t> SocketPeerUid(int Socket) {
  ucred Credentials{};
  socklen_t Size = sizeof Credentials;
  if (getsockopt(Socket, SOL_SOCKET, SO_PEERCRED, &Credentials, &Size) != 0)
    return std::nullopt;
  return Credentials.uid;
}

int SendCommand(const std::string& Name, std::string* Message) {
  const std::string Display = Environment("DISPLAY");
  const std::string Quoted = "\"" + Name + "\"";
  if (Display.empty()) {
    *Message = "DISPLAY is not set, so there is no Korvex to send " + Quoted + " to.";
    return 1;
  }
  std::string Error;
  const std::string Server = CommandSocketPath(&Error);
  if (Server.empty()) {
    *Message = "Cannot send " + Quoted + ": " + Error + ".";
    return 1;
  }
  // Plain system calls: the sender is a short-lived process that starts in
  // a few milliseconds.
  sockaddr_un Address{};
  Address.sun_family = AF_UNIX;
  if (Server.size() >= sizeof Address.sun_path) {
    *Message = "Cannot send " + Quoted + ": the socket path " + Server + " is too long.";
    return 1;
  }
  std::memcpy(Address.sun_path, Server.data(), Server.size());
  const TFileDescriptor Socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  // A connect to a listener whose queue is full waits at most this long.
  const timeval ConnectTimeout{ConnectTimeoutMs / 1000, (ConnectTimeoutMs % 1000) * 1000};
  if (Socket.Fd >= 0)
    setsockopt(Socket.Fd, SOL_SOCKET, SO_SNDTIMEO, &ConnectTimeout, sizeof ConnectTimeout);
  if (Socket.Fd < 0 || ::connect(Socket.Fd, reinterpret_cast<const sockaddr*>(&Address), sizeof Address) != 0) {
    const int Code = errno;
    const bool NobodyThere = Code == ENOENT || Code == ECONNREFUSED;
    *Message = "No running Korvex for display " + Display +
               (NobodyThere ? std::string() : std::string(" (") + std::strerror(Code) + ")") + ". Start Korvex first.";
    return 1;
  }
  // Whoever listens there must be this user's own Korvex; a listener of
  // anyone else would be handed the user's commands and could fake answers.
  const std::optional<uid_t> Peer = SocketPeerUid(Socket.Fd);
  if (Peer != getuid()) {
    *Message = "The command socket " + Server + " is held by " +
               (Peer ? "user id " + std::to_string(*Peer) : std::string("an unknown user")) + ", not by you; " +
               Quoted + " was not sent.";
    return 1;
  }
  const std::string Request = "COMMAND " + Name + "\n";
  if (::send(Socket.Fd, Request.data(), Request.size(), MSG_NOSIGNAL) != ssize_t(Request.size())) {
    *Message = "Korvex did not answer the command " + Quoted + ".";
    return 1;
  }
  std::string Answer;
  while (Answer.find('\n') == std::string::npos && Answer.size() < MaxLine) {
    pollfd Wait{Socket.Fd, POLLIN, 0};
    if (::poll(&Wait, 1, AnswerTimeoutMs) <= 0)
      break;
    char Buffer[MaxLine];
    const ssize_t Got = ::recv(Socket.Fd, Buffer, sizeof Buffer, 0);
    if (Got <= 0)
      break;
    Answer.append(Buffer, size_t(Got));
  }
  const std::string Reply = Trimmed(Answer);
  if (Reply == "OK") {
    Message->clear();
    return 0;
  }
  if (Reply.rfind("ERROR ", 0) == 0) {
    *Message = "Korvex refused the command: " + Reply.substr(6);
    return 2;
  }
  *Message = "Korvex did not answer the command " + Quoted + ".";
  return 1;
}
