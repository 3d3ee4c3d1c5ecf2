#include "support/ServerProcess.h"
#include "support/TextImages.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <thread>

namespace {

// A figure of /proc/PID/status: VmRSS and VmHWM in KiB, Threads.
long ProcessStatus(qint64 Pid, const QByteArray& Field) {
  QFile Status(QStringLiteral("/proc/%1/status").arg(Pid));
  if (!Status.open(QIODevice::ReadOnly))
    return -1;
  for (const QByteArray& Line : Status.readAll().split('\n'))
    if (Line.startsWith(Field + ':'))
      return Line.mid(Field.size() + 1).trimmed().split(' ').first().toLong();
  return -1;
}

long ResidentKiB(qint64 Pid) { return ProcessStatus(Pid, "VmRSS"); }

std::string Encode(const QImage& Picture, const char* Format) {
  QByteArray Bytes;
  QBuffer Buffer(&Bytes);
  Buffer.open(QIODevice::WriteOnly);
  Picture.save(&Buffer, Format);
  return Bytes.toStdString();
}

std::string TranslateBody(const std::string& Text) {
  return nlohmann::json{{"sl", "en"}, {"tl", "es"}, {"hn", "N"}, {"q", Text}}.dump();
}

// A loopback connection that sends what it is told, when it is told.
int Connect(quint16 Port) {
  const int Fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_port = htons(Port);
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0) {
    ::close(Fd);
    return -1;
  }
  return Fd;
}

// A grey PNG of Width x Height black pixels, which deflate squeezes about
// a thousandfold, written row by row.
std::string BlackPng(uint32_t Width, uint32_t Height) {
  auto BigEndian = [](std::string& To, uint32_t Value) {
    for (int Shift = 24; Shift >= 0; Shift -= 8)
      To += char(Value >> Shift);
  };
  auto Chunk = [&](std::string& To, const char* Type, const std::string& Data) {
    BigEndian(To, uint32_t(Data.size()));
    const std::string Typed = Type + Data;
    To += Typed;
    BigEndian(To, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(Typed.data()), uInt(Typed.size()))));
  };
  std::string Header;
  BigEndian(Header, Width);
  BigEndian(Header, Height);
  Header += std::string("\x08\x00\x00\x00\x00", 5); // 8-bit grey, no interlace
  z_stream Stream{};
  deflateInit(&Stream, 9);
  const std::string Row(Width + 1, '\0');
  std::string Compressed;
  char Out[65536];
  for (uint32_t Y = 0; Y <= Height; ++Y) {
    const bool Last = Y == Height;
    Stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Row.data()));
    Stream.avail_in = Last ? 0 : uInt(Row.size());
    do {
      Stream.next_out = reinterpret_cast<Bytef*>(Out);
      Stream.avail_out = sizeof Out;
      deflate(&Stream, Last ? Z_FINISH : Z_NO_FLUSH);
      Compressed.append(Out, sizeof Out - Stream.avail_out);
    } while (Stream.avail_out == 0);
  }
  deflateEnd(&Stream);
  std::string Png("\x89PNG\r\n\x1a\n", 8);
  Chunk(Png, "IHDR", Header);
  Chunk(Png, "IDAT", Compressed);
  Chunk(Png, "IEND", "");
  return Png;
}

std::string BlankBmp() {
  QImage Picture(320, 80, QImage::Format_RGB32);
  Picture.fill(Qt::white);
  QByteArray Bytes;
  QBuffer Buffer(&Bytes);
  Buffer.open(QIODevice::WriteOnly);
  Picture.save(&Buffer, "BMP");
  return Bytes.toStdString();
}

