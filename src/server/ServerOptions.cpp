#include "server/ServerOptions.h"

#include <charconv>

namespace {

int ParseNumber(const std::string& Option, const std::string& Text, int Min, int Max) {
  int Value = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Error != std::errc() || End != Text.data() + Text.size() || Value < Min || Value > Max)
    throw EOptionError(Option + " takes a number from " + std::to_string(Min) + " to " + std::to_string(Max) +
                       ", not \"" + Text + "\"");
  return Value;
}

} // namespace

TServerOptions ParseServerOptions(const std::vector<std::string>& Arguments) {
  TServerOptions Options;
  for (size_t I = 0; I < Arguments.size(); ++I) {
    std::string Option = Arguments[I];
    std::string Value;
    bool HasValue = false;
    if (const size_t Equals = Option.find('='); Option.starts_with("--") && Equals != std::string::npos) {
      Value = Option.substr(Equals + 1);
      Option.resize(Equals);
      HasValue = true;
    }
    const auto Next = [&]() -> const std::string& {
      if (!HasValue) {
        if (I + 1 >= Arguments.size())
          throw EOptionError(Option + " needs a value");
        Value = Arguments[++I];
      }
      return Value;
    };
    if (Option == "--help" || Option == "-h") {
      Options.Help = true;
    } else if (Option == "--version") {
      Options.Version = true;
    } else if (Option == "--listen") {
      const std::string& Address = Next();
      const size_t Colon = Address.rfind(':');
      if (Colon == std::string::npos || Colon == 0)
        throw EOptionError("--listen takes ADDR:PORT, such as 127.0.0.1:5000, not \"" + Address + "\"");
      Options.Host = Address.substr(0, Colon);
      if (Options.Host.size() > 2 && Options.Host.front() == '[' && Options.Host.back() == ']')
        Options.Host = Options.Host.substr(1, Options.Host.size() - 2);
      Options.Port = ParseNumber("--listen", Address.substr(Colon + 1), 0, 65535);
    } else if (Option == "--relay") {
      Options.RelayUrl = Next();
    } else if (Option == "--relay-key") {
      Options.RelayKey = Next();
    } else if (Option == "--ocr-lang") {
      Options.Ocr.Languages = Next();
    } else if (Option == "--ocr-workers") {
      Options.Ocr.Workers = ParseNumber(Option, Next(), 1, 64);
    } else if (Option == "--ocr-queue") {
      Options.Ocr.QueueLimit = ParseNumber(Option, Next(), 1, 4096);
    } else if (Option == "--tessdata") {
      Options.Ocr.DataPath = Next();
    } else {
      throw EOptionError("unknown option \"" + Arguments[I] + "\" (see --help)");
    }
  }
  return Options;
}

std::string ServerHelpText() {
  return R"(Usage: korvex-server [OPTION]...
Serves Korvex's translation (POST /translate) and OCR (POST /ocr) requests.

  --listen ADDR:PORT   address to listen on (default 127.0.0.1:5000); only the
                       loopback address unless another is given here
  --relay URL          LibreTranslate-compatible server for the pairs no
                       installed Apertium pair serves (POST URL/translate)
  --relay-key KEY      api_key sent to the relay
  --ocr-lang LANGS     Tesseract languages for /ocr, such as eng+deu (default eng)
  --ocr-workers N      OCR requests recognised at the same time (default 2)
  --ocr-queue N        OCR requests waiting at most (default 8)
  --tessdata DIR       folder of the Tesseract trained data
  --version            print the version and exit
  --help               print this text and exit

GET /health lists the engines and language pairs served.
)";
}
