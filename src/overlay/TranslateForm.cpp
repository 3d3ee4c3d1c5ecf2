#include "overlay/TranslateForm.h"

TTranslationForm::TTranslationForm(QWidget* Owner)
    : QWidget(Owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {}

void TTranslationForm::UpdateText(const TIteratorResultList* TextSegmentList) { FTextSegmentList = TextSegmentList; }
