#include "app/WaylandNotice.h"
#include "settings/ConfigIni.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QProcessEnvironment Environment(const QString& Name, const QString& Value) {
  QProcessEnvironment Result;
  Result.insert(Name, Value);
  return Result;
}

QMessageBox* ShownNotice() {
  for (QWidget* Window : QApplication::topLevelWidgets())
    if (auto* Box = qobject_cast<QMessageBox*>(Window); Box && Box->isVisible())
      return Box;
  return nullptr;
}

TEST(WaylandNotice, RecognisesAWaylandSessionByEitherVariable) {
  EXPECT_TRUE(IsWaylandSession(Environment("XDG_SESSION_TYPE", "wayland")));
  EXPECT_TRUE(IsWaylandSession(Environment("WAYLAND_DISPLAY", "wayland-0")));
  EXPECT_FALSE(IsWaylandSession(Environment("XDG_SESSION_TYPE", "x11")));
  EXPECT_FALSE(IsWaylandSession(Environment("WAYLAND_DISPLAY", "")));
}

TEST(WaylandNotice, IsShownOnceWithoutHoldingAnythingUpAndNeverOnX11) {
  QTemporaryDir Dir;
  TConfigIni Settings(Dir.filePath("Config.ini"));
  QWidget Main;
  ShowWaylandNoticeOnce(&Main, Settings, Environment("XDG_SESSION_TYPE", "x11"));
  EXPECT_EQ(ShownNotice(), nullptr);

  ShowWaylandNoticeOnce(&Main, Settings, Environment("XDG_SESSION_TYPE", "wayland"));
  QMessageBox* Box = ShownNotice();
  ASSERT_NE(Box, nullptr);
  EXPECT_FALSE(Box->isModal()) << "the notice must not block the program";
  EXPECT_TRUE(Box->informativeText().contains("korvex --command select-translate"));
  EXPECT_TRUE(Settings.Read(Settings::WaylandNotice)) << "not read yet";

  Box->button(QMessageBox::Ok)->click();
  ASSERT_TRUE(QTest::qWaitFor([] { return ShownNotice() == nullptr; }, 2000));
  EXPECT_FALSE(TConfigIni(Dir.filePath("Config.ini")).Read(Settings::WaylandNotice));

  ShowWaylandNoticeOnce(&Main, Settings, Environment("XDG_SESSION_TYPE", "wayland"));
  EXPECT_EQ(ShownNotice(), nullptr) << "shown a second time";
}

} // namespace
