#include "app/UnitFormOCR.h"

#include "app/SetupForm.h"

// The settings command.

bool TFormOCR::RunSetupDialog() {
  TFormSetup Dialog(*FConfigIni, OCRLanguageNames(), this);
  if (Dialog.exec() != QDialog::Accepted)
    return false;
  // The main window's options come back from the file; its place on the
  // screen stays where the user has it now, not where it was last stored.
  const QRect Frame = frameGeometry();
  const QSize Client = size();
  ReadConfig();
  move(Frame.topLeft());
  resize(Client);
  return true;
}

void TFormOCR::ActSetupExecute() {
  StopAutoTranslation();
  RunSetupDialog();
}

QStringList TFormOCR::OCRLanguageNames() const {
  QStringList Names;
  for (const TRtOcr::TLanguage& Language : OCRLanguages())
    Names << Language.DisplayName;
  return Names;
}
