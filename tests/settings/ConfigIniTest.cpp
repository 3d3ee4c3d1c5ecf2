#include "settings/ConfigIni.h"

#include "core/ScopeExit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

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
  QStringList FolderFiles(const QString& Folder) { return QDir(Folder).entryList(QDir::Files | QDir::Hidden); }
  // The message of what a write raised.
  static std::string WriteError(TConfigIni& Store, const QString& Value) {
    try {
      Store.WriteString("S", "K", Value);
      return "no error";
    } catch (const EIniFileException& Error) {
      return Error.what();
    }
  }
  // A failed write raises with the full path and leaves the old file byte for
  // byte, with nothing beside it.
  void ExpectFailedAndKept(const std::string& Error, const QByteArray& Before, const QStringList& Files) {
    EXPECT_EQ(QString::fromStdString(Error), "Unable to write to " + Path);
    EXPECT_EQ(FileData(), Before);
    EXPECT_EQ(FolderFiles(QFileInfo(Path).path()), Files);
    EXPECT_EQ(TConfigIni(Path).ReadString("S", "K", "default"), "old");
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

// A file saved as UTF-16 (as Windows' own editors do) is read as text, and
// the first write turns it whole into UTF-8: never a file of two encodings.
TEST_F(ConfigIniTest, Utf16FilesAreReadAndRewrittenWholeAsUtf8) {
  const QString Text = QStringLiteral("[TranslationWindow]\r\nFontName=맑은 고딕\r\n[Tesseract]\r\nlang=kor\r\n");
  const auto Utf16 = [&](QStringConverter::Encoding Encoding, bool Bom) {
    QStringEncoder Encoder(Encoding, Bom ? QStringEncoder::Flag::WriteBom : QStringEncoder::Flag::Default);
    return QByteArray(Encoder.encode(Text));
  };
  const struct {
    const char* Name;
    QByteArray Data;
  } Cases[] = {
      {"LE with BOM", Utf16(QStringConverter::Utf16LE, true)},
      {"BE with BOM", Utf16(QStringConverter::Utf16BE, true)},
      {"LE without BOM", Utf16(QStringConverter::Utf16LE, false)},
      {"BE without BOM", Utf16(QStringConverter::Utf16BE, false)},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    WriteFile(Case.Data);
    EXPECT_EQ(Ini.ReadString("TranslationWindow", "FontName", ""), QStringLiteral("맑은 고딕"));
    EXPECT_EQ(Ini.ReadString("Tesseract", "lang", ""), "kor");
    Ini.WriteInteger("General", "Left", 7);
    EXPECT_EQ(FileData(), Text.toUtf8() + "[General]\r\nLeft=7\r\n");
    EXPECT_EQ(TConfigIni(Path).ReadString("TranslationWindow", "FontName", ""), QStringLiteral("맑은 고딕"));
  }
}

// UTF-16 that does not decode (half a character at the end, a lone
// surrogate) is read as far as it goes, but never rewritten: the rest would
// be lost.
TEST_F(ConfigIniTest, Utf16ThatDoesNotDecodeIsNeverRewritten) {
  const QByteArray Good = QByteArray("\xFF\xFE", 2) + QByteArray("[\0S\0]\0\n\0K\0=\0o\0l\0d\0\n\0", 22);
  for (const QByteArray& Damaged : {Good + 'x', Good + QByteArray("X\0=\0\x00\xD8\n\0", 8)}) {
    WriteFile(Damaged);
    EXPECT_EQ(Ini.ReadString("S", "K", ""), "old");
    EXPECT_EQ(WriteError(Ini, "new"),
              "Unable to write to " + Path.toStdString() + ": it is UTF-16 text that does not decode");
    {
      TConfigIni::TBatch Batch(Ini);
      Ini.WriteString("S", "K", "new");
      EXPECT_THROW(Batch.Commit(), EIniFileException);
    }
    EXPECT_EQ(FileData(), Damaged);
  }
  // Bytes that only look like UTF-16 at first are no text of it and stay
  // as they are.
  const QByteArray NotUtf16("[\0S]\nK=\0\x00\xD8\n\0", 12);
  WriteFile(NotUtf16);
  Ini.WriteString("T", "K", "v");
  EXPECT_TRUE(FileData().startsWith(NotUtf16));
}

// The store is used from the GUI thread and from recognition jobs at once.
TEST_F(ConfigIniTest, ReadsAndWritesFromTwoThreadsStayWhole) {
  Ini.WriteString("Translation", "Server", "http://127.0.0.1:5000");
  std::atomic<bool> Done = false;
  std::thread Reader([&] {
    while (!Done) {
      EXPECT_EQ(Ini.ReadString("Translation", "Server", ""), "http://127.0.0.1:5000");
      const int32_t Left = Ini.ReadInteger("General", "Left", 0);
      EXPECT_TRUE(Left >= 0 && Left < 50) << Left;
    }
  });
  for (int I = 0; I < 50; ++I)
    Ini.WriteInteger("General", "Left", I);
  Done = true;
  Reader.join();
  EXPECT_EQ(TConfigIni(Path).ReadInteger("General", "Left", 0), 49);
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

// A full disk is the common way for a write to fail half way; a small tmpfs
// makes it real (mounting needs root).
TEST_F(ConfigIniTest, FullDiskRaisesAndKeepsTheOldFile) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "mounting a small tmpfs needs root";
  const QString Mount = Dir.filePath("full");
  ASSERT_TRUE(QDir().mkpath(Mount));
  if (::mount("tmpfs", QFile::encodeName(Mount).constData(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  const TScopeExit Unmount([&] { ::umount2(QFile::encodeName(Mount).constData(), MNT_DETACH); });
  Path = Mount + "/Config.ini";
  TConfigIni Store(Path);
  WriteFile("[S]\nK=old\nOther=" + QByteArray(100, 'o') + "\n");
  {
    QFile Filler(Mount + "/filler");
    ASSERT_TRUE(Filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray Block(4096, 'f');
    while (Filler.write(Block) > 0) {
    }
  }
  const QByteArray Before = FileData();
  const QStringList Files = FolderFiles(Mount);
  ExpectFailedAndKept(WriteError(Store, "new"), Before, Files);
}

// The same failure without a full disk: past the file size limit, with
// SIGXFSZ ignored, write() fails with EFBIG.
TEST_F(ConfigIniTest, FailedWriteRaisesAndKeepsTheOldFile) {
  WriteFile("[S]\nK=old\n");
  const QStringList Files = FolderFiles(Dir.path());
  rlimit Old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Old), 0);
  const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit Small = Old;
  Small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
  const std::string Error = WriteError(Ini, QString(200, u'n'));
  // The limit covers every file of the process, test logs too.
  ::setrlimit(RLIMIT_FSIZE, &Old);
  std::signal(SIGXFSZ, OldHandler);
  ExpectFailedAndKept(Error, "[S]\nK=old\n", Files);
}

// Whatever a write matches, the next read must match too: a name that only
// Unicode case folding equates (long s, U+017F, folds to s) must not take the
// write of a value the read then cannot find.
TEST_F(ConfigIniTest, ReadsAndWritesMatchNamesTheSameWay) {
  const struct {
    const char* Name;
    QByteArray Before;
  } Cases[] = {
      {"section", "[Tran\xC5\xBFlation]\nServer=old\n"},
      {"key", "[Translation]\n\xC5\xBF"
              "erver=old\n"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    WriteFile(C.Before);
    Ini.WriteString("Translation", "Server", "new");
    EXPECT_EQ(Ini.ReadString("Translation", "Server", "default"), "new");
    EXPECT_EQ(TConfigIni(Path).ReadString("Translation", "Server", "default"), "new");
    EXPECT_TRUE(FileData().startsWith(C.Before));
  }
}

// Each replacement of the file moves a new one onto its name; inotify counts
// them without any timing.
int Replacements(int Watch) {
  alignas(inotify_event) char Buffer[4096];
  int Count = 0;
  for (ssize_t Got; (Got = ::read(Watch, Buffer, sizeof Buffer)) > 0;)
    for (char* At = Buffer; At < Buffer + Got;) {
      const auto* Event = reinterpret_cast<const inotify_event*>(At);
      Count +=
          Event->len > 0 && (Event->mask & (IN_MOVED_TO | IN_CREATE)) && std::strcmp(Event->name, "Config.ini") == 0;
      At += sizeof(inotify_event) + Event->len;
    }
  return Count;
}

TEST_F(ConfigIniTest, ABatchReplacesTheFileOnceWithTheBytesOfSingleWrites) {
  const QByteArray Before = "\xEF\xBB\xBF; notes\r\n[General]\r\nLeft=1\r\nMine=keep me\r\n\r\n[Other]\r\nX=y";
  const QString SinglePath = Dir.filePath("Single.ini");
  QFile Single(SinglePath);
  ASSERT_TRUE(Single.open(QIODevice::WriteOnly));
  Single.write(Before);
  Single.close();
  WriteFile(Before);
  const struct {
    const char* Section;
    const char* Key;
    QString Value;
  } Writes[] = {{"General", "Left", "5"},  {"general", "TOP", "6"},  {"Other", "X", "a\nb"},
                {"New", "A", "맑은 고딕"}, {"General", "Left", "7"}, {"New", "B", QString(3000, u'z')}};

  const int Watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(Watch, 0);
  const TScopeExit CloseWatch([&] { ::close(Watch); });
  ASSERT_GE(::inotify_add_watch(Watch, QFile::encodeName(Dir.path()).constData(), IN_MOVED_TO | IN_CREATE), 0);
  {
    TConfigIni::TBatch Batch(Ini);
    for (const auto& W : Writes)
      Ini.WriteString(W.Section, W.Key, W.Value);
    EXPECT_EQ(Ini.ReadString("General", "Left", ""), "7");
    EXPECT_EQ(Ini.ReadString("General", "Mine", ""), "keep me");
    EXPECT_EQ(FileData(), Before);
    Batch.Commit();
  }
  EXPECT_EQ(Replacements(Watch), 1);

  TConfigIni KeyByKey(SinglePath);
  for (const auto& W : Writes)
    KeyByKey.WriteString(W.Section, W.Key, W.Value);
  ASSERT_TRUE(Single.open(QIODevice::ReadOnly));
  EXPECT_EQ(FileData(), Single.readAll());
  EXPECT_EQ(TConfigIni(Path).ReadString("New", "A", ""), "맑은 고딕");
}

TEST_F(ConfigIniTest, ABatchNotCommittedChangesNothingAndAFailedCommitRaises) {
  WriteFile("[S]\nK=old\n");
  {
    TConfigIni::TBatch Batch(Ini);
    Ini.WriteString("S", "K", "new");
    EXPECT_EQ(Ini.ReadString("S", "K", ""), "new");
  }
  EXPECT_EQ(Ini.ReadString("S", "K", ""), "old");
  EXPECT_EQ(FileData(), "[S]\nK=old\n");

  ASSERT_EQ(::chmod(QFile::encodeName(Path).constData(), 0444), 0);
  TConfigIni::TBatch Batch(Ini);
  Ini.WriteString("S", "K", "new");
  try {
    Batch.Commit();
    ADD_FAILURE() << "no error";
  } catch (const EIniFileException& Error) {
    EXPECT_EQ(QString::fromUtf8(Error.what()), "Unable to write to " + Path);
  }
  EXPECT_EQ(FileData(), "[S]\nK=old\n");
  EXPECT_EQ(Ini.ReadString("S", "K", ""), "old");
}

// A save killed half way leaves its temporary file (Config.ini.XXXXXX, six
// letters); a new store removes those and nothing that merely looks alike.
TEST_F(ConfigIniTest, LeftoversOfKilledSavesAreRemovedAtStart) {
  WriteFile("[S]\nK=kept\n");
  const QDir Folder(Dir.path());
  const timeval HourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
  auto Plant = [&](const QString& Name) {
    QFile File(Folder.filePath(Name));
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write("[S]\nK=partial");
    File.close();
    ASSERT_EQ(::utimes(QFile::encodeName(File.fileName()).constData(), HourAgo), 0);
  };
  const QStringList Leftovers = {"Config.ini.jWunhp", "Config.ini.QWERTy"};
  const QStringList LookAlikes = {"Config.ini.backup",  "Config.ini.BACKUP", "Config.ini.bak",
                                  "Config.ini.jWunhpX", "Config.ini.jW1nhp", "Config.ini.jW-nhp",
                                  "config.ini.jWunhp",  "Other.ini.jWunhp",  "Config.ini.jWunhp.old"};
  for (const QString& Name : Leftovers + LookAlikes)
    Plant(Name);
  // Still being written by another instance of the program.
  QFile Fresh(Folder.filePath("Config.ini.FrEshh"));
  ASSERT_TRUE(Fresh.open(QIODevice::WriteOnly));
  Fresh.close();
  // Not a regular file of ours.
  ASSERT_TRUE(Folder.mkdir("Config.ini.DiRect"));
  ASSERT_TRUE(QFile::link(Folder.filePath("Config.ini.backup"), Folder.filePath("Config.ini.LiNked")));
  QStringList Kept =
      LookAlikes + QStringList{"Config.ini", "Config.ini.FrEshh", "Config.ini.DiRect", "Config.ini.LiNked"};
  if (::geteuid() == 0) {
    Plant("Config.ini.OtHers");
    ASSERT_EQ(::chown(QFile::encodeName(Folder.filePath("Config.ini.OtHers")).constData(), 65534, 65534), 0);
    Kept << "Config.ini.OtHers";
  }

  TConfigIni Store(Path);
  const QStringList Present = Folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QString& Name : Leftovers)
    EXPECT_FALSE(Present.contains(Name)) << Name.toStdString();
  for (const QString& Name : Kept)
    EXPECT_TRUE(Present.contains(Name)) << Name.toStdString();
  EXPECT_EQ(Store.ReadString("S", "K", ""), "kept");
}

} // namespace
