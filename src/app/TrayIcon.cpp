#include "app/TrayIcon.h"

#include "app/RemoteCommands.h"
#include "app/ToolImages.h"
#include "app/UnitFormOCR.h"

namespace {
// How often to look again for a tray the desktop did not have at start.
constexpr int TrayWatchIntervalMs = 3000;
} // namespace

TTrayIcon::TTrayIcon(TFormOCR& Form, TRemoteCommands& Commands)
    : FForm(Form), FCommands(Commands), FIcon(ApplicationIcon()) {
  // The names are those of `korvex --command`; the captions those of the
  // hotkeys in the settings dialog.
  AddCommandEntry(QStringLiteral("select-translate"), QStringLiteral("선택 후 번역"), ToolImage(4));
  AddCommandEntry(QStringLiteral("translate"), QStringLiteral("번역"), ToolImage(2));
  AddCommandEntry(QStringLiteral("auto-translate"), QStringLiteral("자동 번역"), ToolImage(1));
  AddCommandEntry(QStringLiteral("full-screen"), QStringLiteral("전체화면 번역"), ToolImage(5));
  AddCommandEntry(QStringLiteral("mouse-translate"), QStringLiteral("마우스 번역"), QIcon());
  FMenu.addSeparator();
  FShowMainWindow = FMenu.addAction(QStringLiteral("메인 창 보기"), this, &TTrayIcon::ShowMainWindow);
  // The main window's own actions, so they run exactly as from its menu
  // and are offered exactly when it offers them.
  FMenu.addAction(FForm.ActSetup);
  FMenu.addSeparator();
  FMenu.addAction(FForm.ActClose);
  connect(&FMenu, &QMenu::aboutToShow, this, &TTrayIcon::EnableCommandEntries);
  EnableCommandEntries();
  FIcon.setContextMenu(&FMenu);

  connect(&FIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason Reason) {
    if (Reason == QSystemTrayIcon::Trigger || Reason == QSystemTrayIcon::DoubleClick)
      ShowMainWindow();
  });

  FAutoTranslationWatch = FForm.TimerAction.bindableActive().addNotifier([this] { UpdateToolTip(); });
  UpdateToolTip();

  FTrayWatch.setInterval(TrayWatchIntervalMs);
  connect(&FTrayWatch, &QTimer::timeout, this, &TTrayIcon::ShowWhenTrayExists);
}

void TTrayIcon::ShowWhenTrayExists() {
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    FTrayWatch.stop();
    FIcon.show();
  } else if (!FTrayWatch.isActive()) {
    FTrayWatch.start();
  }
}

QAction* TTrayIcon::CommandEntry(const QString& Name) const {
  for (QAction* Entry : FMenu.actions())
    if (Entry->data().toString() == Name)
      return Entry;
  return nullptr;
}

void TTrayIcon::AddCommandEntry(const QString& Name, const QString& Caption, const QIcon& Image) {
  QAction* Entry = FMenu.addAction(Image, Caption);
  Entry->setData(Name);
  connect(Entry, &QAction::triggered, this, [this, Name] { FCommands.Run(Name); });
}

void TTrayIcon::EnableCommandEntries() {
  for (QAction* Entry : FMenu.actions())
    if (const QString Name = Entry->data().toString(); !Name.isEmpty())
      Entry->setEnabled(FCommands.HasCommand(Name));
}

void TTrayIcon::UpdateToolTip() {
  const QString State =
      FForm.TimerAction.isActive() ? QStringLiteral("자동 번역 중") : QStringLiteral("자동 번역 꺼짐");
  FIcon.setToolTip(QStringLiteral("%1\n%2").arg(ApplicationTitle, State));
}

void TTrayIcon::ShowMainWindow() {
  FForm.showNormal();
  FForm.raise();
  FForm.activateWindow();
}
