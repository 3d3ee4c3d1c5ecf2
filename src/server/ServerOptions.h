#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// The OCR service's settings, read here so that /ocr can be created from them.
struct TOcrCommandLine {
  std::string Languages = "eng";
  std::string DataPath;
  int Workers = 2;
  int QueueLimit = 8;
};

struct TServerOptions {
  std::string Host = "127.0.0.1";
  int Port = 5000;
  std::string RelayUrl;
  std::string RelayKey;
  TOcrCommandLine Ocr;
  bool Help = false;
  bool Version = false;
};

// The command line was not understood; what() says why.
class EOptionError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

TServerOptions ParseServerOptions(const std::vector<std::string>& Arguments);
std::string ServerHelpText();
