#include "ocr/TesseractLanguages.h"

#include <QDir>
#include <QLocale>
#include <QSet>

namespace {

QLocale::Script ScriptOfVariant(const QString& Variant) {
  if (Variant == QLatin1String("sim"))
    return QLocale::SimplifiedHanScript;
  if (Variant == QLatin1String("tra"))
    return QLocale::TraditionalHanScript;
  if (Variant == QLatin1String("latn"))
    return QLocale::LatinScript;
  if (Variant == QLatin1String("cyrl"))
    return QLocale::CyrillicScript;
  return QLocale::AnyScript;
}

} // namespace

std::optional<TOcrLanguage> LanguageOfTrainedData(const QString& Code) {
  // Orientation and script detection, and mathematical equations.
  if (Code == QLatin1String("osd") || Code == QLatin1String("equ") || Code.isEmpty())
    return std::nullopt;
  const QString Base = Code.section(QLatin1Char('_'), 0, 0);
  const QString Variant = Code.section(QLatin1Char('_'), 1);
  const bool Vertical = Variant == QLatin1String("vert");
  const QLocale::Script ChosenScript = ScriptOfVariant(Variant);
  const QLocale::Language Language = QLocale::codeToLanguage(Base, QLocale::ISO639Part2);
  if (Language == QLocale::AnyLanguage || (!Variant.isEmpty() && !Vertical && ChosenScript == QLocale::AnyScript))
    return TOcrLanguage{QStringLiteral("x-") + QString(Code).remove(QLatin1Char('_')), Code, Code, QString()};

  // Qt fills in the likeliest script and territory of the language.
  const QLocale Locale(Language, ChosenScript, QLocale::AnyTerritory);
  QString Tag = QLocale::languageToCode(Locale.language());
  QStringList Details;
  QStringList NativeDetails;
  if (ChosenScript != QLocale::AnyScript) {
    Tag += QLatin1Char('-') + QLocale::scriptToCode(Locale.script());
    Details << QLocale::scriptToString(Locale.script());
  }
  Tag += QLatin1Char('-') + QLocale::territoryToCode(Locale.territory());
  Details << QLocale::territoryToString(Locale.territory());
  NativeDetails << Locale.nativeTerritoryName();
  if (Vertical) {
    Tag += QStringLiteral("-x-vert");
    Details << QStringLiteral("vertical");
    NativeDetails << QStringLiteral("vertical");
  }
  TOcrLanguage Result;
  Result.LanguageTag = Tag;
  Result.DisplayName =
      QStringLiteral("%1 (%2)").arg(QLocale::languageToString(Locale.language()), Details.join(QStringLiteral(", ")));
  Result.NativeName =
      QStringLiteral("%1 (%2)").arg(Locale.nativeLanguageName(), NativeDetails.join(QStringLiteral(", ")));
  Result.Script = QLocale::scriptToString(Locale.script());
  return Result;
}

std::vector<TTesseractLanguage> InstalledTesseractLanguages(const QString& DataPath) {
  const QStringList Files =
      QDir(DataPath).entryList({QStringLiteral("*.traineddata")}, QDir::Files | QDir::Readable, QDir::Name);
  std::vector<TTesseractLanguage> Result;
  QSet<QString> Tags;
  for (const QString& File : Files) {
    const QString Code = File.chopped(int(qstrlen(".traineddata")));
    const std::optional<TOcrLanguage> Language = LanguageOfTrainedData(Code);
    if (!Language || Tags.contains(Language->LanguageTag))
      continue;
    Tags.insert(Language->LanguageTag);
    Result.push_back({*Language, Code});
  }
  return Result;
}
