#pragma once

#include "server/ServerReply.h"
#include "server/TranslateService.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

// The largest request body accepted, images for /ocr included.
inline constexpr size_t MaxRequestBytes = size_t{64} << 20;

// What korvex-server gives its clients. Requests are read whole by one
// thread that waits on every connection at once, so a slow client holds a
// connection, never a thread; only complete requests reach the threads.
struct TServerLimits {
  int Threads = 8;          // threads answering /translate, /health and refusals
  int OcrSlots = 10;        // /ocr requests admitted at once; more get 503 before reaching a thread
  int MaxConnections = 512; // open connections; more are refused with 503 at once
  size_t MaxBufferedBytes = 4 * MaxRequestBytes;     // request bytes held for all connections together
  std::chrono::milliseconds RequestDeadline{10'000}; // first to last byte of one request (headers and body)
  std::chrono::milliseconds IdleTimeout{5'000};      // a kept-alive connection waiting for its next request
  std::chrono::milliseconds WriteTimeout{10'000};    // a reply written to a client that does not read it
};

// The HTTP face of korvex-server: /translate, /health and /ocr.
class TKorvexServer {
public:
  // Body: the posted image; Paragraph: the "paragraph" header is "True";
  // Enhance: the "enhance" header is not "False" (the client switched the
  // picture's enhancement off, or binarised it itself).
  using TOcrHandler = std::function<TServerReply(const std::string& Body, bool Paragraph, bool Enhance)>;

  // Without an OCR handler /ocr answers 503.
  explicit TKorvexServer(TTranslateService& Translate, TOcrHandler Ocr = {}, TServerLimits Limits = {});
  ~TKorvexServer();
  TKorvexServer(const TKorvexServer&) = delete;
  TKorvexServer& operator=(const TKorvexServer&) = delete;

  // Binds to Host:Port (0: a free port) and returns the port, or -1.
  int Bind(const std::string& Host, int Port);
  // Serves until Stop; returns false when serving failed. Requests being
  // answered are finished first; idle and half-read connections are closed.
  bool Listen();
  // Safe from any thread, before, during or after Listen.
  void Stop();
  bool IsRunning() const;

private:
  class TImpl;
  std::unique_ptr<TImpl> FImpl;
};
