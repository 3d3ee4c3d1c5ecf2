#include "ocr/TesseractLanguages.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <algorithm>

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

bool IsPlainLanguageName(const QString& Name) {
  if (Name.isEmpty())
    return false;
  for (const QChar C : Name)
    if (!((C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z') || (C >= u'0' && C <= u'9') || C == u'_' || C == u'-'))
      return false;
  return true;
}

// A name as the user typed it, short enough for a message box.
QString Quoted(const QString& Name) {
  constexpr qsizetype Shown = 80;
  return u'"' + (Name.size() > Shown ? Name.left(Shown) + QStringLiteral("…") : Name) + u'"';
}

} // namespace

bool IsPlainTesseractLanguage(const QString& Language) {
  const QStringList Names = Language.split(u'+');
  return std::all_of(Names.cbegin(), Names.cend(), IsPlainLanguageName);
}

std::optional<QString> TesseractLanguageProblem(const QString& DataPath, const QString& Language) {
  if (Language.trimmed().isEmpty())
    return QStringLiteral("[Tesseract] lang에 언어가 지정되지 않았습니다.");
  const QStringList Names = Language.split(u'+');
  for (const QString& Name : Names)
    if (!IsPlainLanguageName(Name))
      return QStringLiteral("[Tesseract] lang의 언어 이름 %1은(는) 쓸 수 없습니다. 언어 이름에는 영문자, 숫자, "
                            "'_', '-'만 쓸 수 있고, 여러 언어는 '+'로 잇습니다 (예: eng+kor).")
          .arg(Quoted(Name));
  const QDir Data(DataPath);
  for (const QString& Name : Names)
    if (!QFileInfo(Data.filePath(Name + QStringLiteral(".traineddata"))).isFile())
      return QStringLiteral("[Tesseract] lang의 언어 %1의 학습 데이터(%2.traineddata)가 %3에 없습니다.")
          .arg(Quoted(Name), Name, QDir::toNativeSeparators(Data.absolutePath()));
  return std::nullopt;
}

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
