#include "settings/ConfigIni.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class ConfigIniTest : public ::testing::Test {
protected:
  QTemporaryDir Dir;
  QString Path = Dir.filePath(QStringLiteral("Config.ini"));
  TConfigIni Ini{Path};

  void WriteFile(const QByteArray& Data) {
    QFile File(Path);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(Data);
  }
  QByteArray FileData() {
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
  }
};

TEST_F(ConfigIniTest, MissingFileYieldsDefaultsAndFirstWriteCreatesIt) {
  EXPECT_EQ(Ini.ReadString("Translation", "Server", "http://127.0.0.1:5000"), "http://127.0.0.1:5000");
  EXPECT_EQ(Ini.ReadInteger("Translation", "AutoInterval", 1000), 1000);
  EXPECT_TRUE(Ini.ReadBool("TranslationWindow", "EqualArea", true));
  EXPECT_FALSE(QFile::exists(Path));
  Ini.WriteInteger("General", "Left", -12);
  EXPECT_EQ(FileData(), "[General]\nLeft=-12\n");
}

TEST_F(ConfigIniTest, IntegerForms) {
  struct Case {
    const char* Stored;
    int32_t Expected;
  };
  const Case Cases[] = {
      {"16", 16},
      {"0x10", 16},
      {"$10", 16},
      {"-5", -5},
      {" 42 ", 42},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"2147483648", 7},
      {"True", 7},
      {"12abc", 7},
      {"", 7},
      {"0x", 7},
      {"1.5", 7},
      {"$100000000", 7},
  };
  for (const Case& C : Cases) {
    WriteFile(QByteArray("[S]\nK=") + C.Stored + "\n");
    EXPECT_EQ(Ini.ReadInteger("S", "K", 7), C.Expected) << C.Stored;
  }
}

TEST_F(ConfigIniTest, BooleansAreIntegersAndWordsGiveTheDefault) {
  WriteFile("[S]\nOne=1\nZero=0\nTwo=2\nWordTrue=True\nWordFalse=False\n");
  EXPECT_TRUE(Ini.ReadBool("S", "One", false));
  EXPECT_FALSE(Ini.ReadBool("S", "Zero", true));
  EXPECT_TRUE(Ini.ReadBool("S", "Two", false));
  EXPECT_FALSE(Ini.ReadBool("S", "WordTrue", false));
  EXPECT_TRUE(Ini.ReadBool("S", "WordFalse", true));
  Ini.WriteBool("S", "One", false);
  EXPECT_FALSE(Ini.ReadBool("S", "One", true));
  EXPECT_TRUE(FileData().contains("One=0\n"));
}

TEST_F(ConfigIniTest, NamesCompareWithoutCase) {
  WriteFile("[translationwindow]\nFONTNAME=Gulim\n");
  EXPECT_EQ(Ini.ReadString("TranslationWindow", "FontName", "x"), "Gulim");
  Ini.WriteString("TRANSLATIONWINDOW", "fontname", "Dotum");
  EXPECT_EQ(FileData(), "[translationwindow]\nfontname=Dotum\n");
}

