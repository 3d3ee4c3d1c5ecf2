#include "app/TrayIcon.h"
#include "app/RemoteCommands.h"
#include "app/UnitFormOCR.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

#include "support/DesktopTools.h"
#include "support/TestRuntime.h"

namespace {

// Clicks Button of the real pointer at a point of the screen.
void ClickAt(const QPoint& Point, int Button) {
  ASSERT_EQ(RunTool("xdotool", {"mousemove", QString::number(Point.x()), QString::number(Point.y()), "sleep", "0.1",
                                "click", QString::number(Button)}),
            0);
}

// The main window with the tray icon on a private X server, and a tray
// host (trayer, a small panel that holds tray icons) started by the test.
class TrayIcon : public ::testing::Test {
protected:
  void SetUp() override {
    if (!Desktop) {
      QString Error;
      Desktop = CreateX11Platform(&Error);
      ASSERT_TRUE(Desktop) << Error.toStdString();
    }
    Form = std::make_unique<TFormOCR>(Runtime.Path(), *Desktop);
    ASSERT_FALSE(Form->StartFailed());
    for (const char* Name : {"select-translate", "translate", "full-screen"})
      Commands.AddCommand(Name, [this, Name] { Ran << Name; });
    Tray = std::make_unique<TTrayIcon>(*Form, Commands);
  }

  void TearDown() override {
    Tray.reset();
    Form.reset();
    if (TrayHost.state() != QProcess::NotRunning) {
      TrayHost.terminate();
      TrayHost.waitForFinished(5000);
    }
  }

  void StartTrayHost() {
    TrayHost.start("trayer", {"--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "32",
                              "--SetDockType", "false", "--transparent", "false"});
    ASSERT_TRUE(TrayHost.waitForStarted(5000)) << "trayer is missing (scripts/setup installs it)";
    ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 20000));
  }

  // True once the icon sits in the tray at the bottom of the screen, so the
  // pointer can reach it (before that it stands at 0,0 on its own).
  bool IconEmbedded() {
    const QRect Place = Tray->Icon().geometry();
    return Tray->Icon().isVisible() && Place.isValid() &&
           Place.bottom() >= QGuiApplication::primaryScreen()->geometry().bottom() - 40;
  }

  // Clicks the icon as the user does until Done holds. The tray host may
  // still move a fresh icon while it lays out its panel, and the user, too,
  // then clicks again.
  void ClickIconUntil(int Button, const std::function<bool()>& Done) {
    ASSERT_TRUE(QTest::qWaitFor([this] { return IconEmbedded(); }, 20000));
    bool Happened = false;
    for (int Attempt = 0; Attempt < 5 && !Happened; ++Attempt) {
      ClickAt(Tray->Icon().geometry().center(), Button);
      Happened = QTest::qWaitFor(Done, 2000);
    }
    ASSERT_TRUE(Happened);
  }

  // Opens the icon's menu: a right click on the icon.
  void OpenMenuFromTheIcon() {
    ClickIconUntil(3, [this] { return Tray->Menu().isVisible(); });
  }

  void ClickEntry(QAction* Entry) {
    QMenu& Menu = Tray->Menu();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Menu));
    QTest::mouseClick(&Menu, Qt::LeftButton, {}, Menu.actionGeometry(Entry).center());
  }

  static inline std::unique_ptr<TPlatform> Desktop;
  TTestRuntimeFolder Runtime;
  std::unique_ptr<TFormOCR> Form;
  TRemoteCommands Commands;
  std::unique_ptr<TTrayIcon> Tray;
  QStringList Ran;
  QProcess TrayHost;
};

TEST_F(TrayIcon, AppearsWhenATrayStartsAfterKorvex) {
  Tray->ShowWhenTrayExists();
  ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
  EXPECT_FALSE(Tray->Icon().isVisible());
  StartTrayHost();
  EXPECT_TRUE(QTest::qWaitFor([this] { return IconEmbedded(); }, 20000));
}

