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
    {"NotJsonIsNoProblem", "[{", 0, TOCRReplyProblem::None},
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

TEST(RefusalReason, OnlyAStringErrorIsAReason) {
  EXPECT_EQ(RefusalReason(R"({"error":""})"), QString());
  EXPECT_EQ(RefusalReason(R"({"error":"busy"})"), QStringLiteral("busy"));
  EXPECT_EQ(RefusalReason(R"({"error":5})"), std::nullopt);
  EXPECT_EQ(RefusalReason("busy"), std::nullopt);
  EXPECT_EQ(RefusalReason(QByteArray("{\"error\":\"") + QByteArray(600, 'x') + "\"}")->size(), 500);
}

} // namespace
