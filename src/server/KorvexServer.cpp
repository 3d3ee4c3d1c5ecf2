#include "server/KorvexServer.h"

#include "server/HttpRequestHead.h"

#include <httplib.h>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

// A connection that was answered and closed by the server gets this long to
// stop sending, so that closing on its unread bytes does not reset the
// connection before the client has read the answer.
constexpr std::chrono::milliseconds LingerTime{2000};
// Requests served on one kept-alive connection before it is closed.
constexpr int MaxRequestsPerConnection = 100;
constexpr size_t ReadChunk = 64 * 1024;

void Send(httplib::Response& Response, const TServerReply& Reply) {
  Response.status = Reply.Status;
  Response.set_content(Reply.Body, "application/json; charset=utf-8");
}

// Why the library refused a request, in words. It takes a body sent as a
// form (curl's default for --data) only up to FormBodyBytes, whatever the
// limit for other bodies.
constexpr size_t FormBodyBytes = CPPHTTPLIB_FORM_URL_ENCODED_PAYLOAD_MAX_LENGTH;

std::string RefusalMessage(const httplib::Request& Request, int Status) {
  if (Status == 413 && Request.get_header_value("Content-Type").starts_with("application/x-www-form-urlencoded"))
    return "a request body sent as a form is limited to " + std::to_string(FormBodyBytes) +
           " bytes: send JSON to /translate and a picture's bytes to /ocr with another Content-Type "
           "(application/json, application/octet-stream)";
  if (Status == 413)
    return "the request body is larger than " + std::to_string(MaxRequestBytes >> 20) + " MiB";
  if (Status == 404)
    return "no such route: use POST /translate, POST /ocr or GET /health";
  return "the request was refused with status " + std::to_string(Status);
}

const char* StatusText(int Status) {
  switch (Status) {
  case 100: return "Continue";
  case 400: return "Bad Request";
  case 408: return "Request Timeout";
  case 413: return "Payload Too Large";
  case 431: return "Request Header Fields Too Large";
  case 501: return "Not Implemented";
  case 503: return "Service Unavailable";
  }
  return "Error";
}

// A whole reply written by the server itself, outside the library.
std::string RawReply(const TServerReply& Reply, bool Close) {
  return "HTTP/1.1 " + std::to_string(Reply.Status) + " " + StatusText(Reply.Status) +
         "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " + std::to_string(Reply.Body.size()) +
         (Close ? "\r\nConnection: close\r\n\r\n" : "\r\n\r\n") + Reply.Body;
}

const std::string OcrBusy = "OCR is busy: every worker is recognising and the queue is full; try again";

// The library's request handling, fed with a request already read whole.
class THttpRouter : public httplib::Server {
public:
  bool Serve(httplib::Stream& Stream, bool CloseConnection, bool& ConnectionClosed) {
    return process_request(Stream, CloseConnection, ConnectionClosed, nullptr);
  }
};

struct TConnection {
  enum class EState { Reading, Busy, Lingering };
  int Fd = -1;
  sockaddr_storage Peer{};
  EState State = EState::Reading;
  std::string In; // bytes received and not yet served
  THttpRequestHead Head;
  size_t Reserved = 0;  // bytes of MaxBufferedBytes this connection holds
  bool Started = false; // a byte of the current request has arrived
  bool PeerClosed = false;
  bool Ocr = false; // holds one of the OCR slots while busy
  bool CloseAfter = false;
  int Served = 0;
  TClock::time_point Deadline;
};

// What the library reads and writes for one request: the request comes from
// the bytes already received, the reply goes to the socket within a time.
class TConnectionStream : public httplib::Stream {
public:
  TConnectionStream(TConnection& Connection, TClock::time_point WriteDeadline)
      : FConnection(Connection), FEnd(Connection.Head.RequestBytes), FDeadline(WriteDeadline) {}