// The real korvex-server under 16 clients for ten seconds, translating and
// recognising at once with a deliberately small OCR queue: every request is
// answered, or refused with 503, and the server keeps its memory.
TEST(ServerLoad, SixteenClientsForTenSeconds) {
  TServerProcess Server({"--ocr-workers", "1", "--ocr-queue", "2"});
  ASSERT_TRUE(Server.WaitUntilListening()) << Server.Errors().toStdString();
  const quint16 Port = Server.Port();

  const std::string Picture = BlankBmp();
  std::mutex Lock;
  std::map<int, int> Statuses;  // status (0: no answer) -> count
  std::vector<std::string> Odd; // the first answers that were neither 200 nor 503
  std::atomic<bool> Stop = false;
  auto Client = [&](int Number) {
    httplib::Client Http("127.0.0.1", Port);
    Http.set_read_timeout(30);
    for (int Request = 0; !Stop; ++Request) {
      const auto Send = [&]() -> httplib::Result {
        if (Request % 3 == 2)
          return Http.Post("/ocr", httplib::Headers{{"paragraph", "False"}}, Picture, "image/png");
        // Some texts repeat (cache hits), most are new (the Apertium pipeline).
        const std::string Text =
            "The house number " + std::to_string(Request % 7 == 0 ? 1 : Number * 100000 + Request) + " is red.";
        return Http.Post("/translate", nlohmann::json{{"sl", "en"}, {"tl", "es"}, {"hn", "N"}, {"q", Text}}.dump(),
                         "application/json");
      };
      const httplib::Result Reply = Send();
      std::lock_guard Guard(Lock);
      const int Status = Reply ? Reply->status : 0;
      ++Statuses[Status];
      // What went wrong, for the failure message.
      if (Status != 200 && Status != 503 && Odd.size() < 5)
        Odd.push_back((Request % 3 == 2 ? "/ocr: " : "/translate: ") +
                      (Reply ? std::to_string(Status) + " " + Reply->body : httplib::to_string(Reply.error())));
    }
  };
  auto Round = [&](std::chrono::seconds Length) {
    Stop = false;
    std::vector<std::thread> Clients;
    for (int Number = 0; Number < 16; ++Number)
      Clients.emplace_back(Client, Number);
    std::this_thread::sleep_for(Length);
    Stop = true;
    for (std::thread& Thread : Clients)
      Thread.join();
  };

  Round(std::chrono::seconds(1)); // every worker and pipeline started
  const long Warm = ResidentKiB(Server.Process.processId());
  Round(std::chrono::seconds(10));
  const long After = ResidentKiB(Server.Process.processId());

  ASSERT_EQ(Server.Process.state(), QProcess::Running) << Server.Errors().toStdString();
  for (const auto& [Status, Count] : Statuses)
    EXPECT_TRUE(Status == 200 || Status == 503)
        << Count << " requests answered " << Status << "; first: " << (Odd.empty() ? "" : Odd.front());
  EXPECT_GT(Statuses[200], 100);
  ASSERT_GT(Warm, 0);
  EXPECT_LT(After, Warm + 32 * 1024) << "resident KiB went from " << Warm << " to " << After;

  EXPECT_EQ(Server.Stop(), 0) << Server.Errors().toStdString();
}

} // namespace

namespace {

// SIGTERM ends korvex-server at once with status 0, also when it is idle
// after serving, with a kept-alive connection open; and recognition starts
// no OpenMP threads of its own, although no restart set the limit.
TEST(ServerProcess, StopsOnTheFirstSigtermAndRecognisesOnItsOwnThreads) {
  const std::string Text = Encode(RenderTextLines({QStringLiteral("Stop on the first signal")}, 480, 60, 30), "BMP");
  for (int Round = 0; Round < 3; ++Round) {
    SCOPED_TRACE(Round);
    TServerProcess Server;
    ASSERT_TRUE(Server.WaitUntilListening()) << Server.Errors().toStdString();
    const qint64 Pid = Server.Process.processId();
    long Threads = 0;
    httplib::Client Http("127.0.0.1", Server.Port());
    Http.set_keep_alive(true);
    Http.set_read_timeout(30);
    for (int I = 0; I < 3; ++I) {
      EXPECT_EQ(
          Http.Post("/translate", TranslateBody("Round " + std::to_string(Round * 10 + I)), "application/json")->status,
          200);
      const auto Boxes = Http.Post("/ocr", Text, "application/octet-stream");
      ASSERT_TRUE(Boxes);
      EXPECT_NE(Boxes->body.find("signal"), std::string::npos) << Boxes->body;
      if (I == 0)
        Threads = ProcessStatus(Pid, "Threads");
    }
    EXPECT_EQ(ProcessStatus(Pid, "Threads"), Threads);
    std::this_thread::sleep_for(std::chrono::milliseconds(100 * Round));

    const auto Start = std::chrono::steady_clock::now();
    Server.Process.terminate();
    ASSERT_TRUE(Server.Process.waitForFinished(3000)) << "still running after SIGTERM";
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(2));
    EXPECT_EQ(Server.Process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Server.Process.exitCode(), 0) << Server.Errors().toStdString();
  }
}

