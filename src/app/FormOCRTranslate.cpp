#include "app/UnitFormOCR.h"

#include "app/ConfigIni.h"
#include "overlay/TranslateForm.h"
#include "text/RESTApi.h"

#include <QAction>

// Translation of the recognised records and the hand-over to the overlay.

QString TFormOCR::Translate(const QString& OCRText, QString& ErrorMessage) {
  // Read for every text, so a server changed in the settings is used at once.
  const QString Server = ConfigIni->ReadString(QStringLiteral("Translation"), QStringLiteral("Server"),
                                               QString::fromLatin1(DefaultServerURL));
  return TranslateLocal(Server, OCRText, QStringLiteral("en"), QStringLiteral("ko"), QStringLiteral("N"), ErrorMessage);
}

bool TFormOCR::TranslateOCRList(const TIteratorResultList& OCRList) {
  // The new result is collected apart from FTargetList, which the overlay
  // paints from: a failure part-way leaves the shown result intact.
  TIteratorResultList TargetList;
  TargetList.reserve(OCRList.size());
  QString ErrorMessage;
  for (const TIteratorResult& Record : OCRList) {
    TIteratorResult Copy = Record;
    const QString OCRText = Record.Text;
    if (!mnuOCROnly->isChecked()) {
      const QString Translation = Translate(OCRText, ErrorMessage);
      Copy.Text = ConfigIni->ReadBool(QStringLiteral("OCR"), QStringLiteral("OCRResult"), false)
                      ? OCRText + QChar(0x0002) + Translation
                      : Translation;
      if (!ErrorMessage.isEmpty())
        break;
    }
    TargetList.push_back(std::move(Copy));
  }
  if (!ErrorMessage.isEmpty())
    return false;

  FTargetList = std::move(TargetList);
  FTranslateForm->setVisible(true);
  FTranslateForm->UpdateText(&FTargetList);
  if (mnuEqualArea->isChecked())
    FTranslateForm->setGeometry(FSelectedRect.Left, FSelectedRect.Top, FSelectedRect.Width(), FSelectedRect.Height());
  FTranslateForm->show();
  return true;
}
