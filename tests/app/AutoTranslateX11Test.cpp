#include "app/UnitFormOCR.h"
#include "overlay/TranslateForm.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"
#include "text/LoopbackServer.h"

#include <QAction>
#include <QGuiApplication>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/DesktopTools.h"
#include "support/TestRuntime.h"

// Automatic translation end to end on a private X server: real screen
// copies, real Tesseract, a loopback translation server, and a window of the
// test whose text changes under the watched area.

namespace {

class AutoTranslateX11 : public ::testing::Test {
protected:
  void SetUp() override {
    QString Error;
    Desktop = CreateX11Platform(&Error);
    ASSERT_TRUE(Desktop) << Error.toStdString();
    {
      TConfigIni Ini(Runtime.IniPath());
      Ini.WriteString("Translation", "Server", Server.Url());
      Ini.WriteString("Translation", "AutoInterval", "300");
    }
    Text.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Text));
    TMessageBoxAnswerer User;
    Form = std::make_unique<TFormOCR>(Runtime.Path(), *Desktop);
    ASSERT_FALSE(Form->StartFailed()) << User.Texts().join('\n').toStdString();
    Form->mnuTextLine->setChecked(true);
    // The overlay away from the area: this test is about change detection,
    // not about how the overlay keeps out of its own captures.
    Form->mnuEqualArea->setChecked(false);
    Form->FTranslateForm->setGeometry(100, 700, 900, 200);
    Form->move(1400, 800);
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    QObject::connect(&Form->TimerAction, &QTimer::timeout, [this] { ++Ticks; });
  }
  void TearDown() override {
    Form.reset();
    Desktop.reset();
  }

  QString Shown() const {
    QStringList Texts;
    for (const TIteratorResult& Record : Form->Pipeline().TargetList())
      Texts << Record.Text;
    return Texts.join('\n');
  }

  TLoopbackServer Server{[](const httplib::Request& Request, httplib::Response& Response) {
    const auto Original = nlohmann::json::parse(Request.body).at("q").get<std::string>();
    Response.set_content(nlohmann::json{{"translated_text", "번역:" + Original}}.dump(), "application/json");
  }};
  TTestRuntimeFolder Runtime;
  std::unique_ptr<TPlatform> Desktop;
  TLargeTextWindow Text{QRect(100, 100, 900, 160), {{QPoint(40, 90), QStringLiteral("Good morning, dear friends.")}}};
  std::unique_ptr<TFormOCR> Form;
  int Ticks = 0;
};

TEST_F(AutoTranslateX11, TranslatesAgainWhenTheTextChangesAndOnlyThen) {
  // The area of the text window, translated once, then watched from the menu.
  Form->Pipeline().SetSelectedRect({100, 100, 1000, 260});
  Form->ActTranslate->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Idle(); }, 60000));
  ASSERT_TRUE(Shown().contains(QStringLiteral("번역:Good morning"))) << Shown().toStdString();
  ASSERT_TRUE(Form->FTranslateForm->isVisible());
  Form->mnuAutoTranslate->trigger();
  ASSERT_TRUE(Form->TimerAction.isActive());

  // Unchanged: ten ticks, nothing sent.
  const size_t Requests = Server.Requests().size();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ticks >= 10; }, 60000));
  EXPECT_EQ(Server.Requests().size(), Requests);
  EXPECT_TRUE(Shown().contains(QStringLiteral("번역:Good morning")));

  // The text under the area changes: shown within two ticks.
  Text.Lines[0].second = QStringLiteral("Close the window now.");
  Text.repaint();
  QGuiApplication::sync();
  const int TicksAtChange = Ticks;
  int TicksWhenShown = -1;
  const auto Watch = QObject::connect(&Form->TimerAction, &QTimer::timeout, [&] {
    if (TicksWhenShown < 0 && Shown().contains(QStringLiteral("번역:Close the window")))
      TicksWhenShown = Ticks;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return TicksWhenShown >= 0; }, 60000)) << Shown().toStdString();
  QObject::disconnect(Watch);
  EXPECT_LE(TicksWhenShown - TicksAtChange, 2);
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
  EXPECT_GT(Server.Requests().size(), Requests);
}

} // namespace
