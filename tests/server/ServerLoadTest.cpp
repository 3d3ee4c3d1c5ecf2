#include "support/ServerProcess.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace {

// The resident memory of a process, in KiB, from /proc.
long ResidentKiB(qint64 Pid) {
  QFile Status(QStringLiteral("/proc/%1/status").arg(Pid));
  if (!Status.open(QIODevice::ReadOnly))
    return -1;
  for (const QByteArray& Line : Status.readAll().split('\n'))
    if (Line.startsWith("VmRSS:"))
      return Line.mid(6).trimmed().split(' ').first().toLong();
  return -1;
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
