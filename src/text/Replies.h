#pragma once

#include "core/GlobalTypes.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <optional>
#include <stdexcept>

// The JSON replies of the translation server, read without any I/O so that
// every rule about a reply can be tested and fuzzed on bytes alone. Replies
// are read as UTF-8 whatever their headers say; bytes that are not UTF-8
// become U+FFFD.

// A reply arrived but does not hold what the exchange expects.
class EReplyError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Replies are parsed only when their JSON nests at most this deep and holds
// at most this many values, counted from the bytes before parsing: parsed
// values cost tens of times their bytes, and a reply of nothing but
// brackets would otherwise cost gigabytes. Real replies nest two or three
// deep and hold a few values per text box.
inline constexpr int MaxReplyDepth = 64;
inline constexpr std::size_t MaxReplyValues = 1000000;

// The "translated_text" member of a /translate reply. Throws EReplyError when
// the body is not a JSON object with a string under that name, or is beyond
// the limits above.
QString TranslateReplyText(const QByteArray& Body);

// No real screen holds this many text boxes; a reply with more is refused as
// a whole, since every item would become a translation request of its own.
inline constexpr std::size_t MaxOCRItems = 10000;

// What went wrong in an /ocr reply, if anything.
enum class TOCRReplyProblem {
  None,
  NotAnArray,    // empty, not JSON, beyond the limits above, or no array
  MalformedItem, // the walk stopped at an item it could not read
  TooManyItems,  // more than MaxOCRItems items; nothing is returned
};

// The items of an /ocr reply, in the order given. Elements that are not
// objects are skipped; an object with a missing or unusable member stops the
// walk, keeping the items before it. A body that is not a JSON array gives no
// items and NotAnArray.
TOCRItemList OCRReplyItems(const QByteArray& Body, TOCRReplyProblem& Problem);

// The string in the "error" member of a refusal's body, cut to 500
// characters; nothing when the body has no such string (or is beyond the
// limits above).
std::optional<QString> RefusalReason(const QByteArray& Body);
