#include "app/Application.h"

#include "app/UnitFormOCR.h"

#include <QFont>
#include <QMessageBox>

#include <exception>

void InstallFontSubstitutes() {
  const QStringList Proportional = {QStringLiteral("Noto Sans CJK KR"), QStringLiteral("Noto Sans KR"),
                                    QStringLiteral("NanumGothic"), QStringLiteral("UnDotum")};
  const QStringList Monospaced = {QStringLiteral("Noto Sans Mono CJK KR"), QStringLiteral("NanumGothicCoding"),
                                  QStringLiteral("Noto Sans CJK KR")};
  for (const char* Name : {"맑은 고딕", "Malgun Gothic", "굴림", "Gulim", "돋움", "Dotum"})
    QFont::insertSubstitutions(QString::fromUtf8(Name), Proportional);
  for (const char* Name : {"굴림체", "GulimChe", "돋움체", "DotumChe"})
    QFont::insertSubstitutions(QString::fromUtf8(Name), Monospaced);
}

void ShowException(const QString& Message) {
  QMessageBox::critical(QApplication::activeWindow(), ApplicationTitle, Message, QMessageBox::Ok);
}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
  try {
    return QApplication::notify(Receiver, Event);
  } catch (const std::exception& Error) {
    ShowException(QString::fromUtf8(Error.what()));
  } catch (...) {
    ShowException(QStringLiteral("Unknown error"));
  }
  return false;
}
