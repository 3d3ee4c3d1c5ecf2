#include "app/UnitFormOCR.h"

#include "app/SetupForm.h"

// The settings command.

bool TFormOCR::RunSetupDialog() {
  TFormSetup Dialog(*FConfigIni, OCRLanguageNames(), this);
  return Dialog.exec() == QDialog::Accepted;
}

void TFormOCR::ActSetupExecute() {
  FController->StopAutoTranslation();
  FController->SetAutoTranslateImage(1);
  if (RunSetupDialog())
    ReadConfig();
}

QStringList TFormOCR::OCRLanguageNames() const {
  QStringList Names;
  for (const TRtOcr::TLanguage& Language : OCRLanguages())
    Names << Language.DisplayName;
  return Names;
}