  bool is_readable() const override { return FRead < FEnd; }
  bool is_writable() const override { return true; }
  ssize_t read(char* Buffer, size_t Size) override {
    const size_t Count = std::min(Size, FEnd - FRead);
    std::copy_n(FConnection.In.data() + FRead, Count, Buffer);
    FRead += Count;
    return ssize_t(Count);
  }
  ssize_t write(const char* Data, size_t Size) override {
    for (;;) {
      const ssize_t Sent = ::send(FConnection.Fd, Data, Size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (Sent >= 0)
        return Sent;
      if (errno == EINTR)
        continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK)
        return -1;
      const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(FDeadline - TClock::now()).count();
      pollfd Wait{FConnection.Fd, POLLOUT, 0};
      if (Left <= 0 || ::poll(&Wait, 1, int(Left)) == 0)
        return -1;
    }
  }
  void get_remote_ip_and_port(std::string& Ip, int& Port) const override {
    Address(reinterpret_cast<const sockaddr*>(&FConnection.Peer), Ip, Port);
  }
  void get_local_ip_and_port(std::string& Ip, int& Port) const override {
    sockaddr_storage Local{};
    socklen_t Length = sizeof Local;
    if (::getsockname(FConnection.Fd, reinterpret_cast<sockaddr*>(&Local), &Length) == 0)
      Address(reinterpret_cast<const sockaddr*>(&Local), Ip, Port);
  }
  socket_t socket() const override { return FConnection.Fd; }

private:
  static void Address(const sockaddr* Socket, std::string& Ip, int& Port) {
    char Host[NI_MAXHOST] = "";
    char Service[NI_MAXSERV] = "";
    const socklen_t Length = Socket->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (::getnameinfo(Socket, Length, Host, sizeof Host, Service, sizeof Service, NI_NUMERICHOST | NI_NUMERICSERV) ==
        0) {
      Ip = Host;
      Port = std::atoi(Service);
    }
  }

  TConnection& FConnection;
  size_t FRead = 0;
  const size_t FEnd;
  const TClock::time_point FDeadline;
};

// A fixed set of threads taking tasks in order.
class TWorkers {
public:
  explicit TWorkers(int Count) {
    for (int I = 0; I < std::max(Count, 1); ++I)
      FThreads.emplace_back([this] { Work(); });
  }
  ~TWorkers() {
    {
      std::lock_guard Lock(FMutex);
      FStopping = true;
    }
    FWake.notify_all();
    for (std::thread& Thread : FThreads)
      Thread.join();
  }
  void Post(std::function<void()> Task) {
    {
      std::lock_guard Lock(FMutex);
      FTasks.push_back(std::move(Task));
    }
    FWake.notify_one();
  }

private:
  void Work() {
    for (;;) {
      std::function<void()> Task;
      {
        std::unique_lock Lock(FMutex);
        FWake.wait(Lock, [this] { return FStopping || !FTasks.empty(); });
        if (FTasks.empty())
          return;
        Task = std::move(FTasks.front());
        FTasks.pop_front();
      }
      Task();
    }
  }

  std::mutex FMutex;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FTasks;
  bool FStopping = false;
  std::vector<std::thread> FThreads;
};

} // namespace

class TKorvexServer::TImpl {
public:
  TImpl(TTranslateService& Translate, TOcrHandler Ocr, TServerLimits Limits)
      : FTranslate(Translate), FOcr(std::move(Ocr)), FLimits(Limits) {
    FWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    FEpoll = ::epoll_create1(EPOLL_CLOEXEC);
    FRouter.set_payload_max_length(MaxRequestBytes);
    // Only for the Keep-Alive header the library writes; the loop below
    // keeps connections by these figures.
    FRouter.set_keep_alive_max_count(MaxRequestsPerConnection);
    FRouter.set_keep_alive_timeout(
        std::max<time_t>(1, std::chrono::duration_cast<std::chrono::seconds>(FLimits.IdleTimeout).count()));
    FRouter.Post("/translate", [this](const httplib::Request& Request, httplib::Response& Response) {
      Send(Response, FTranslate.Translate(Request.body));
    });
    FRouter.Get("/health", [this](const httplib::Request&, httplib::Response& Response) {
      Send(Response, FTranslate.Health(static_cast<bool>(FOcr)));
    });
    FRouter.Post("/ocr", [this](const httplib::Request& Request, httplib::Response& Response) {
      if (!FOcr)
        return Send(Response, ErrorReply(503, "OCR is not available in this korvex-server"));
      Send(Response, FOcr(Request.body, Request.get_header_value("paragraph") == "True",
                          Request.get_header_value("enhance") != "False"));
    });
    // A handler that throws must cost one request, never the server.
    FRouter.set_exception_handler([](const httplib::Request&, httplib::Response& Response, std::exception_ptr Error) {
      std::string What = "unknown error";
      try {
        std::rethrow_exception(Error);
      } catch (const std::exception& E) {
        What = E.what();
      } catch (...) {
      }
      Send(Response, ErrorReply(500, "internal error: " + What));
    });
    FRouter.set_error_handler([](const httplib::Request& Request, httplib::Response& Response) {
      if (Response.body.empty())
        Send(Response, ErrorReply(Response.status, RefusalMessage(Request, Response.status)));
    });
  }

