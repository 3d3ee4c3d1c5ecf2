#include "platform/Platform.h"

#include <stdexcept>

namespace {
std::unique_ptr<TPlatform>& Current() {
  static std::unique_ptr<TPlatform> Instance;
  return Instance;
}
} // namespace

TPlatform& Platform() {
  if (!Current())
    throw std::logic_error("No platform installed");
  return *Current();
}

void SetPlatform(std::unique_ptr<TPlatform> NewPlatform) { Current() = std::move(NewPlatform); }
