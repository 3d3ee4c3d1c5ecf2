#pragma once

#include <QDialog>
#include <QImage>

class QLabel;
class QScrollArea;
class QSlider;
class QPushButton;

// The preprocessing dialog ("이미지 전처리"): a sample of the screen, a
// slider for the binarisation threshold and a live black-and-white preview
// of the sample at that threshold.
class TOCRResultForm : public QDialog {
  Q_OBJECT

public:
  explicit TOCRResultForm(QWidget* Parent = nullptr);
  ~TOCRResultForm() override;

  // The sample to preview; not owned, and never changed. Set before showing.
  const QImage* FImage = nullptr;

  // The slider's position, 0..255; 128 until set.
  int OCRThreshold() const;
  void SetOCRThreshold(int Threshold);

  QLabel* ImgOCR = nullptr;
  QSlider* TrackBar = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

protected:
  void showEvent(QShowEvent* Event) override;

private:
  void TrackBarChange();

  QScrollArea* FPreviewArea = nullptr;
};
