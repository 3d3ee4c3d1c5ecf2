#include "text/Replies.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdint>
#include <string>

namespace {

using nlohmann::json;

// Whether the JSON text in Body stays within MaxReplyDepth and
// MaxReplyValues. Counted on the bytes, outside strings: every bracket or
// brace opens a value and every comma starts one, which bounds the values
// the parser would make. Malformed text passes as far as these counts go;
// the parser refuses it.
bool WithinLimits(const QByteArray& Body) {
  int Depth = 0;
  std::size_t Values = 1;
  bool InString = false;
  bool Escaped = false;
  for (const char C : Body) {
    if (InString) {
      if (Escaped)
        Escaped = false;
      else if (C == '\\')
        Escaped = true;
      else if (C == '"')
        InString = false;
      continue;
    }
    switch (C) {
    case '"': InString = true; break;
    case '[':
    case '{':
      if (++Depth > MaxReplyDepth)
        return false;
      [[fallthrough]];
    case ',':
      if (++Values > MaxReplyValues)
        return false;
      break;
    case ']':
    case '}': --Depth; break;
    default: break;
    }
  }
  return true;
}

// A body that is not JSON, or beyond the limits, gives a discarded value.
json ParseReply(const QByteArray& Body) {
  if (!WithinLimits(Body))
    return json(json::value_t::discarded);
  if (QByteArrayView(Body).isValidUtf8())
    return json::parse(Body.constBegin(), Body.constEnd(), nullptr, false);
  const QByteArray Text = QString::fromUtf8(Body).toUtf8();
  return json::parse(Text.constBegin(), Text.constEnd(), nullptr, false);
}

const json& Member(const json& Object, const char* Name) {
  const auto It = Object.find(Name);
  if (It == Object.end())
    throw EReplyError(std::string("OCR item without \"") + Name + "\"");
  return *It;
}

// A coordinate is a JSON integer or a string holding one, within 32 bits.
int32_t ReadCoordinate(const json& Object, const char* Name) {
  const json& Value = Member(Object, Name);
  if (Value.is_number_unsigned()) {
    const auto Number = Value.get<uint64_t>();
    if (Number <= static_cast<uint64_t>(INT32_MAX))
      return static_cast<int32_t>(Number);
  } else if (Value.is_number_integer()) {
    const auto Number = Value.get<int64_t>();
    if (Number >= INT32_MIN && Number <= INT32_MAX)
      return static_cast<int32_t>(Number);
  } else if (Value.is_string()) {
    const auto& Text = Value.get_ref<const std::string&>();
    int32_t Number = 0;
    const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Number);
    if (!Text.empty() && Error == std::errc() && End == Text.data() + Text.size())
      return Number;
  }
  throw EReplyError(std::string("OCR item with an invalid \"") + Name + "\"");
}

QString ReadText(const json& Object, const char* Name) {
  const json& Value = Member(Object, Name);
  if (!Value.is_string())
    throw EReplyError(std::string("OCR item with an invalid \"") + Name + "\"");
  return QString::fromStdString(Value.get_ref<const std::string&>());
}

} // namespace

QString TranslateReplyText(const QByteArray& Body) {
  const json Value = ParseReply(Body);
  if (!Value.is_object())
    throw EReplyError("translation reply is not a JSON object");
  const auto It = Value.find("translated_text");
  if (It == Value.end() || !It->is_string())
    throw EReplyError("translation reply without \"translated_text\"");
  return QString::fromStdString(It->get_ref<const std::string&>());
}

TOCRItemList OCRReplyItems(const QByteArray& Body, TOCRReplyProblem& Problem) {
  Problem = TOCRReplyProblem::None;
  TOCRItemList Items;
  const json Value = ParseReply(Body);
  if (!Value.is_array()) {
    Problem = TOCRReplyProblem::NotAnArray;
    return Items;
  }
  for (const json& Element : Value) {
    if (!Element.is_object())
      continue;
    if (Items.size() == MaxOCRItems) {
      Problem = TOCRReplyProblem::TooManyItems;
      return {};
    }
    TOCRItem Item;
    try {
      Item.Left = ReadCoordinate(Element, "left");
      Item.Top = ReadCoordinate(Element, "top");
      Item.Right = ReadCoordinate(Element, "right");
      Item.Bottom = ReadCoordinate(Element, "bottom");
      Item.Text = ReadText(Element, "text");
    } catch (const EReplyError&) {
      Problem = TOCRReplyProblem::MalformedItem;
      return Items;
    }
    Items.push_back(std::move(Item));
  }
  return Items;
}

std::optional<QString> RefusalReason(const QByteArray& Body) {
  const json Value = ParseReply(Body);
  if (!Value.is_object())
    return std::nullopt;
  const auto It = Value.find("error");
  if (It == Value.end() || !It->is_string())
    return std::nullopt;
  return QString::fromStdString(It->get_ref<const std::string&>()).left(500);
}
