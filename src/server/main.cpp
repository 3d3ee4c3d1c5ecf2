#include "server/ApertiumEngine.h"
#include "server/KorvexServer.h"
#include "server/OcrService.h"
#include "server/RelayEngine.h"
#include "server/ServerOptions.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <thread>

namespace {

bool IsLoopback(const std::string& Host) { return Host == "localhost" || Host == "::1" || Host.starts_with("127."); }

} // namespace

int main(int argc, char** argv) {
  TServerOptions Options;
  try {
    Options = ParseServerOptions({argv + 1, argv + argc});
  } catch (const EOptionError& Error) {
    std::cerr << "korvex-server: " << Error.what() << '\n';
    return 2;
  }
  if (Options.Help) {
    std::cout << ServerHelpText();
    return 0;
  }
  if (Options.Version) {
    std::cout << "korvex-server " KORVEX_VERSION "\n";
    return 0;
  }
  // SIGINT and SIGTERM are taken by one thread that waits for them. Blocked
  // here, before any thread starts, so every thread inherits the mask and
  // no handler ever interrupts a request or the serving loop.
  sigset_t StopSignals;
  sigemptyset(&StopSignals);
  sigaddset(&StopSignals, SIGINT);
  sigaddset(&StopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &StopSignals, nullptr);

  // A client that hangs up must not take the server, or a write to a dead
  // Apertium stage, down with it.
  ::signal(SIGPIPE, SIG_IGN);

  std::vector<std::unique_ptr<TTranslateEngine>> Engines;
  auto Apertium = std::make_unique<TApertiumEngine>();
  if (Apertium->Pairs().empty())
    std::cerr << "korvex-server: no Apertium pairs installed in " << DefaultApertiumModes << "\n";
  Engines.push_back(std::move(Apertium));
  if (!Options.RelayUrl.empty())
    Engines.push_back(std::make_unique<TRelayEngine>(Options.RelayUrl, Options.RelayKey));
  TTranslateService Translate(std::move(Engines));

  // Without its trained data the server still translates; /ocr answers 503.
  std::unique_ptr<TServerOcrService> OcrService;
  TKorvexServer::TOcrHandler Ocr;
  try {
    OcrService = std::make_unique<TServerOcrService>(Options.Ocr);
    Ocr = [Service = OcrService.get()](const std::string& Body, bool Paragraph, bool Enhance) {
      return Service->Recognize(Body, Paragraph, Enhance);
    };
  } catch (const std::exception& Error) {
    std::cerr << "korvex-server: OCR is off: " << Error.what() << '\n';
  }

  TServerLimits Limits;
  // Every OCR request the service would take gets a thread of its own, so
  // the service's own queue is the only place such requests wait.
  Limits.OcrSlots = Options.Ocr.Workers + Options.Ocr.QueueLimit;
  TKorvexServer Server(Translate, std::move(Ocr), Limits);
  // Port 0 takes a free port; the line below names the one taken.
  const int Port = Server.Bind(Options.Host, Options.Port);
  if (Port < 0) {
    std::cerr << "korvex-server: cannot listen on " << Options.Host << ':' << Options.Port << '\n';
    return 1;
  }
  if (!IsLoopback(Options.Host))
    std::cerr << "korvex-server: listening on " << Options.Host
              << ", reachable from other machines; it has no authentication\n";
  std::cerr << "korvex-server: listening on " << Options.Host << ':' << Port << std::endl;
  std::thread SignalWaiter([&] {
    int Signal = 0;
    sigwait(&StopSignals, &Signal);
    Server.Stop();
    // Recognitions under way end now instead of finishing their picture.
    if (OcrService)
      OcrService->Shutdown();
  });
  const bool Served = Server.Listen();
  // Serving may have ended without a signal; the waiter needs one to end.
  pthread_kill(SignalWaiter.native_handle(), SIGTERM);
  SignalWaiter.join();
  return Served ? 0 : 1;
}
