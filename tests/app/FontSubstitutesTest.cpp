#include "app/Application.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>

#include <gtest/gtest.h>

namespace {

// Stored Korean font names must reach a font that has Hangul itself, so the
// text cell of a Korean line is the chosen font's own.
TEST(FontSubstitutes, KoreanWindowsFontNamesResolveToAKoreanFamily) {
  InstallFontSubstitutes();
  for (const char* Name : {"맑은 고딕", "굴림체"}) {
    const QFont Font(QString::fromUtf8(Name), 14);
    EXPECT_TRUE(QFontInfo(Font).family().contains(QStringLiteral("CJK KR"))) << Name;
    EXPECT_TRUE(QFontMetrics(Font).inFont(QChar(0xBC88))) << Name; // 번
  }
}

} // namespace