// A file may repeat a key or a section (edited by hand, or by another
// program): the first value wins, and a write replaces that one and leaves the
// later copy alone.
TEST_F(ConfigIniTest, TheFirstOfRepeatedKeysWinsForReadsAndWrites) {
  struct TCase {
    const char* Name;
    QByteArray Before;
    const char* Section;
    const char* Key;
    const char* Read;
    QByteArray After;
  } Cases[] = {
      {"key twice in one section", "[S]\nK=first\nK=second\n", "S", "K", "first", "[S]\nK=new\nK=second\n"},
      {"key in two copies of a section", "[S]\nK=first\n[T]\nX=1\n[S]\nK=second\n", "S", "K", "first",
       "[S]\nK=new\n[T]\nX=1\n[S]\nK=second\n"},
      {"keys differing in case", "[S]\nkey=first\nKEY=second\n", "s", "Key", "first", "[S]\nKey=new\nKEY=second\n"},
      {"sections differing in case", "[sect]\nK=first\n[SECT]\nK=second\n", "Sect", "k", "first",
       "[sect]\nk=new\n[SECT]\nK=second\n"},
      // Only the later copy has the key: a write adds it to the first copy,
      // where the next read finds it first.
      {"key only in the second copy", "[S]\nA=1\n[S]\nK=second\n", "S", "K", "second",
       "[S]\nA=1\nK=new\n[S]\nK=second\n"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    WriteFile(C.Before);
    EXPECT_EQ(Ini.ReadString(C.Section, C.Key, "default"), C.Read);
    Ini.WriteString(C.Section, C.Key, "new");
    EXPECT_EQ(FileData(), C.After);
    EXPECT_EQ(Ini.ReadString(C.Section, C.Key, "default"), "new");
    EXPECT_EQ(TConfigIni(Path).ReadString(C.Section, C.Key, "default"), "new");
  }
}

TEST_F(ConfigIniTest, LongValuesAreCutTo2047Characters) {
  Ini.WriteString("S", "K", QString(3000, u'a'));
  EXPECT_EQ(Ini.ReadString("S", "K", ""), QString(2047, u'a'));
}

TEST_F(ConfigIniTest, KoreanRoundTripsAsUtf8) {
  Ini.WriteString("TranslationWindow", "FontName", QStringLiteral("맑은 고딕"));
  EXPECT_EQ(Ini.ReadString("TranslationWindow", "FontName", ""), QStringLiteral("맑은 고딕"));
  EXPECT_TRUE(FileData().contains("FontName=\xEB\xA7\x91\xEC\x9D\x80 \xEA\xB3\xA0\xEB\x94\x95\n"));
}

// Only the file's first bytes can be a byte order mark; inside a value,
// U+FEFF is text and reads back as written (found by fuzz_settings).
TEST_F(ConfigIniTest, ZeroWidthNoBreakSpaceAtTheStartOfAValueIsKept) {
  const QString Value = QChar(0xFEFF) + QStringLiteral("x");
  Ini.WriteString("S", "K", Value);
  EXPECT_EQ(Ini.ReadString("S", "K", ""), Value);
  EXPECT_EQ(TConfigIni(Path).ReadString("S", "K", ""), Value);
  WriteFile("\xEF\xBB\xBF[S]\nK=\xEF\xBB\xBF\xEF\xBB\xBFy\n");
  EXPECT_EQ(TConfigIni(Path).ReadString("S", "K", ""), QString(2, QChar(0xFEFF)) + QStringLiteral("y"));
}

TEST_F(ConfigIniTest, WriteKeepsUnknownLinesCommentsAndLineEnds) {
  const QByteArray Before = "\xEF\xBB\xBF; my notes\r\n[General]\r\nLeft=1\r\nMine=keep me\r\n\r\n"
                            "[Other]\r\n# comment\r\nX=y";
  WriteFile(Before);
  Ini.WriteInteger("General", "Left", 5);
  Ini.WriteInteger("General", "Top", 6);
  Ini.WriteString("Other", "Z", "z");
  Ini.WriteString("New", "A", "b");
  EXPECT_EQ(FileData(), "\xEF\xBB\xBF; my notes\r\n[General]\r\nLeft=5\r\nMine=keep me\r\nTop=6\r\n\r\n"
                        "[Other]\r\n# comment\r\nX=y\r\nZ=z\r\n[New]\r\nA=b\r\n");
  EXPECT_EQ(Ini.ReadInteger("General", "Left", 0), 5);
  EXPECT_EQ(Ini.ReadString("Other", "X", ""), "y");
}

TEST_F(ConfigIniTest, ReadsSeeChangesMadeByOthersAtOnce) {
  WriteFile("[S]\nK=1\n");
  EXPECT_EQ(Ini.ReadInteger("S", "K", 0), 1);
  // In-place rewrites of the same size, faster than file times tick.
  for (int I = 2; I < 9; ++I) {
    WriteFile(QByteArray("[S]\nK=") + char('0' + I) + "\n");
    EXPECT_EQ(Ini.ReadInteger("S", "K", 0), I);
  }
  TConfigIni Other(Path);
  Other.WriteInteger("S", "K", 10);
  EXPECT_EQ(Ini.ReadInteger("S", "K", 0), 10);
  QFile::remove(Path);
  EXPECT_EQ(Ini.ReadInteger("S", "K", 0), 0);
}

TEST_F(ConfigIniTest, LineBreaksInAValueDoNotSplitTheEntry) {
  Ini.WriteString("S", "K", "a\r\nb");
  Ini.WriteString("S", "Next", "n");
  EXPECT_EQ(Ini.ReadString("S", "K", ""), "a  b");
  EXPECT_EQ(Ini.ReadString("S", "Next", ""), "n");
}

TEST_F(ConfigIniTest, UnwritableFileRaisesAndStaysIntact) {
  WriteFile("[S]\nK=old\n");
  ASSERT_EQ(::chmod(QFile::encodeName(Path).constData(), 0444), 0);
  try {
    Ini.WriteString("S", "K", "new");
    FAIL() << "no error";
  } catch (const EIniFileException& Error) {
    EXPECT_EQ(QString::fromUtf8(Error.what()), "Unable to write to " + Path);
  }
  ::chmod(QFile::encodeName(Path).constData(), 0644);
  EXPECT_EQ(FileData(), "[S]\nK=old\n");
}

TEST_F(ConfigIniTest, MissingFolderRaisesWithTheFullPath) {
  const QString Nowhere = Dir.filePath("missing/Config.ini");
  TConfigIni Lost(Nowhere);
  try {
    Lost.WriteInteger("S", "K", 1);
    FAIL() << "no error";
  } catch (const EIniFileException& Error) {
    EXPECT_EQ(QString::fromUtf8(Error.what()), "Unable to write to " + Nowhere);
  }
}

TEST_F(ConfigIniTest, DamagedFilesFallBackToDefaultsAndSurviveTheNextWrite) {
  QByteArray Garbage;
  for (int I = 0; I < 4096; ++I)
    Garbage += char((I * 7919) & 0xFF);
  const QByteArray HugeLine = "Huge=" + QByteArray(10 * 1024 * 1024, 'x') + "\n";
  const QByteArray Cases[] = {
      Garbage,
      "[General]\n" + HugeLine + "Left=3",
      "\xEF\xBB\xBF[General]\r\nLeft=3\r\n",
      QByteArray("[General]\nLeft=\xff\xfe\x00\x01\n", 18),
      "[General\nLeft=3\n=5\n[]\n",
  };
  for (const QByteArray& Damaged : Cases) {
    WriteFile(Damaged);
    const int32_t Left = Ini.ReadInteger("General", "Left", 99);
    EXPECT_TRUE(Left == 3 || Left == 99);
    EXPECT_EQ(Ini.ReadString("Translation", "Server", "d"), "d");
    Ini.WriteInteger("Translation", "AutoInterval", 1500);
    EXPECT_EQ(Ini.ReadInteger("Translation", "AutoInterval", 0), 1500);
    const QByteArray After = FileData();
    EXPECT_TRUE(After.startsWith(Damaged.left(std::min<qsizetype>(Damaged.size(), 64))));
    EXPECT_GE(After.size(), Damaged.size());
  }
}

TEST_F(ConfigIniTest, NoTemporaryFilesAreLeftBehind) {
  for (int I = 0; I < 5; ++I)
    Ini.WriteInteger("S", "K", I);
  EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList{"Config.ini"});
}

} // namespace
