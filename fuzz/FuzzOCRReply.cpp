// The /ocr reply, from bytes a server chose.
#include "text/Replies.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const QByteArray Body = QByteArray::fromRawData(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
  TOCRReplyProblem Problem = TOCRReplyProblem::None;
  const TOCRItemList Items = OCRReplyItems(Body, Problem);
  // A refused reply hands nothing on, and no reply hands on more than the limit.
  if (Items.size() > MaxOCRItems || (Problem == TOCRReplyProblem::TooManyItems && !Items.empty()))
    std::abort();
  return 0;
}
