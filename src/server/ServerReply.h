#pragma once

#include <string>

// One HTTP answer of korvex-server: a status and a JSON body.
struct TServerReply {
  int Status = 200;
  std::string Body;
};
