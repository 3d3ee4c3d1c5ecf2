#include "app/Application.h"
#include "app/OCRResultForm.h"
#include "app/SetupForm.h"
#include "settings/ConfigIni.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

// Both dialogs on a real X server with the fonts of this machine: nothing
// clipped, nothing overlapping, Tab walking the controls in reading order.
// KORVEX_SCREENSHOT_DIR, when set, receives a picture of each.

namespace {

// The controls a user reads or operates, each as a whole: no containers,
// nothing inside a composite control.
std::vector<QWidget*> Controls(QWidget* Dialog) {
  std::vector<QWidget*> Found;
  for (QWidget* Child : Dialog->findChildren<QWidget*>()) {
    if (!Child->isVisibleTo(Dialog))
      continue;
    const bool Control = qobject_cast<QLabel*>(Child) || qobject_cast<QAbstractButton*>(Child) ||
                         qobject_cast<QComboBox*>(Child) || qobject_cast<QLineEdit*>(Child) ||
                         qobject_cast<QAbstractSpinBox*>(Child) || qobject_cast<QSlider*>(Child) ||
                         qobject_cast<TColorSwatch*>(Child) || qobject_cast<QAbstractScrollArea*>(Child);
    if (!Control)
      continue;
    bool Inner = false; // a part of a composite: a spin box's editor, the preview inside its scroll area
    for (QWidget* Up = Child->parentWidget(); Up && Up != Dialog; Up = Up->parentWidget())
      Inner = Inner || qobject_cast<QComboBox*>(Up) || qobject_cast<QAbstractSpinBox*>(Up) ||
              qobject_cast<QAbstractScrollArea*>(Up);
    if (!Inner)
      Found.push_back(Child);
  }
  return Found;
}

QRect InDialog(QWidget* Control, QWidget* Dialog) {
  return QRect(Control->mapTo(Dialog, QPoint(0, 0)), Control->size());
}

std::string Name(QWidget* Control) {
  QString Text;
  if (auto* Label = qobject_cast<QLabel*>(Control))
    Text = Label->text();
  else if (auto* Button = qobject_cast<QAbstractButton*>(Control))
    Text = Button->text();
  return (QString::fromLatin1(Control->metaObject()->className()) + " '" + Text + "'").toStdString();
}

void ExpectNothingClippedOrOverlapping(QWidget* Dialog) {
  const std::vector<QWidget*> All = Controls(Dialog);
  ASSERT_GT(All.size(), 5u);
  for (QWidget* Control : All) {
    const QRect Box = InDialog(Control, Dialog);
    EXPECT_TRUE(Dialog->rect().contains(Box)) << Name(Control);
    // Every control at least as large as it needs to show its text whole.
    const QSize Needed = Control->minimumSizeHint().expandedTo(
        qobject_cast<QAbstractButton*>(Control) || qobject_cast<QLabel*>(Control) ? Control->sizeHint() : QSize());
    EXPECT_GE(Control->width(), Needed.width()) << Name(Control);
    EXPECT_GE(Control->height(), Needed.height()) << Name(Control);
    if (auto* Group = qobject_cast<QGroupBox*>(Control->parentWidget())) {
      EXPECT_TRUE(Group->contentsRect().contains(QRect(Control->pos(), Control->size()))) << Name(Control);
    }
  }
  for (size_t I = 0; I < All.size(); ++I)
    for (size_t J = I + 1; J < All.size(); ++J)
      EXPECT_FALSE(InDialog(All[I], Dialog).intersects(InDialog(All[J], Dialog)))
          << Name(All[I]) << " overlaps " << Name(All[J]);
  for (QGroupBox* Group : Dialog->findChildren<QGroupBox*>()) {
    const QFontMetrics Metrics(Group->font());
    EXPECT_GE(Group->width(), Metrics.horizontalAdvance(Group->title())) << Group->title().toStdString();
  }
}

// Tab from the first control on: each next one lies further right on the
// same row, or on a row below, until the walk comes back.
void ExpectTabOrderInReadingOrder(QWidget* Dialog, QWidget* First) {
  std::vector<QWidget*> Walk{First};
  for (QWidget* Next = First->nextInFocusChain(); Next != First && Walk.size() < 100; Next = Next->nextInFocusChain())
    if (Next->isVisibleTo(Dialog) && Next->isEnabled() && (Next->focusPolicy() & Qt::TabFocus) &&
        Next->window() == Dialog && !Next->focusProxy())
      Walk.push_back(Next);
  ASSERT_GT(Walk.size(), 1u);
  for (size_t I = 1; I < Walk.size(); ++I) {
    const QRect A = InDialog(Walk[I - 1], Dialog), B = InDialog(Walk[I], Dialog);
    const bool SameRow = std::abs(A.center().y() - B.center().y()) <= 8;
    EXPECT_TRUE(SameRow ? B.left() > A.left() : B.center().y() > A.center().y())
        << Name(Walk[I - 1]) << " -> " << Name(Walk[I]);
  }
}

void Screenshot(QWidget* Dialog, const QString& File) {
  const QString Folder = qEnvironmentVariable("KORVEX_SCREENSHOT_DIR");
  if (Folder.isEmpty())
    return;
  // What the X server shows, frame included when a window manager draws one.
  const QImage Shot = Dialog->screen()->grabWindow(0).toImage().copy(Dialog->frameGeometry());
  EXPECT_TRUE(Shot.save(QDir(Folder).filePath(File)));
}

void ShowAndSettle(QWidget* Dialog) {
  Dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Dialog));
  QTest::qWait(200); // the first paint after exposure
}

