#include "text/RemoteOCREngine.h"

#include "settings/ConfigIni.h"
#include "text/OCRLayout.h"
#include "text/RESTApi.h"

TRemoteOCREngine::TRemoteOCREngine(TConfigIni& Settings) : FSettings(Settings) {}

TIteratorResultList TRemoteOCREngine::RecognizeLines(const QImage& Bitmap) {
  // Read for every request, so a server changed in the settings is used at once.
  const QString Server = FSettings.Read(Settings::Server);
  QString ErrorMessage;
  const TOCRItemList Items = EasyOCR(Server, Bitmap, ErrorMessage, QStringLiteral("False"), OCRTimeouts, Enhance());
  TIteratorResultList Words;
  Words.reserve(Items.size());
  for (const TOCRItem& Item : Items)
    Words.push_back(IteratorResultFromOCRItem(Item));
  return GroupingToTextLine(Words);
}
