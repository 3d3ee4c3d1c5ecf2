#pragma once

#include "settings/Settings.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

// A write to the settings file that did not reach the disk.
class EIniFileException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The settings store over Config.ini. Every read sees the file as it is on
// disk now and every write reaches the disk at once, replacing the file
// atomically (a TBatch groups several writes into one replacement). Section
// and key names compare without regard to case; lines the program does not
// know are kept byte for byte.
//
// The file is UTF-8 text. A file in UTF-16 (with a byte order mark, or
// without one when its first character is ASCII) is read as such, and the
// first write replaces it whole with the same text in UTF-8, so no file ever
// holds two encodings. A UTF-16 file whose bytes do not decode is read as far
// as they do, and writes to it raise EIniFileException rather than lose the
// rest.
//
// Reads and writes may come from any thread; each is atomic. A batch belongs
// to the store, not to a thread: while one is open, every thread's writes
// join it and reads see its pending values.
class TConfigIni {
public:
  // Removes what saves killed half way left beside the file.
  explicit TConfigIni(QString FileName);

  // The writes of one operation, such as saving a window's state, replaced
  // in the file at once by Commit(), which raises EIniFileException as a
  // single write does. Reads through the store see the pending values. A
  // batch destroyed without Commit() (an exception on the way) discards them,
  // since a destructor cannot report a failed write. A batch begun while
  // another is open joins it: only the outermost one writes or discards.
  class TBatch {
  public:
    explicit TBatch(TConfigIni& Ini);
    ~TBatch();
    TBatch(const TBatch&) = delete;
    TBatch& operator=(const TBatch&) = delete;
    void Commit();

  private:
    TConfigIni& FIni;
    bool FOpen = true;
  };

  const QString& FileName() const { return FFileName; }

  QString ReadString(const QString& Section, const QString& Ident, const QString& Default);
  int32_t ReadInteger(const QString& Section, const QString& Ident, int32_t Default);
  bool ReadBool(const QString& Section, const QString& Ident, bool Default);

  void WriteString(const QString& Section, const QString& Ident, const QString& Value);
  void WriteInteger(const QString& Section, const QString& Ident, int32_t Value);
  void WriteBool(const QString& Section, const QString& Ident, bool Value);

  // The same through the rows of the settings table (settings/Settings.h),
  // with each row's default.
  QString Read(const TStringSetting& Key);
  int32_t Read(const TIntegerSetting& Key);
  bool Read(const TBoolSetting& Key);
  QString Read(const TColorSetting& Key);
  int32_t Read(const TGeometrySetting& Key, int32_t Current);
  void Write(const TStringSetting& Key, const QString& Value);
  void Write(const TIntegerSetting& Key, int32_t Value);
  void Write(const TBoolSetting& Key, bool Value);
  void Write(const TColorSetting& Key, const QString& Value);
  void Write(const TGeometrySetting& Key, int32_t Value);

  // The longest value a read returns, in UTF-16 units.
  static constexpr qsizetype MaxValueLength = 2047;

private:
  // What identifies one version of the file on disk; a read parses the file
  // again only when this changes, so repeated reads cost one stat().
  struct TFileStamp {
    bool Exists = false;
    uint64_t Device = 0, Inode = 0;
    int64_t Size = 0, ModifiedNs = 0, ChangedNs = 0;
    friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
  };

  struct TContent {
    QByteArray Data;                // the file as read, as UTF-8
    bool Undecodable = false;       // UTF-16 whose bytes did not all decode
    QHash<QString, QString> Values; // "section\nkey" in lower case -> first value
  };

  TFileStamp StampNow() const;
  const TContent& Current();
  static TContent Parse(QByteArray Data);
  // The file's lines, each with its own line end, if any.
  static std::vector<QByteArray> SplitLines(const QByteArray& Data);
  // The file's bytes with one value set, everything else kept.
  static QByteArray WithEntry(const QByteArray& Data, const QString& Section, const QString& Ident,
                              const QString& Value);
  // Replaces the file with Data atomically, or raises and leaves it as it was.
  void Save(QByteArray Data);
  [[noreturn]] void FailUndecodable() const;
  void EndBatch(bool Keep);

  mutable std::recursive_mutex FMutex;
  QString FFileName;
  TFileStamp FStamp;
  TContent FContent;
  bool FLoaded = false;
  int64_t FLoadedAtNs = 0; // wall clock when FContent was read from disk

  int FBatchDepth = 0;
  bool FBatchChanged = false;
  bool FPendingUndecodable = false;        // the batch began from such a file
  QByteArray FPendingData;                 // the file as the open batch would leave it
  std::optional<TContent> FPendingContent; // FPendingData parsed, once a read needs it
};
