// The main window at the screen's DPI (tests/run-x11 --dpi N): fonts follow
// the DPI and every tool button is large enough for its icon and caption.

#include "app/UnitFormOCR.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFontInfo>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "support/TestRuntime.h"

namespace {

int SetupDpi() {
  const QRegularExpressionMatch Match =
      QRegularExpression("dpi=(\\d+)").match(qEnvironmentVariable("KORVEX_X11_SETUP"));
  return Match.hasMatch() ? Match.captured(1).toInt() : 96;
}

TEST(ToolPanelDpi, CaptionsAreWholeAndFontsFollowTheDpi) {
  QString Error;
  const std::unique_ptr<TPlatform> Desktop = CreateX11Platform(&Error);
  ASSERT_TRUE(Desktop) << Error.toStdString();
  TTestRuntimeFolder Runtime;
  TFormOCR Form(Runtime.Path(), *Desktop);
  Form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
  const int Dpi = SetupDpi();
  ASSERT_EQ(Form.logicalDpiY(), Dpi);

  const QList<QToolButton*> Buttons = Form.findChildren<QToolButton*>();
  ASSERT_GE(Buttons.size(), 5);
  int PanelWidth = 0;
  for (QToolButton* Button : Buttons) {
    if (!Button->isVisible())
      continue;
    SCOPED_TRACE(Button->text().toStdString());
    const QSize Needed = Button->sizeHint();
    EXPECT_GE(Button->width(), Needed.width()) << "the caption is cut short";
    EXPECT_GE(Button->height(), Needed.height());
    EXPECT_GE(Button->width(), Button->fontMetrics().horizontalAdvance(Button->text()));
    // 8 points at the screen's DPI.
    EXPECT_NEAR(QFontInfo(Button->font()).pixelSize(), 8.0 * Dpi / 72, 2.0);
    PanelWidth += Button->width();
  }
  EXPECT_GE(Form.width(), PanelWidth) << "the design width shows every button";
  if (const QString Folder = qEnvironmentVariable("KORVEX_SCREENSHOT_DIR"); !Folder.isEmpty())
    Form.grab().save(QDir(Folder).filePath(QStringLiteral("main-window-%1dpi.png").arg(Dpi)));
}

} // namespace
