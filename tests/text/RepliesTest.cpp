#include "text/Replies.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Boxes(std::size_t Count, const std::string& Between = ",") {
  std::string Body = "[";
  for (std::size_t I = 0; I < Count; ++I)
    Body += (I == 0 ? "" : Between) + R"({"left":1,"top":2,"right":3,"bottom":4,"text":"w"})";
  return Body + "]";
}

struct TOCRCase {
  const char* Name;
  std::string Body;
  std::size_t Items;
  TOCRReplyProblem Problem;
};

void PrintTo(const TOCRCase& Case, std::ostream* Out) { *Out << Case.Name; }

class OCRReplyItemsTest : public ::testing::TestWithParam<TOCRCase> {};

TEST_P(OCRReplyItemsTest, ItemsAndProblem) {
  TOCRReplyProblem Problem = TOCRReplyProblem::MalformedItem;
  EXPECT_EQ(OCRReplyItems(QByteArray::fromStdString(GetParam().Body), Problem).size(), GetParam().Items);
  EXPECT_EQ(Problem, GetParam().Problem);
}

const TOCRCase OCRCases[] = {
    {"NotJson", "[{", 0, TOCRReplyProblem::NotAnArray},
    {"Empty", "", 0, TOCRReplyProblem::NotAnArray},
    {"NotAnArray", R"({"left":1})", 0, TOCRReplyProblem::NotAnArray},
    {"NothingFound", "[]", 0, TOCRReplyProblem::None},
    {"MalformedKeepsTheItemsBefore", Boxes(2, R"(,{"left":1},)"), 1, TOCRReplyProblem::MalformedItem},
    {"AtTheLimit", Boxes(MaxOCRItems), MaxOCRItems, TOCRReplyProblem::None},
    {"OverTheLimit", Boxes(MaxOCRItems + 1), 0, TOCRReplyProblem::TooManyItems},
    // Skipped elements cost nothing downstream and do not count.
    {"NonObjectsDoNotCount", Boxes(MaxOCRItems, ",null,"), MaxOCRItems, TOCRReplyProblem::None},
};

INSTANTIATE_TEST_SUITE_P(Replies, OCRReplyItemsTest, ::testing::ValuesIn(OCRCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(TranslateReplyText, MalformedRepliesThrow) {
  EXPECT_EQ(TranslateReplyText(R"({"translated_text":"가"})"), QStringLiteral("가"));
  for (const char* Body : {"", "[]", "{}", R"({"translated_text":null})", "{\"translated_text\":\"a\""})
    EXPECT_THROW(TranslateReplyText(Body), EReplyError) << Body;
}

// Depth and the number of values are counted before parsing, outside
// strings only; at the limits a reply is still read.
TEST(ReplyLimits, DeepOrCrowdedRepliesAreRefusedBeforeParsing) {
  const auto Nested = [](int Depth, const std::string& Inner) {
    return std::string(Depth, '[') + Inner + std::string(Depth, ']');
  };
  const auto Wrapped = [&](int Depth) {
    return QByteArray::fromStdString(R"({"translated_text":"a","x":)" + Nested(Depth, "") + "}");
  };
  EXPECT_EQ(TranslateReplyText(Wrapped(MaxReplyDepth - 1)), "a");
  EXPECT_THROW(TranslateReplyText(Wrapped(MaxReplyDepth)), EReplyError);
  EXPECT_THROW(TranslateReplyText(QByteArray::fromStdString(Nested(100000, ""))), EReplyError);
  // Brackets and commas inside strings are text.
  const std::string Brackets(100000, '[');
  EXPECT_EQ(TranslateReplyText(QByteArray::fromStdString(R"({"translated_text":")" + Brackets + R"(\",,"})")),
            QString::fromStdString(Brackets + "\",,"));

  TOCRReplyProblem Problem = TOCRReplyProblem::None;
  const std::string Item = R"({"left":1,"top":2,"right":3,"bottom":4,"text":"w"})";
  EXPECT_EQ(
      OCRReplyItems(QByteArray::fromStdString("[" + Nested(MaxReplyDepth - 2, "") + "," + Item + "]"), Problem).size(),
      1u);
  EXPECT_EQ(Problem, TOCRReplyProblem::None);
  EXPECT_TRUE(OCRReplyItems(QByteArray::fromStdString(Nested(100000, Item)), Problem).empty());
  EXPECT_EQ(Problem, TOCRReplyProblem::NotAnArray);
  // One value more than the limit: a million zeros and the array itself.
  std::string Zeros = "[0";
  for (std::size_t I = 1; I < MaxReplyValues; ++I)
    Zeros += ",0";
  EXPECT_TRUE(OCRReplyItems(QByteArray::fromStdString(Zeros + "]"), Problem).empty());
  EXPECT_EQ(Problem, TOCRReplyProblem::NotAnArray);
  EXPECT_EQ(RefusalReason(QByteArray::fromStdString(R"({"error":"busy","x":)" + Nested(100000, "") + "}")),
            std::nullopt);
}

TEST(RefusalReason, OnlyAStringErrorIsAReason) {
  EXPECT_EQ(RefusalReason(R"({"error":""})"), QString());
  EXPECT_EQ(RefusalReason(R"({"error":"busy"})"), QStringLiteral("busy"));
  EXPECT_EQ(RefusalReason(R"({"error":5})"), std::nullopt);
  EXPECT_EQ(RefusalReason("busy"), std::nullopt);
  EXPECT_EQ(RefusalReason(QByteArray("{\"error\":\"") + QByteArray(600, 'x') + "\"}")->size(), 500);
}

} // namespace
