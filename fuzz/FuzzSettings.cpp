// Config.ini as anyone may have edited it: every row of the settings table
// is read from it, then one value is written and read back.
#include "core/Colors.h"
#include "settings/ConfigIni.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <variant>
#include <vector>

namespace {

using TRow = std::variant<TStringSetting, TIntegerSetting, TBoolSetting, TColorSetting, TGeometrySetting>;

const TRow Rows[] = {
    Settings::MainLeft,       Settings::MainTop,        Settings::MainWidth,     Settings::MainHeight,
    Settings::StayOnTop,      Settings::HotKey1,        Settings::HotKey5,       Settings::Server,
    Settings::SourceLanguage, Settings::TargetLanguage, Settings::TextLine,      Settings::AutoInterval,
    Settings::EqualArea,      Settings::OverlayLeft,    Settings::OverlayHeight, Settings::OverlayAtCreation,
    Settings::FontName,       Settings::FontSize,       Settings::FontColor,     Settings::TextBackColor,
    Settings::OverlayTimer,   Settings::CaptureOverlay, Settings::Engine,        Settings::OCRLanguage,
    Settings::TesseractLang,
};

// Every row as text, colours turned into colours as their readers do.
std::vector<QString> ReadAll(TConfigIni& Ini) {
  std::vector<QString> Values;
  for (const TRow& Row : Rows)
    Values.push_back(std::visit(
        [&Ini](const auto& Key) -> QString {
          using T = std::decay_t<decltype(Key)>;
          if constexpr (std::is_same_v<T, TGeometrySetting>)
            return QString::number(Ini.Read(Key, -1));
          else if constexpr (std::is_same_v<T, TColorSetting>) {
            const QString Text = Ini.Read(Key);
            try {
              return Text + u'=' + ColorToString(StringToColor(Text));
            } catch (const EConvertError&) {
              return Text + u'!';
            }
          } else
            return QVariant(Ini.Read(Key)).toString();
        },
        Row));
  return Values;
}

// What a read returns after Value was written.
QString AsReadBack(QString Value) {
  Value.replace(u'\r', u' ');
  Value.replace(u'\n', u' ');
  Value = Value.trimmed();
  if (Value.size() >= 2 && (Value.front() == u'"' || Value.front() == u'\'') && Value.back() == Value.front())
    Value = Value.mid(1, Value.size() - 2);
  return Value.left(TConfigIni::MaxValueLength);
}

const QString& FileName() {
  // Memory-backed where there is such a place: every run writes the file.
  static QTemporaryDir Dir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/korvex-fuzz-XXXXXX")
                                                     : QDir::tempPath() + QStringLiteral("/korvex-fuzz-XXXXXX"));
  static const QString Name = Dir.filePath(QStringLiteral("Config.ini"));
  return Name;
}

// Stops the run when a reader's rows differ from the expected ones, naming
// the first row that differs.
void Check(const std::vector<QString>& Got, const std::vector<QString>& Expected, const char* What) {
  for (size_t I = 0; I < Got.size(); ++I)
    if (Got[I] != Expected[I]) {
      std::fprintf(stderr, "fuzz_settings: %s: row %zu is \"%s\", not \"%s\"\n", What, I,
                   Got[I].toUtf8().toPercentEncoding(" ").constData(),
                   Expected[I].toUtf8().toPercentEncoding(" ").constData());
      std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const QByteArray Input(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
  {
    QFile File(FileName());
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate) || File.write(Input) != Input.size())
      std::abort(); // the temporary folder is gone
  }
  TConfigIni Before(FileName());
  std::vector<QString> Expected = ReadAll(Before);

  // The value written is the input's own start, line breaks and all.
  const QString Value = QString::fromUtf8(Input.left(96));
  TConfigIni Writer(FileName());
  Writer.Write(Settings::Server, Value);
  for (size_t I = 0; I < std::size(Rows); ++I)
    if (std::holds_alternative<TStringSetting>(Rows[I]) &&
        std::strcmp(std::get<TStringSetting>(Rows[I]).Ident, Settings::Server.Ident) == 0)
      Expected[I] = AsReadBack(Value);

  TConfigIni After(FileName());
  Check(ReadAll(Writer), Expected, "the writer reads back something else than it wrote");
  Check(ReadAll(After), Expected, "a fresh reader sees something else than was written");
  return 0;
}
