#include "app/ErrorBox.h"

#include "app/Application.h"
#include "app/UnitFormOCR.h"

#include <QApplication>
#include <QMessageBox>

void ShowErrorBox(const QString& Message, QWidget* Parent) {
  // A command cut short because the program ends has nothing to tell.
  if (TApplication::Quitting())
    return;
  for (QWidget* Window : QApplication::topLevelWidgets()) {
    auto* Open = qobject_cast<QMessageBox*>(Window);
    if (Open && Open->isVisible() && Open->property("KorvexError").toBool() && Open->text() == Message) {
      Open->raise();
      return;
    }
  }
  auto* Box = new QMessageBox(QMessageBox::Critical, ApplicationTitle, Message, QMessageBox::Ok,
                              Parent ? Parent : QApplication::activeWindow());
  Box->setTextFormat(Qt::PlainText);
  Box->setProperty("KorvexError", true);
  Box->setAttribute(Qt::WA_DeleteOnClose);
  Box->setWindowModality(Qt::NonModal);
  Box->show();
  Box->raise();
  Box->activateWindow();
}