  ~TImpl() {
    if (FListen >= 0)
      ::close(FListen);
    ::close(FEpoll);
    ::close(FWake);
  }

  int Bind(const std::string& Host, int Port) {
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    Hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* Found = nullptr;
    if (::getaddrinfo(Host.c_str(), std::to_string(Port).c_str(), &Hints, &Found) != 0)
      return -1;
    int Socket = -1;
    for (addrinfo* It = Found; It && Socket < 0; It = It->ai_next) {
      Socket = ::socket(It->ai_family, It->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, It->ai_protocol);
      if (Socket < 0)
        continue;
      const int Yes = 1;
      ::setsockopt(Socket, SOL_SOCKET, SO_REUSEADDR, &Yes, sizeof Yes);
      if (::bind(Socket, It->ai_addr, It->ai_addrlen) != 0 || ::listen(Socket, SOMAXCONN) != 0) {
        ::close(Socket);
        Socket = -1;
      }
    }
    ::freeaddrinfo(Found);
    if (Socket < 0)
      return -1;
    sockaddr_storage Bound{};
    socklen_t Length = sizeof Bound;
    ::getsockname(Socket, reinterpret_cast<sockaddr*>(&Bound), &Length);
    if (FListen >= 0)
      ::close(FListen);
    FListen = Socket;
    return ntohs(Bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&Bound)->sin6_port
                                             : reinterpret_cast<sockaddr_in*>(&Bound)->sin_port);
  }

  bool Listen() {
    if (FListen < 0 || FEpoll < 0 || FWake < 0)
      return false;
    Watch(FWake, EPOLLIN);
    Watch(FListen, EPOLLIN);
    {
      TWorkers Fast(FLimits.Threads);
      std::unique_ptr<TWorkers> Ocr = FOcr ? std::make_unique<TWorkers>(FLimits.OcrSlots) : nullptr;
      FFast = &Fast;
      FOcrWorkers = Ocr.get();
      FRunning = true;
      Loop();
      FRunning = false;
    }
    FFast = FOcrWorkers = nullptr;
    ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, FWake, nullptr);
    ::close(FListen);
    FListen = -1;
    return true;
  }

  void Stop() {
    FStopping = true;
    const uint64_t One = 1;
    [[maybe_unused]] const ssize_t Written = ::write(FWake, &One, sizeof One);
  }

  bool IsRunning() const { return FRunning; }