TEST_F(TrayIcon, EveryCommandRunsThroughTheCommandTable) {
  StartTrayHost();
  Tray->ShowWhenTrayExists();
  OpenMenuFromTheIcon();
  ClickEntry(Tray->CommandEntry("translate"));
  EXPECT_TRUE(QTest::qWaitFor([this] { return Ran == QStringList{"translate"}; }, 5000)) << Ran.join(' ').toStdString();
  EXPECT_FALSE(Tray->Menu().isVisible());

  // A name the table does not serve is offered disabled, and enabled once
  // it does.
  Tray->Menu().popup(QPoint(200, 200));
  EXPECT_FALSE(Tray->CommandEntry("mouse-translate")->isEnabled());
  Tray->Menu().hide();
  Commands.AddCommand("auto-translate", [this] { Ran << "auto-translate"; });
  Commands.AddCommand("mouse-translate", [this] { Ran << "mouse-translate"; });

  Ran.clear();
  const QStringList Names = {"select-translate", "translate", "auto-translate", "full-screen", "mouse-translate"};
  for (const QString& Name : Names) {
    Tray->Menu().popup(QPoint(200, 200));
    QAction* Entry = Tray->CommandEntry(Name);
    ASSERT_TRUE(Entry) << Name.toStdString();
    EXPECT_TRUE(Entry->isEnabled()) << Name.toStdString();
    ClickEntry(Entry);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Ran.size() == Names.indexOf(Name) + 1; }, 5000)) << Name.toStdString();
  }
  EXPECT_EQ(Ran, Names);
}

TEST_F(TrayIcon, ToolTipSaysWhetherAutomaticTranslationRuns) {
  EXPECT_TRUE(Tray->Icon().toolTip().contains("자동 번역 꺼짐")) << Tray->Icon().toolTip().toStdString();
  Form->TimerAction.start(60000);
  EXPECT_TRUE(Tray->Icon().toolTip().contains("자동 번역 중")) << Tray->Icon().toolTip().toStdString();
  Form->TimerAction.stop();
  EXPECT_TRUE(Tray->Icon().toolTip().contains("자동 번역 꺼짐")) << Tray->Icon().toolTip().toStdString();
}

TEST_F(TrayIcon, ClickOnTheIconBringsTheMainWindowBack) {
  StartTrayHost();
  Tray->ShowWhenTrayExists();
  ASSERT_TRUE(QTest::qWaitFor([this] { return IconEmbedded(); }, 20000));
  Form->showMinimized();
  ClickIconUntil(1, [this] { return Form->isVisible() && !Form->isMinimized(); });
  EXPECT_TRUE(QTest::qWaitForWindowExposed(Form.get()));

  Form->hide();
  OpenMenuFromTheIcon();
  ClickEntry(Tray->ShowMainWindowEntry());
  EXPECT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
}

TEST_F(TrayIcon, SettingsAndQuitAreTheMainWindowsOwnActions) {
  StartTrayHost();
  Tray->ShowWhenTrayExists();
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));

  // Offered exactly when the main window offers them.
  Form->ActSetup->setEnabled(true);
  QSignalSpy Setup(Form->ActSetup, &QAction::triggered);
  // The user cancels the settings dialog that opens.
  QTimer User;
  QObject::connect(&User, &QTimer::timeout, [] {
    if (auto* Dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
      Dialog->reject();
  });
  User.start(10);
  OpenMenuFromTheIcon();
  ClickEntry(Form->ActSetup);
  EXPECT_EQ(Setup.count(), 1);
  User.stop();

  // Quit closes the main window, which stores its settings as any close does.
  OpenMenuFromTheIcon();
  ClickEntry(Form->ActClose);
  EXPECT_TRUE(QTest::qWaitFor([this] { return !Form->isVisible(); }, 5000));
  EXPECT_EQ(TConfigIni(Runtime.IniPath()).ReadString("OCR", "Engine", ""), "Tesseract");
}

} // namespace
