#pragma once

#include <httplib.h>

#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// A real HTTP server on a free loopback port for the lifetime of the object.
// Every request is recorded and then answered by the handler, which runs on
// the server's thread.
class TLoopbackServer {
public:
  struct TRequest {
    std::string Method;
    std::string Path;
    std::string Body;
    httplib::Headers Headers;
    std::string Header(const std::string& Name) const {
      const auto It = Headers.find(Name);
      return It == Headers.end() ? std::string("<none>") : It->second;
    }
  };
  using THandler = std::function<void(const httplib::Request&, httplib::Response&)>;

  explicit TLoopbackServer(THandler Handler) : FHandler(std::move(Handler)) {
    FServer.Post(R"(.*)", [this](const httplib::Request& Request, httplib::Response& Response) {
      {
        std::lock_guard Lock(FMutex);
        FRequests.push_back({Request.method, Request.path, Request.body, Request.headers});
      }
      FHandler(Request, Response);
    });
    FPort = FServer.bind_to_any_port("127.0.0.1");
    if (FPort <= 0)
      throw std::runtime_error("loopback server could not bind");
    FThread = std::thread([this] { FServer.listen_after_bind(); });
    while (!FServer.is_running())
      std::this_thread::yield();
  }
  ~TLoopbackServer() {
    FServer.stop();
    FThread.join();
  }

  int Port() const { return FPort; }
  QString Url() const { return QStringLiteral("http://127.0.0.1:%1").arg(FPort); }
  std::vector<TRequest> Requests() const {
    std::lock_guard Lock(FMutex);
    return FRequests;
  }

private:
  httplib::Server FServer;
  THandler FHandler;
  int FPort = 0;
  mutable std::mutex FMutex;
  std::vector<TRequest> FRequests;
  std::thread FThread;
};

// A bare TCP server on a free loopback port, for replies no HTTP server
// would give: silence, a body cut short, a body without end. Connections are
// handled one after another on the server's thread.
class TRawServer {
public:
  explicit TRawServer(std::function<void(int Socket)> Handler) : FHandler(std::move(Handler)) {
    FListen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in Address{};
    Address.sin_family = AF_INET;
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Length = sizeof(Address);
    if (FListen < 0 || ::bind(FListen, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) != 0 ||
        ::listen(FListen, 8) != 0 || ::getsockname(FListen, reinterpret_cast<sockaddr*>(&Address), &Length) != 0)
      throw std::runtime_error("raw server could not listen");
    FPort = ntohs(Address.sin_port);
    FThread = std::thread([this] {
      for (;;) {
        const int Socket = ::accept(FListen, nullptr, nullptr);
        if (Socket < 0 || FStopping)
          break;
        FHandler(Socket);
        ::close(Socket);
      }
    });
  }
  ~TRawServer() {
    FStopping = true;
    ::shutdown(FListen, SHUT_RDWR);
    FThread.join();
    ::close(FListen);
  }

  QString Url() const { return QStringLiteral("http://127.0.0.1:%1").arg(FPort); }

  // Reads one request (headers and a Content-Length body) and returns it.
  static std::string ReadRequest(int Socket) {
    std::string Data;
    char Buffer[65536];
    size_t BodyStart = std::string::npos;
    size_t Expected = 0;
    for (;;) {
      if (BodyStart != std::string::npos && Data.size() >= BodyStart + Expected)
        return Data;
      const ssize_t Got = ::recv(Socket, Buffer, sizeof(Buffer), 0);
      if (Got <= 0)
        return Data;
      Data.append(Buffer, static_cast<size_t>(Got));
      if (BodyStart == std::string::npos) {
        const size_t End = Data.find("\r\n\r\n");
        if (End == std::string::npos)
          continue;
        BodyStart = End + 4;
        const size_t Field = Data.find("Content-Length: ");
        if (Field != std::string::npos && Field < End)
          Expected = std::stoul(Data.substr(Field + 16));
      }
    }
  }

  // Sends all of Data; false once the peer has gone.
  static bool Send(int Socket, const std::string& Data) {
    size_t Done = 0;
    while (Done < Data.size()) {
      const ssize_t Sent = ::send(Socket, Data.data() + Done, Data.size() - Done, MSG_NOSIGNAL);
      if (Sent <= 0)
        return false;
      Done += static_cast<size_t>(Sent);
    }
    return true;
  }

  // Blocks until the peer closes the connection.
  static void WaitForClose(int Socket) {
    char Buffer[4096];
    while (::recv(Socket, Buffer, sizeof(Buffer), 0) > 0) {
    }
  }

private:
  std::function<void(int)> FHandler;
  int FListen = -1;
  int FPort = 0;
  std::atomic<bool> FStopping = false;
  std::thread FThread;
};

// A loopback URL on which nothing listens.
inline QString UnusedLoopbackUrl() {
  const int Socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Length = sizeof(Address);
  ::bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof(Address));
  ::getsockname(Socket, reinterpret_cast<sockaddr*>(&Address), &Length);
  ::close(Socket);
  return QStringLiteral("http://127.0.0.1:%1").arg(ntohs(Address.sin_port));
}