private:
  void Watch(int Fd, uint32_t Events) {
    epoll_event Event{};
    Event.events = Events;
    Event.data.fd = Fd;
    ::epoll_ctl(FEpoll, EPOLL_CTL_ADD, Fd, &Event);
  }

  void Loop() {
    bool ListenerWatched = true;
    TClock::time_point ListenerPausedUntil;
    std::vector<epoll_event> Events(256);
    while (!(FStopping && Busy() == 0)) {
      if (FStopping && ListenerWatched) {
        ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, FListen, nullptr);
        ListenerWatched = false;
        std::vector<int> Open;
        for (const auto& [Fd, Connection] : FConnections)
          if (Connection->State != TConnection::EState::Busy)
            Open.push_back(Fd);
        for (int Fd : Open)
          Close(Fd);
      }
      auto Now = TClock::now();
      if (!FStopping && !ListenerWatched && Now >= ListenerPausedUntil) {
        Watch(FListen, EPOLLIN);
        ListenerWatched = true;
      }
      TClock::time_point Next = Now + std::chrono::seconds(60);
      if (!ListenerWatched && !FStopping)
        Next = std::min(Next, ListenerPausedUntil);
      for (const auto& [Fd, Connection] : FConnections)
        if (Connection->State != TConnection::EState::Busy)
          Next = std::min(Next, Connection->Deadline);
      const auto Wait = std::chrono::ceil<std::chrono::milliseconds>(Next - Now).count();
      const int Count = ::epoll_wait(FEpoll, Events.data(), int(Events.size()), int(std::max<long long>(Wait, 0)));
      for (int I = 0; I < Count; ++I) {
        const int Fd = Events[I].data.fd;
        if (Fd == FWake) {
          uint64_t Value;
          [[maybe_unused]] const ssize_t Got = ::read(FWake, &Value, sizeof Value);
          TakeBackServed();
        } else if (Fd == FListen) {
          if (!Accept()) {
            // Out of file descriptors: the queue waits a moment rather than spinning.
            ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, FListen, nullptr);
            ListenerWatched = false;
            ListenerPausedUntil = TClock::now() + std::chrono::milliseconds(100);
          }
        } else if (const auto It = FConnections.find(Fd); It != FConnections.end()) {
          Readable(*It->second);
        }
      }
      Now = TClock::now();
      std::vector<int> Expired;
      for (const auto& [Fd, Connection] : FConnections)
        if (Connection->State != TConnection::EState::Busy && Connection->Deadline <= Now)
          Expired.push_back(Fd);
      for (int Fd : Expired)
        TimedOut(*FConnections.at(Fd));
    }
    std::vector<int> Open;
    for (const auto& [Fd, Connection] : FConnections)
      Open.push_back(Fd);
    for (int Fd : Open)
      Close(Fd);
  }

  size_t Busy() const {
    return size_t(std::count_if(FConnections.begin(), FConnections.end(),
                                [](const auto& Entry) { return Entry.second->State == TConnection::EState::Busy; }));
  }

  // False when no descriptor is left for a new connection.
  bool Accept() {
    for (;;) {
      auto Connection = std::make_unique<TConnection>();
      socklen_t Length = sizeof Connection->Peer;
      const int Fd =
          ::accept4(FListen, reinterpret_cast<sockaddr*>(&Connection->Peer), &Length, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (Fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED)
          continue;
        return errno != EMFILE && errno != ENFILE && errno != ENOBUFS && errno != ENOMEM;
      }
      if (int(FConnections.size()) >= FLimits.MaxConnections) {
        // Refused at once: the client learns it now instead of waiting in a queue.
        const std::string Reply =
            RawReply(ErrorReply(503, "korvex-server has " + std::to_string(FLimits.MaxConnections) +
                                         " connections open, the most it serves; try again"),
                     true);
        [[maybe_unused]] const ssize_t Sent = ::send(Fd, Reply.data(), Reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::shutdown(Fd, SHUT_WR);
        ::close(Fd);
        continue;
      }
      const int Yes = 1;
      // Replies are small; without this the delayed ACK holds each one back ~40 ms.
      ::setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &Yes, sizeof Yes);
      Connection->Fd = Fd;
      Connection->Deadline = TClock::now() + FLimits.RequestDeadline;
      Watch(Fd, EPOLLIN);
      FConnections.emplace(Fd, std::move(Connection));
    }
  }

  void Readable(TConnection& Connection) {
    char Buffer[ReadChunk];
    // An event fetched before the connection went to a worker in the same round.
    if (Connection.State == TConnection::EState::Busy)
      return;
    const ssize_t Got = ::recv(Connection.Fd, Buffer, sizeof Buffer, 0);
    if (Got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
      return;
    if (Connection.State == TConnection::EState::Lingering) {
      if (Got <= 0)
        Close(Connection.Fd);
      return;
    }
    if (Got < 0)
      return Close(Connection.Fd);
    if (Got == 0) {
      Connection.PeerClosed = true;
      ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, Connection.Fd, nullptr);
      return Advance(Connection);
    }
    if (!Connection.Started) {
      Connection.Started = true;
      Connection.Deadline = TClock::now() + FLimits.RequestDeadline;
    }
    Connection.In.append(Buffer, size_t(Got));
    // A client that writes its headers and body apart, without TCP_NODELAY,
    // holds the body back until the headers are acknowledged; a delayed
    // acknowledgement would cost each such request 40 ms.
    const int Yes = 1;
    ::setsockopt(Connection.Fd, IPPROTO_TCP, TCP_QUICKACK, &Yes, sizeof Yes);
    Advance(Connection);
  }

  // Reads what the bytes received say about the request at their front,
  // and hands a complete one to a thread.
  void Advance(TConnection& Connection) {
    const THeadResult Result = ReadRequestHead(Connection.In, Connection.Head, MaxRequestBytes);
    if (Result.Kind == THeadResult::EKind::Refused)
      return Refuse(Connection, ErrorReply(Result.Status, Result.Message));
    if (Result.Kind == THeadResult::EKind::SendContinue) {
      const std::string Continue = "HTTP/1.1 100 Continue\r\n\r\n";
      [[maybe_unused]] const ssize_t Sent =
          ::send(Connection.Fd, Continue.data(), Continue.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    if (!Reserve(Connection))
      return Refuse(Connection, ErrorReply(503, "korvex-server holds as many request bytes as it may; try again"));
    if (Result.Kind != THeadResult::EKind::Complete) {
      if (Connection.PeerClosed) {
        if (Connection.In.empty())
          return Close(Connection.Fd);
        return Refuse(Connection, ErrorReply(400, "the connection was closed before the request was complete"));
      }
      return;
    }
    if (!Connection.PeerClosed)
      ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, Connection.Fd, nullptr);
    Connection.State = TConnection::EState::Busy;
    TWorkers* Workers = FFast;
    if (Connection.Head.Ocr && FOcr) {
      if (FOcrBusy >= FLimits.OcrSlots)
        return AnswerHere(Connection, ErrorReply(503, OcrBusy));
      ++FOcrBusy;
      Connection.Ocr = true;
      Workers = FOcrWorkers;
    }
    Workers->Post([this, &Connection] { Serve(Connection); });
  }

  // On a worker thread: the library answers the request.
  void Serve(TConnection& Connection) {
    TConnectionStream Stream(Connection, TClock::now() + FLimits.WriteTimeout);
    const bool MustClose = Connection.Head.BodySkipped || Connection.PeerClosed ||
                           Connection.Served + 1 >= MaxRequestsPerConnection || FStopping;
    bool Closed = false;
    const bool Written = FRouter.Serve(Stream, MustClose, Closed);
    Connection.CloseAfter = !Written || MustClose || Closed;
    {
      std::lock_guard Lock(FServedMutex);
      FServed.push_back(Connection.Fd);
    }
    const uint64_t One = 1;
    [[maybe_unused]] const ssize_t Sent = ::write(FWake, &One, sizeof One);
  }

  void TakeBackServed() {
    std::vector<int> Served;
    {
      std::lock_guard Lock(FServedMutex);
      Served.swap(FServed);
    }
    for (int Fd : Served) {
      TConnection& Connection = *FConnections.at(Fd);
      if (Connection.Ocr)
        --FOcrBusy;
      Connection.Ocr = false;
      if (Connection.CloseAfter) {
        if (Connection.Head.BodySkipped)
          Linger(Connection);
        else
          Close(Fd);
        continue;
      }
      NextRequest(Connection);
    }
  }

  // The request at the front was answered; the connection waits for the next.
  void NextRequest(TConnection& Connection) {
    Connection.In.erase(0, Connection.Head.RequestBytes);
    Connection.Head = {};
    ++Connection.Served;
    Connection.State = TConnection::EState::Reading;
    Connection.Started = !Connection.In.empty();
    Connection.Deadline = TClock::now() + (Connection.Started ? FLimits.RequestDeadline : FLimits.IdleTimeout);
    if (!Connection.PeerClosed)
      Watch(Connection.Fd, EPOLLIN);
    Advance(Connection);
  }

  // A complete request answered by this thread, without the library.
  void AnswerHere(TConnection& Connection, const TServerReply& Reply) {
    const bool CloseAfter = Connection.PeerClosed;
    const std::string Bytes = RawReply(Reply, CloseAfter);
    if (::send(Connection.Fd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) != ssize_t(Bytes.size()) ||
        CloseAfter)
      return Close(Connection.Fd);
    NextRequest(Connection);
  }

  // An answer to a request that was not read whole; the connection ends.
  void Refuse(TConnection& Connection, const TServerReply& Reply) {
    const std::string Bytes = RawReply(Reply, true);
    [[maybe_unused]] const ssize_t Sent =
        ::send(Connection.Fd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    Linger(Connection);
  }

  void Linger(TConnection& Connection) {
    ::shutdown(Connection.Fd, SHUT_WR);
    if (Connection.PeerClosed)
      return Close(Connection.Fd);
    if (Connection.State == TConnection::EState::Busy)
      Watch(Connection.Fd, EPOLLIN);
    Connection.State = TConnection::EState::Lingering;
    Connection.Deadline = TClock::now() + LingerTime;
    Connection.In.clear();
    Connection.In.shrink_to_fit();
    Connection.Head = {};
    Reserve(Connection);
  }

  void TimedOut(TConnection& Connection) {
    if (Connection.State == TConnection::EState::Reading && Connection.Started)
      return Refuse(Connection, ErrorReply(408, "the request did not arrive whole within " +
                                                    std::to_string(FLimits.RequestDeadline.count()) + " ms"));
    Close(Connection.Fd);
  }

  // Accounts the bytes this connection holds, or will hold once its
  // announced body has arrived; false when that passes the server's total.
  bool Reserve(TConnection& Connection) {
    size_t Wanted = Connection.In.size();
    if (Connection.Head.HeadBytes && !Connection.Head.BodySkipped)
      Wanted = std::max(Wanted, Connection.Head.HeadBytes + Connection.Head.ContentLength);
    FBuffered = FBuffered - Connection.Reserved + Wanted;
    Connection.Reserved = Wanted;
    return FBuffered <= FLimits.MaxBufferedBytes;
  }

  void Close(int Fd) {
    const auto It = FConnections.find(Fd);
    if (It == FConnections.end())
      return;
    FBuffered -= It->second->Reserved;
    if (It->second->Ocr)
      --FOcrBusy;
    ::epoll_ctl(FEpoll, EPOLL_CTL_DEL, Fd, nullptr);
    ::close(Fd);
    FConnections.erase(It);
  }

  TTranslateService& FTranslate;
  const TOcrHandler FOcr;
  const TServerLimits FLimits;
  THttpRouter FRouter;
  int FListen = -1;
  int FEpoll = -1;
  int FWake = -1;
  std::atomic<bool> FStopping = false;
  std::atomic<bool> FRunning = false;
  // Owned by the loop's thread; a busy connection is touched only by the
  // worker serving it until it is handed back through FServed.
  std::map<int, std::unique_ptr<TConnection>> FConnections;
  size_t FBuffered = 0;
  int FOcrBusy = 0;
  TWorkers* FFast = nullptr;
  TWorkers* FOcrWorkers = nullptr;
  std::mutex FServedMutex;
  std::vector<int> FServed;
};

TKorvexServer::TKorvexServer(TTranslateService& Translate, TOcrHandler Ocr, TServerLimits Limits)
    : FImpl(std::make_unique<TImpl>(Translate, std::move(Ocr), Limits)) {}

TKorvexServer::~TKorvexServer() = default;

int TKorvexServer::Bind(const std::string& Host, int Port) { return FImpl->Bind(Host, Port); }

bool TKorvexServer::Listen() { return FImpl->Listen(); }

void TKorvexServer::Stop() { FImpl->Stop(); }

bool TKorvexServer::IsRunning() const { return FImpl->IsRunning(); }
