// The /translate reply and the reason of a refusal, from bytes a server chose.
#include "text/Replies.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const QByteArray Body = QByteArray::fromRawData(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
  try {
    (void)TranslateReplyText(Body);
  } catch (const EReplyError&) {
    // The one failure a malformed reply may cause.
  }
  if (const std::optional<QString> Reason = RefusalReason(Body); Reason && Reason->size() > 500)
    std::abort();
  return 0;
}