// 64 clients that send a header byte a second hold no thread: /health and
// /translate answer all the while.
TEST(ServerProcess, SixtyFourSlowClientsDoNotStallIt) {
  TServerProcess Server;
  ASSERT_TRUE(Server.WaitUntilListening()) << Server.Errors().toStdString();
  std::vector<int> Slow;
  for (int I = 0; I < 64; ++I) {
    const int Fd = Connect(Server.Port());
    ASSERT_GE(Fd, 0);
    ASSERT_GT(::send(Fd, "POST /translate HTTP/1.1\r\nX-Slow: ", 34, MSG_NOSIGNAL), 0);
    Slow.push_back(Fd);
  }
  std::atomic<bool> Done = false;
  std::thread Drip([&] {
    while (!Done) {
      for (int Fd : Slow)
        ::send(Fd, "a", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
  });
  httplib::Client Http("127.0.0.1", Server.Port());
  Http.set_read_timeout(3);
  Http.set_connection_timeout(3);
  std::chrono::steady_clock::duration Slowest{};
  for (int I = 0; I < 20; ++I) {
    const auto Start = std::chrono::steady_clock::now();
    const auto Health = Http.Get("/health");
    const auto Translation =
        Http.Post("/translate", TranslateBody("Slow client " + std::to_string(I)), "application/json");
    Slowest = std::max(Slowest, std::chrono::steady_clock::now() - Start);
    ASSERT_TRUE(Health && Translation) << "no answer while 64 clients drip";
    EXPECT_EQ(Health->status, 200);
    EXPECT_EQ(Translation->status, 200) << Translation->body;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Done = true;
  Drip.join();
  // Still open: the server holds them until their deadline.
  int Open = 0;
  for (int Fd : Slow) {
    char Byte;
    Open += ::recv(Fd, &Byte, 1, MSG_DONTWAIT) < 0 && errno == EAGAIN;
    ::close(Fd);
  }
  EXPECT_EQ(Open, 64);
  RecordProperty("slowest_ms", int(std::chrono::duration_cast<std::chrono::milliseconds>(Slowest).count()));
  EXPECT_EQ(Server.Stop(), 0) << Server.Errors().toStdString();
}

// Twelve large pictures at once against the default two workers and queue
// of eight: ten are recognised, the rest refused with 503 at once, and
// /translate and /health answer throughout.
TEST(ServerProcess, HeavyOcrIsAdmittedOrRefusedWithoutStallingTranslation) {
  TServerProcess Server;
  ASSERT_TRUE(Server.WaitUntilListening()) << Server.Errors().toStdString();
  const std::string Picture = BlackPng(1200, 1200);
  httplib::Client Http("127.0.0.1", Server.Port());
  Http.set_read_timeout(3);
  // The Apertium pipeline starts with the first request.
  ASSERT_EQ(Http.Post("/translate", TranslateBody("Warm"), "application/json")->status, 200);
  std::vector<std::future<int>> Posts;
  for (int I = 0; I < 12; ++I)
    Posts.push_back(std::async(std::launch::async, [&] {
      httplib::Client Ocr("127.0.0.1", Server.Port());
      Ocr.set_read_timeout(120);
      const auto Reply = Ocr.Post("/ocr", Picture, "image/png");
      return Reply ? Reply->status : 0;
    }));
  int Answered = 0;
  const auto AllDone = [&] {
    return std::all_of(Posts.begin(), Posts.end(), [](const std::future<int>& Post) {
      return Post.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
  };
  for (int I = 0; !AllDone(); ++I) {
    const auto Translation =
        Http.Post("/translate", TranslateBody("Busy OCR " + std::to_string(I)), "application/json");
    ASSERT_TRUE(Translation) << "no /translate answer while /ocr is saturated: " << I << " "
                             << httplib::to_string(Translation.error());
    EXPECT_EQ(Translation->status, 200) << Translation->body;
    const auto Health = Http.Get("/health");
    ASSERT_TRUE(Health) << "no /health answer while /ocr is saturated";
    Answered += 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::map<int, int> Statuses;
  for (auto& Post : Posts)
    ++Statuses[Post.get()];
  EXPECT_EQ(Statuses[200], 10);
  EXPECT_EQ(Statuses[503], 2);
  EXPECT_GT(Answered, 2);
  EXPECT_EQ(Server.Stop(), 0) << Server.Errors().toStdString();
}

// A 300 KB PNG of 18000 x 18000 pixels is refused from its header: the
// server's memory does not grow by its pixels.
TEST(ServerProcess, ADecompressionBombIsRefusedBeforeDecoding) {
  TServerProcess Server;
  ASSERT_TRUE(Server.WaitUntilListening()) << Server.Errors().toStdString();
  const qint64 Pid = Server.Process.processId();
  const std::string Bomb = BlackPng(18000, 18000);
  ASSERT_LT(Bomb.size(), size_t(1) << 20);
  const long Before = ProcessStatus(Pid, "VmHWM");
  httplib::Client Http("127.0.0.1", Server.Port());
  const auto Reply = Http.Post("/ocr", Bomb, "image/png");
  ASSERT_TRUE(Reply);
  EXPECT_EQ(Reply->status, 413);
  EXPECT_NE(Reply->body.find("18000 x 18000"), std::string::npos) << Reply->body;
  EXPECT_LT(ProcessStatus(Pid, "VmHWM") - Before, 16 * 1024);
  EXPECT_EQ(Server.Stop(), 0) << Server.Errors().toStdString();
}

} // namespace
