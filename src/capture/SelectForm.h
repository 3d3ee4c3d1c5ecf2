#pragma once

#include <QWidget>

// The full-screen selection overlay that draws the rubber band.
class TSelectionForm : public QWidget {
  Q_OBJECT
public:
  explicit TSelectionForm(QWidget* Owner);
};
