#include "capture/SelectForm.h"

TSelectionForm::TSelectionForm(QWidget* Owner)
    : QWidget(Owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {}
