#pragma once

#include "ocr/GlobalTypes.h"

#include <QWidget>

// The borderless window that shows the translations over the captured area.
class TTranslationForm : public QWidget {
  Q_OBJECT
public:
  explicit TTranslationForm(QWidget* Owner);
  void UpdateText(const TIteratorResultList* TextSegmentList);

private:
  const TIteratorResultList* FTextSegmentList = nullptr;
};
