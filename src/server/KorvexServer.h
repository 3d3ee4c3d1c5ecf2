#pragma once

#include "server/ServerReply.h"
#include "server/TranslateService.h"

#include <httplib.h>

#include <functional>
#include <string>

// The largest request body accepted, images for /ocr included.
inline constexpr size_t MaxRequestBytes = size_t{64} << 20;

// The HTTP face of korvex-server: /translate, /health and /ocr.
class TKorvexServer {
public:
  // Body: the posted image; Paragraph: the "paragraph" header is "True";
  // Enhance: the "enhance" header is not "False" (the client switched the
  // picture's enhancement off, or binarised it itself).
  using TOcrHandler = std::function<TServerReply(const std::string& Body, bool Paragraph, bool Enhance)>;

  // Without an OCR handler /ocr answers 503.
  explicit TKorvexServer(TTranslateService& Translate, TOcrHandler Ocr = {});

  // Binds to Host:Port (0: a free port) and returns the port, or -1.
  int Bind(const std::string& Host, int Port);
  // Serves until Stop; returns false when serving failed.
  bool Listen();
  void Stop();
  bool IsRunning() const { return FServer.is_running(); }

private:
  TTranslateService& FTranslate;
  TOcrHandler FOcr;
  httplib::Server FServer;
  socket_t FListenSocket = INVALID_SOCKET;
};
