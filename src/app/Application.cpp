#include "app/Application.h"

#include "app/UnitFormOCR.h"

#include <QMessageBox>

#include <exception>

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
