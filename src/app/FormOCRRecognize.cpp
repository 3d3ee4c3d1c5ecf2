#include "app/UnitFormOCR.h"

#include "app/ConfigIni.h"
#include "imaging/OCRPreprocessor.h"
#include "overlay/TranslateForm.h"
#include "text/OCRLayout.h"
#include "text/RESTApi.h"

#include <QAction>
#include <QLabel>
#include <QPixmap>

// Recognition: the engine checked in the OCR menu turns FScreenBitmap into
// records, grouped into lines or segments.

std::optional<TIteratorResultList> TFormOCR::Recognize() {
  if (!FScreenBitmap)
    return std::nullopt;
  if (mnuShowCaputure->isChecked())
    Image1->setPixmap(QPixmap::fromImage(*FScreenBitmap));
  // The capture step binarised with the same threshold already; again
  // changes nothing, but a bitmap put here by another way gets it too.
  if (FOCRThreshold != -1)
    TImageProcessor::BinarizeWithGlobalThreshold(*FScreenBitmap, uint8_t(FOCRThreshold), false);

  // An engine that found nothing, or whose finds all had empty texts, hides
  // the overlay and leaves nothing to translate.
  auto NothingFound = [this]() -> std::optional<TIteratorResultList> {
    FTranslateForm->hide();
    return std::nullopt;
  };

  if (mnuTesseract->isChecked()) {
    TIteratorResultList Lines = RecognizeWithTesseract();
    std::optional<TIteratorResultList> Result;
    if (mnuTextLine->isChecked())
      Result = std::move(Lines);
    else if (!Lines.empty())
      Result = GroupingToSegment(Lines);
    if (Result && Result->empty())
      return NothingFound();
    return Result;
  }

  // The operating-system engine is not part of this build; its menu item
  // stays disabled.
  if (mnuWindowsOCR->isChecked())
    return std::nullopt;

  if (mnuEasyOCR->isChecked()) {
    const QString Server = ConfigIni->ReadString(QStringLiteral("Translation"), QStringLiteral("Server"),
                                                 QString::fromLatin1(DefaultServerURL));
    // A failed request comes back as an empty list; its message is not shown.
    QString ErrorMessage;
    const TOCRItemList Items = EasyOCR(Server, *FScreenBitmap, ErrorMessage, QStringLiteral("False"));
    if (Items.empty())
      return NothingFound();
    TIteratorResultList Words;
    Words.reserve(Items.size());
    for (const TOCRItem& Item : Items)
      Words.push_back(IteratorResultFromOCRItem(Item));
    TIteratorResultList Lines = GroupingToTextLine(Words);
    // This branch follows the stored setting, not the menu item.
    TIteratorResultList Result = ConfigIni->ReadBool(QStringLiteral("Translation"), QStringLiteral("TextLine"), false)
                                     ? std::move(Lines)
                                     : GroupingToSegment(Lines);
    if (Result.empty())
      return NothingFound();
    return Result;
  }
  return std::nullopt;
}
