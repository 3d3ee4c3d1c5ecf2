#include "settings/ConfigIni.h"

#include "core/Colors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <cerrno>
#include <optional>

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

int64_t WallClockNs() {
  timespec Now{};
  clock_gettime(CLOCK_REALTIME, &Now);
  return int64_t(Now.tv_sec) * 1000000000 + Now.tv_nsec;
}

// File times tick coarsely (a few milliseconds), so a change made just after
// a read can carry the same time stamp as the version read. A cached version
// is trusted only once it was read comfortably after its last change.
constexpr int64_t TimeStampTickNs = 50'000'000;

// Reads and writes must match names the same way, or a write could land on
// an entry the next read does not find; Unicode case folding (which equates
// long s with s) is not used for either.
QString NameKey(const QString& Name) { return Name.trimmed().toLower(); }

QString LookupKey(const QString& Section, const QString& Ident) { return NameKey(Section) + u'\n' + NameKey(Ident); }

bool IsSectionLine(const QByteArray& Trimmed) { return Trimmed.startsWith('['); }

QString SectionName(const QByteArray& Trimmed) {
  const qsizetype Close = Trimmed.indexOf(']');
  return QString::fromUtf8(Trimmed.mid(1, Close < 0 ? -1 : Close - 1)).trimmed();
}

QByteArray WithoutLineEnd(const QByteArray& Line) {
  qsizetype End = Line.size();
  while (End > 0 && (Line[End - 1] == '\n' || Line[End - 1] == '\r'))
    --End;
  return Line.left(End);
}

// A value as written: QString::fromUtf8 would drop a leading U+FEFF as a
// byte order mark, which only the start of the file may carry.
QString ValueText(const QByteArray& Bytes) {
  QStringDecoder Decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
  return Decoder.decode(Bytes);
}

// Section, key and default texts of the settings table are UTF-8.
QString Name(const char* Text) { return QString::fromUtf8(Text); }

// Values may not carry a line break: it would split the entry in two.
QString OneLine(QString Value) {
  Value.replace(u'\r', u' ');
  Value.replace(u'\n', u' ');
  return Value;
}

// QSaveFile names its temporary file after the file, a dot and six random
// letters. A name of one case only (Config.ini.backup) is not taken for one,
// as a person may well have chosen it; the few temporary names that happen to
// be so are left.
bool IsTemporaryName(const QString& Name, const QString& FileName) {
  constexpr qsizetype RandomLetters = 6;
  if (Name.size() != FileName.size() + 1 + RandomLetters || !Name.startsWith(FileName + u'.'))
    return false;
  bool Upper = false, Lower = false;
  for (const QChar C : QStringView(Name).right(RandomLetters)) {
    Upper |= C >= u'A' && C <= u'Z';
    Lower |= C >= u'a' && C <= u'z';
    if (!(C >= u'A' && C <= u'Z') && !(C >= u'a' && C <= u'z'))
      return false;
  }
  return Upper && Lower;
}

// A save in progress (of another instance) has touched its file within
// moments; one left for this long belongs to a save that was killed.
constexpr int64_t StaleAfterSeconds = 60;

void RemoveLeftovers(const QString& FileName) {
  const QFileInfo Info(FileName);
  const QDir Folder = Info.dir();
  const QStringList Names = Folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QString& Name : Names) {
    if (!IsTemporaryName(Name, Info.fileName()))
      continue;
    const QByteArray Path = QFile::encodeName(Folder.filePath(Name));
    struct stat Entry {};
    if (::lstat(Path.constData(), &Entry) == 0 && S_ISREG(Entry.st_mode) && Entry.st_uid == ::geteuid() &&
        Entry.st_mtim.tv_sec < ::time(nullptr) - StaleAfterSeconds)
      ::unlink(Path.constData());
  }
}

