#pragma once

#include <QMenu>
#include <QObject>
#include <QPropertyNotifier>
#include <QSystemTrayIcon>
#include <QTimer>

class QAction;
class TFormOCR;
class TRemoteCommands;

// Korvex's icon in the desktop's system tray. Its menu offers the commands
// of `korvex --command`, run through the same table (so a command the table
// lacks is shown disabled), then the main window, the settings and quit. The
// tool tip says whether automatic translation runs. A click on the icon
// brings the main window up. The tray is only a shortcut: closing the main
// window still ends Korvex.
class TTrayIcon : public QObject {
  Q_OBJECT

public:
  // Form and Commands must outlive the icon.
  TTrayIcon(TFormOCR& Form, TRemoteCommands& Commands);

  // Shows the icon once the desktop has a tray: at once when it has one now,
  // else as soon as a panel with a tray starts (sessions start programs and
  // panels in no fixed order).
  void ShowWhenTrayExists();

  QSystemTrayIcon& Icon() { return FIcon; }
  QMenu& Menu() { return FMenu; }
  // The entry of the command of that name, null for another name.
  QAction* CommandEntry(const QString& Name) const;
  QAction* ShowMainWindowEntry() const { return FShowMainWindow; }

private:
  void AddCommandEntry(const QString& Name, const QString& Caption, const QIcon& Image);
  void EnableCommandEntries();
  void UpdateToolTip();
  void ShowMainWindow();

  TFormOCR& FForm;
  TRemoteCommands& FCommands;
  QMenu FMenu;
  QSystemTrayIcon FIcon;
  QAction* FShowMainWindow = nullptr;
  QTimer FTrayWatch;
  QPropertyNotifier FAutoTranslationWatch;
};