TEST(DialogsX11, SettingsDialogFitsItsKoreanCaptions) {
  QTemporaryDir Dir;
  TConfigIni Ini(Dir.filePath(QStringLiteral("Config.ini")));
  TFormSetup Dialog(Ini, {QStringLiteral("English (United States)"), QStringLiteral("한국어 (대한민국)")});
  ShowAndSettle(&Dialog);
  EXPECT_GE(Dialog.width(), 619);
  EXPECT_GE(Dialog.height(), 468);
  // Centred on the screen.
  const QRect Screen = Dialog.screen()->availableGeometry();
  EXPECT_LE(std::abs(Dialog.geometry().center().x() - Screen.center().x()), 2);
  ExpectNothingClippedOrOverlapping(&Dialog);
  ExpectTabOrderInReadingOrder(&Dialog, Dialog.ledServer);
  Screenshot(&Dialog, QStringLiteral("setup-dialog.png"));
}

TEST(DialogsX11, PreprocessingDialogFitsItsTextAndSample) {
  QImage Sample(700, 60, QImage::Format_RGB32);
  Sample.fill(QColor(200, 210, 220));
  {
    QPainter Painter(&Sample);
    Painter.setPen(QColor(40, 40, 60));
    QFont Font(QStringLiteral("DejaVu Sans"));
    Font.setPixelSize(30);
    Painter.setFont(Font);
    Painter.drawText(10, 42, QStringLiteral("Recognise this line of text"));
  }
  TOCRResultForm Dialog;
  Dialog.FImage = &Sample;
  Dialog.SetOCRThreshold(150);
  ShowAndSettle(&Dialog);
  EXPECT_GE(Dialog.width(), 1072);
  EXPECT_EQ(Dialog.focusWidget(), Dialog.TrackBar); // the focus it gets once the window is active
  ExpectNothingClippedOrOverlapping(&Dialog);
  ExpectTabOrderInReadingOrder(&Dialog, Dialog.TrackBar);
  Screenshot(&Dialog, QStringLiteral("preprocessing-dialog.png"));
}

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  TApplication App(argc, argv);
  InstallFontSubstitutes(); // as the program does
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