// The file's text as UTF-8, and whether it was UTF-16 that did not decode
// cleanly. UTF-8 (with or without its byte order mark) is returned as it is.
// UTF-16 is told by its byte order mark, or, without one, by a first
// character that is ASCII with a NUL byte beside it (which UTF-8 text never
// holds) and bytes that all decode; anything else is kept as it is.
QByteArray AsUtf8(const QByteArray& Raw, bool& Undecodable) {
  Undecodable = false;
  const auto Ascii = [](char C) { return C > 0 && C < 0x7F; };
  std::optional<QStringConverter::Encoding> Encoding;
  qsizetype Skip = 0;
  bool Marked = true;
  if (Raw.startsWith("\xFF\xFE")) {
    Encoding = QStringConverter::Utf16LE;
    Skip = 2;
  } else if (Raw.startsWith("\xFE\xFF")) {
    Encoding = QStringConverter::Utf16BE;
    Skip = 2;
  } else if (Raw.size() >= 2 && Ascii(Raw[0]) && Raw[1] == '\0') {
    Encoding = QStringConverter::Utf16LE;
    Marked = false;
  } else if (Raw.size() >= 2 && Raw[0] == '\0' && Ascii(Raw[1])) {
    Encoding = QStringConverter::Utf16BE;
    Marked = false;
  }
  if (!Encoding)
    return Raw;
  QStringDecoder Decoder(*Encoding, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
  const QString Text = Decoder.decode(QByteArrayView(Raw).sliced(Skip));
  // The decoder passes lone surrogates through; UTF-8 cannot carry them.
  const bool Clean = !Decoder.hasError() && (Raw.size() - Skip) % 2 == 0 && Text.isValidUtf16();
  if (!Clean && !Marked)
    return Raw;
  Undecodable = !Clean;
  return Text.toUtf8();
}

} // namespace

TConfigIni::TConfigIni(QString FileName) : FFileName(std::move(FileName)) { RemoveLeftovers(FFileName); }

TConfigIni::TBatch::TBatch(TConfigIni& Ini) : FIni(Ini) {
  const std::lock_guard Lock(FIni.FMutex);
  if (FIni.FBatchDepth == 0) {
    FIni.FPendingUndecodable = FIni.Current().Undecodable;
    FIni.FPendingData = FIni.Current().Data;
    FIni.FPendingContent.reset();
    FIni.FBatchChanged = false;
  }
  ++FIni.FBatchDepth;
}

TConfigIni::TBatch::~TBatch() {
  const std::lock_guard Lock(FIni.FMutex);
  if (FOpen)
    FIni.EndBatch(false);
}

void TConfigIni::TBatch::Commit() {
  const std::lock_guard Lock(FIni.FMutex);
  if (!FOpen)
    return;
  FOpen = false;
  FIni.EndBatch(true);
}

void TConfigIni::EndBatch(bool Keep) {
  if (--FBatchDepth > 0)
    return;
  QByteArray Data = std::move(FPendingData);
  FPendingData.clear();
  FPendingContent.reset();
  if (Keep && FBatchChanged) {
    if (FPendingUndecodable)
      FailUndecodable();
    Save(std::move(Data));
  }
}

TConfigIni::TFileStamp TConfigIni::StampNow() const {
  struct stat Info {};
  TFileStamp Stamp;
  if (::stat(QFile::encodeName(FFileName).constData(), &Info) != 0)
    return Stamp;
  Stamp.Exists = true;
  Stamp.Device = Info.st_dev;
  Stamp.Inode = Info.st_ino;
  Stamp.Size = Info.st_size;
  Stamp.ModifiedNs = int64_t(Info.st_mtim.tv_sec) * 1000000000 + Info.st_mtim.tv_nsec;
  Stamp.ChangedNs = int64_t(Info.st_ctim.tv_sec) * 1000000000 + Info.st_ctim.tv_nsec;
  return Stamp;
}

std::vector<QByteArray> TConfigIni::SplitLines(const QByteArray& Data) {
  std::vector<QByteArray> Lines;
  qsizetype Start = 0;
  while (Start < Data.size()) {
    qsizetype End = Data.indexOf('\n', Start);
    End = End < 0 ? Data.size() : End + 1;
    Lines.push_back(Data.mid(Start, End - Start));
    Start = End;
  }
  return Lines;
}

TConfigIni::TContent TConfigIni::Parse(QByteArray Data) {
  TContent Content;
  QString Section;
  bool First = true;
  for (const QByteArray& Line : SplitLines(Data)) {
    QByteArray Text = WithoutLineEnd(Line);
    if (First && Text.startsWith("\xEF\xBB\xBF"))
      Text = Text.mid(3);
    First = false;
    const QByteArray Trimmed = Text.trimmed();
    if (IsSectionLine(Trimmed)) {
      Section = SectionName(Trimmed);
      continue;
    }
    const qsizetype Equals = Trimmed.indexOf('=');
    if (Equals <= 0 || Trimmed.startsWith(';'))
      continue;
    const QString Key = LookupKey(Section, QString::fromUtf8(Trimmed.left(Equals)));
    if (Content.Values.contains(Key))
      continue;
    QString Value = ValueText(Trimmed.mid(Equals + 1)).trimmed();
    if (Value.size() >= 2 && (Value.front() == u'"' || Value.front() == u'\'') && Value.back() == Value.front())
      Value = Value.mid(1, Value.size() - 2);
    Content.Values.insert(Key, Value.left(MaxValueLength));
  }
  Content.Data = std::move(Data);
  return Content;
}

