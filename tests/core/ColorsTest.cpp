#include "core/Colors.h"

#include <gtest/gtest.h>

namespace {

TEST(Colors, NamedColoursRoundTripToTheirNames) {
  const char* Names[] = {"clBlack",   "clMaroon", "clGreen",      "clOlive",   "clNavy",   "clPurple",  "clTeal",
                         "clGray",    "clSilver", "clRed",        "clLime",    "clYellow", "clBlue",    "clFuchsia",
                         "clAqua",    "clWhite",  "clMoneyGreen", "clSkyBlue", "clCream",  "clMedGray", "clInfoBk",
                         "clBtnFace", "clWindow", "clWindowText", "clNone",    "clDefault"};
  for (const char* Name : Names)
    EXPECT_EQ(ColorToString(StringToColor(QString::fromLatin1(Name))), QString::fromLatin1(Name));
}

TEST(Colors, ValuesAreBlueGreenRed) {
  EXPECT_EQ(StringToColor("clRed"), 0x0000FF);
  EXPECT_EQ(StringToColor("clgray"), 0x808080);
  EXPECT_EQ(StringToColor("$00E2E2E2"), 0xE2E2E2);
  EXPECT_EQ(StringToColor("0x123456"), 0x123456);
  EXPECT_EQ(StringToColor("255"), 0x0000FF);
  EXPECT_EQ(ColorToQColor(0x0000FF), QColor(255, 0, 0));
  EXPECT_EQ(ColorToQColor(0xE2E2E2), QColor(0xE2, 0xE2, 0xE2));
}

TEST(Colors, OtherColoursAreWrittenAsEightHexDigits) {
  EXPECT_EQ(ColorToString(0xE2E2E2), "$00E2E2E2");
  EXPECT_EQ(ColorToString(0x123456), "$00123456");
  EXPECT_EQ(ColorToString(StringToColor(ColorToString(0x0A0B0C))), "$000A0B0C");
}

TEST(Colors, NeitherNameNorNumberIsAConversionError) {
  for (const char* Bad : {"red", "clPink", "", "#FF0000", "$GG"})
    EXPECT_THROW(StringToColor(QString::fromLatin1(Bad)), EConvertError) << Bad;
}

TEST(Colors, DesktopColoursResolveToRealColours) {
  const QColor Shadow = ColorToQColor(clBtnShadow);
  EXPECT_TRUE(Shadow.isValid());
  EXPECT_EQ(Shadow.alpha(), 255);
  EXPECT_EQ(ColorToQColor(clInfoBk), QColor(0xFF, 0xFF, 0xE1)); // no GUI palette in this test
}

} // namespace
