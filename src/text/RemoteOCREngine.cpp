#include "text/RemoteOCREngine.h"

#include "settings/ConfigIni.h"
#include "text/OCRLayout.h"

TRemoteOCREngine::TRemoteOCREngine(TConfigIni& Settings, const THttpTimeouts& Timeouts)
    : FSettings(Settings), FTimeouts(Timeouts) {}

TIteratorResultList TRemoteOCREngine::RecognizeLines(const QImage& Bitmap) {
  // Read for every request, so a server changed in the settings is used at once.
  const QString Server = FSettings.Read(Settings::Server);
  THttpTimeouts Timeouts = FTimeouts;
  Timeouts.Cancel = FCancel;
  QString ErrorMessage;
  TOCRItemList Items;
  try {
    Items = EasyOCR(Server, Bitmap, ErrorMessage, QStringLiteral("False"), Timeouts, Enhance());
  } catch (const EServerError& Refused) {
    throw ERemoteOCRError(Refused.what());
  }
  // The items before a malformed one are not the page's text: a failure
  // shows no part of a result.
  if (!ErrorMessage.isEmpty())
    throw ERemoteOCRError(ErrorMessage.toStdString());
  TIteratorResultList Words;
  Words.reserve(Items.size());
  for (const TOCRItem& Item : Items)
    Words.push_back(IteratorResultFromOCRItem(Item));
  return GroupingToTextLine(Words);
}
