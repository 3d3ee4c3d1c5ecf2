#pragma once

#include "server/OcrService.h"

#include <stdexcept>
#include <string>
#include <vector>

struct TServerOptions {
  std::string Host = "127.0.0.1";
  int Port = 5000;
  std::string RelayUrl;
  std::string RelayKey;
  TOcrOptions Ocr; // how /ocr recognises
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
