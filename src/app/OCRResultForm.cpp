#include "app/OCRResultForm.h"

#include "imaging/OCRPreprocessor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QSlider>
#include <QToolTip>
#include <QVBoxLayout>

namespace {
constexpr int DesignClientWidth = 1072;
constexpr int DesignClientHeight = 468;
constexpr int PreviewWidth = 1043;
constexpr int PreviewHeight = 297;
constexpr int TrackBarWidth = 1033;
constexpr int InitialThreshold = 128;
} // namespace

TOCRResultForm::TOCRResultForm(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("이미지 전처리"));
  setFont(QFont(QStringLiteral("Segoe UI"), 9));
  auto* Layout = new QVBoxLayout(this);

  Layout->addWidget(new QLabel(QStringLiteral("OCR를 하기 전에 이미지를 전처리하여 OCR 정확도를 높이도록 합니다.\n"
                                              "아래의 Trackbar를 조정하여 텍스트를 제외한 배경이 보이지 않도록 "
                                              "설정하세요."),
                               this));
  auto* Note = new QLabel(QStringLiteral("(이 설정값은 프로그램 종료 시 저장되지 않습니다.)"), this);
  QPalette Teal = Note->palette();
  Teal.setColor(QPalette::WindowText, QColor(0x00, 0x80, 0x80));
  Note->setPalette(Teal);
  Layout->addWidget(Note);

  // The sample is shown unscaled from its top-left corner; a sample larger
  // than the area can be scrolled rather than being cut off.
  ImgOCR = new QLabel;
  ImgOCR->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  FPreviewArea = new QScrollArea(this);
  FPreviewArea->setWidget(ImgOCR);
  FPreviewArea->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  FPreviewArea->setMinimumSize(PreviewWidth, PreviewHeight);
  FPreviewArea->setFocusPolicy(Qt::NoFocus);
  Layout->addWidget(FPreviewArea, 1);

  TrackBar = new QSlider(Qt::Horizontal, this);
  TrackBar->setRange(0, 255);
  TrackBar->setPageStep(16);
  TrackBar->setTickPosition(QSlider::TicksBelow);
  TrackBar->setTickInterval(16);
  TrackBar->setMinimumWidth(TrackBarWidth);
  TrackBar->setValue(InitialThreshold);
  TrackBar->setToolTip(QString::number(InitialThreshold));
  Layout->addWidget(TrackBar);
  connect(TrackBar, &QSlider::valueChanged, this, &TOCRResultForm::TrackBarChange);
  // While dragging, the position follows the handle as a tool tip.
  connect(TrackBar, &QSlider::sliderMoved, this,
          [this](int Position) { QToolTip::showText(QCursor::pos(), QString::number(Position), TrackBar); });

  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch();
  btnOK = new QPushButton(QStringLiteral("확인"), this);
  btnCancel = new QPushButton(QStringLiteral("취소"), this);
  btnOK->setDefault(true);
  Buttons->addWidget(btnOK);
  Buttons->addWidget(btnCancel);
  Layout->addLayout(Buttons);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  resize(sizeHint().expandedTo(QSize(DesignClientWidth, DesignClientHeight)));
  if (const QScreen* Screen = screen())
    move(Screen->availableGeometry().center() - rect().center());
}

TOCRResultForm::~TOCRResultForm() = default;

int TOCRResultForm::OCRThreshold() const { return TrackBar->value(); }

void TOCRResultForm::SetOCRThreshold(int Threshold) { TrackBar->setValue(Threshold); }

void TOCRResultForm::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (Event->spontaneous())
    return;
  // The preview is black and white from the start, not only after a move.
  if (FImage)
    TrackBarChange();
  TrackBar->setFocus();
}

void TOCRResultForm::TrackBarChange() {
  TrackBar->setToolTip(QString::number(TrackBar->value()));
  if (!FImage)
    return;
  QImage Preview = FImage->copy();
  TImageProcessor::BinarizeWithGlobalThreshold(Preview, uint8_t(TrackBar->value()), false);
  ImgOCR->setPixmap(QPixmap::fromImage(Preview));
  ImgOCR->resize(Preview.size());
}