const TConfigIni::TContent& TConfigIni::Current() {
  if (FBatchDepth > 0) {
    if (!FPendingContent)
      FPendingContent = Parse(FPendingData);
    return *FPendingContent;
  }
  const TFileStamp Stamp = StampNow();
  if (FLoaded && Stamp == FStamp && FLoadedAtNs - FStamp.ModifiedNs > TimeStampTickNs)
    return FContent;
  QByteArray Data;
  if (Stamp.Exists) {
    QFile File(FFileName);
    if (File.open(QIODevice::ReadOnly))
      Data = File.readAll();
  }
  bool Undecodable = false;
  Data = AsUtf8(Data, Undecodable);
  // Shortly after a change the stamp cannot be trusted and the file is read
  // again; parsing is needed only when its text really differs.
  if (!FLoaded || Data != FContent.Data || Undecodable != FContent.Undecodable) {
    FContent = Parse(std::move(Data));
    FContent.Undecodable = Undecodable;
  }
  FStamp = Stamp;
  FLoaded = true;
  FLoadedAtNs = WallClockNs();
  return FContent;
}

QString TConfigIni::ReadString(const QString& Section, const QString& Ident, const QString& Default) {
  const std::lock_guard Lock(FMutex);
  const TContent& Content = Current();
  auto It = Content.Values.constFind(LookupKey(Section, Ident));
  return It == Content.Values.constEnd() ? Default.left(MaxValueLength) : *It;
}

int32_t TConfigIni::ReadInteger(const QString& Section, const QString& Ident, int32_t Default) {
  return ParseInteger(ReadString(Section, Ident, QString())).value_or(Default);
}

bool TConfigIni::ReadBool(const QString& Section, const QString& Ident, bool Default) {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TConfigIni::WriteString(const QString& Section, const QString& Ident, const QString& Value) {
  const std::lock_guard Lock(FMutex);
  if (FBatchDepth > 0) {
    FPendingData = WithEntry(FPendingData, Section, Ident, Value);
    FPendingContent.reset();
    FBatchChanged = true;
    return;
  }
  const TContent& Content = Current();
  if (Content.Undecodable)
    FailUndecodable();
  Save(WithEntry(Content.Data, Section, Ident, Value));
}

QByteArray TConfigIni::WithEntry(const QByteArray& Data, const QString& Section, const QString& Ident,
                                 const QString& Value) {
  std::vector<QByteArray> Lines = SplitLines(Data);
  const QByteArray LineEnd = !Lines.empty() && Lines.front().endsWith("\r\n") ? "\r\n" : "\n";
  const QByteArray Entry = Ident.trimmed().toUtf8() + '=' + OneLine(Value).toUtf8();
  const QString WantedSection = Section.trimmed();
  const QString WantedSectionKey = NameKey(Section), WantedIdentKey = NameKey(Ident);

  // Find the section, then the key inside it, the same way a read does.
  qsizetype SectionLine = -1, KeyLine = -1, LastContent = -1;
  for (qsizetype I = 0; I < qsizetype(Lines.size()); ++I) {
    QByteArray Trimmed = WithoutLineEnd(Lines[I]);
    if (I == 0 && Trimmed.startsWith("\xEF\xBB\xBF"))
      Trimmed = Trimmed.mid(3);
    Trimmed = Trimmed.trimmed();
    if (IsSectionLine(Trimmed)) {
      if (SectionLine >= 0)
        break;
      if (NameKey(SectionName(Trimmed)) == WantedSectionKey) {
        SectionLine = LastContent = I;
      }
      continue;
    }
    if (SectionLine < 0)
      continue;
    if (!Trimmed.isEmpty())
      LastContent = I;
    const qsizetype Equals = Trimmed.indexOf('=');
    if (Equals > 0 && !Trimmed.startsWith(';') && NameKey(QString::fromUtf8(Trimmed.left(Equals))) == WantedIdentKey) {
      KeyLine = I;
      break;
    }
  }

  auto Terminate = [&](qsizetype I) {
    if (!Lines[I].endsWith('\n'))
      Lines[I] += LineEnd;
  };
  if (KeyLine >= 0) {
    const QByteArray Old = Lines[KeyLine];
    const QByteArray End = Old.endsWith("\r\n") ? "\r\n" : Old.endsWith('\n') ? "\n" : "";
    Lines[KeyLine] = Entry + End;
  } else if (SectionLine >= 0) {
    Terminate(LastContent);
    Lines.insert(Lines.begin() + LastContent + 1, Entry + LineEnd);
  } else {
    if (!Lines.empty())
      Terminate(qsizetype(Lines.size()) - 1);
    Lines.push_back('[' + WantedSection.toUtf8() + ']' + LineEnd);
    Lines.push_back(Entry + LineEnd);
  }

  QByteArray Result;
  for (const QByteArray& Line : Lines)
    Result += Line;
  return Result;
}

void TConfigIni::FailUndecodable() const {
  // What was read of such a file is not all of it: its text in UTF-8 would
  // replace the rest.
  throw EIniFileException(
      QStringLiteral("Unable to write to %1: it is UTF-16 text that does not decode").arg(FFileName).toStdString());
}

void TConfigIni::Save(QByteArray Data) {
  const auto Fail = [this] {
    throw EIniFileException(QStringLiteral("Unable to write to %1").arg(FFileName).toStdString());
  };

  // A file marked read-only stays unwritten, even for a user (root) whom the
  // permission bits would not stop.
  struct stat Info {};
  if (::stat(QFile::encodeName(FFileName).constData(), &Info) == 0 &&
      (Info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    Fail();
  // QSaveFile buffers, and its commit() notices neither a failed write of
  // that buffer nor a failed fsync(): on a full disk it would put a cut file in
  // place of the whole one. Both are checked here, before the replacement.
  QSaveFile File(FFileName);
  if (!File.open(QIODevice::WriteOnly) || File.write(Data) != Data.size() || !File.flush() ||
      (::fsync(File.handle()) != 0 && errno != EINVAL) || !File.commit())
    Fail();

  FContent = Parse(std::move(Data));
  FStamp = StampNow();
  FLoaded = true;
  FLoadedAtNs = WallClockNs();
}

void TConfigIni::WriteInteger(const QString& Section, const QString& Ident, int32_t Value) {
  WriteString(Section, Ident, QString::number(Value));
}

void TConfigIni::WriteBool(const QString& Section, const QString& Ident, bool Value) {
  WriteString(Section, Ident, Value ? QStringLiteral("1") : QStringLiteral("0"));
}

QString TConfigIni::Read(const TStringSetting& Key) {
  return ReadString(Name(Key.Section), Name(Key.Ident), Name(Key.Default));
}
int32_t TConfigIni::Read(const TIntegerSetting& Key) {
  return ReadInteger(Name(Key.Section), Name(Key.Ident), Key.Default);
}
bool TConfigIni::Read(const TBoolSetting& Key) { return ReadBool(Name(Key.Section), Name(Key.Ident), Key.Default); }
QString TConfigIni::Read(const TColorSetting& Key) {
  return ReadString(Name(Key.Section), Name(Key.Ident), Name(Key.Default));
}
int32_t TConfigIni::Read(const TGeometrySetting& Key, int32_t Current) {
  return ReadInteger(Name(Key.Section), Name(Key.Ident), Current);
}

void TConfigIni::Write(const TStringSetting& Key, const QString& Value) {
  WriteString(Name(Key.Section), Name(Key.Ident), Value);
}
void TConfigIni::Write(const TIntegerSetting& Key, int32_t Value) {
  WriteInteger(Name(Key.Section), Name(Key.Ident), Value);
}
void TConfigIni::Write(const TBoolSetting& Key, bool Value) { WriteBool(Name(Key.Section), Name(Key.Ident), Value); }
void TConfigIni::Write(const TColorSetting& Key, const QString& Value) {
  WriteString(Name(Key.Section), Name(Key.Ident), Value);
}
void TConfigIni::Write(const TGeometrySetting& Key, int32_t Value) {
  WriteInteger(Name(Key.Section), Name(Key.Ident), Value);
}
