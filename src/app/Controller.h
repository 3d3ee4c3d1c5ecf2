#pragma once

#include "app/CommandQueue.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>

class QWidget;
class TConfigIni;
class TPlatform;
class TTranslationPipeline;
struct TFormCommand;

// The command of one automatic translation; a tick arriving while the last
// one still runs is not queued twice.
inline constexpr char AutoTickCommand[] = "auto-tick";

// What the controller asks of the main window, which only shows.
class TControllerView {
public:
  virtual ~TControllerView() = default;
  // The automatic-translation button's picture: 1, or 0 (stop) while
  // automatic translation started by the button or hotkey runs.
  virtual void ShowAutoTranslateImage(int Index) = 0;
  // The menu's check mark of automatic translation.
  virtual void CheckAutoTranslateMenu(bool Checked) = 0;
  // The shown translation goes out of view.
  virtual void HideTranslationWindow() = 0;
  // The frame of the area just chosen stays in view for a second.
  virtual void KeepChosenAreaInView() = 0;
  // The main window goes below the others, so that a copy of the whole
  // screen sees what lies beneath it.
  virtual void LowerWindow() = 0;
  // A word to the user before what they asked for can be done.
  virtual void ShowNotice(const QString& Message) = 0;
  // A failure (the pipeline's, a command's).
  virtual void ShowError(const QString& Message) = 0;
};

// The controller of Korvex: the commands, one at a time through its queue,
// automatic and mouse translation, and the five global hotkeys. It drives
// the pipeline and tells the window what to show; it draws nothing itself.
// The settings store, the platform, the pipeline, the view and the window
// the hotkeys are registered for must outlive it.
class TController : public QObject {
  Q_OBJECT

public:
  using TDone = TCommandQueue::TDone;

  // Timer is the automatic-translation timer (its interval set by whoever
  // reads the settings); HotKeyWindow receives the hotkeys' events and
  // hands them to WMHotKey.
  TController(TConfigIni& Settings, TPlatform& Platform, TTranslationPipeline& Pipeline, TControllerView& View,
              QTimer& Timer, QWidget& HotKeyWindow);
  // Unregisters the hotkeys.
  ~TController() override;

  // Runs a command now, or once the command running and the data load have
  // ended (TCommandQueue). A selection waiting for the user, or an automatic
  // translation under way, ends when another command arrives. The first
  // form has ended when it returns; the second when it calls Done.
  void RunCommand(const QString& Name, std::function<void()> Command);
  void RunCommand(const QString& Name, TCommandQueue::TCommand Command);
  // A command of the table (HotKeyCommands) through the same queue.
  void RunFormCommand(const TFormCommand& Command);
  // True while no command runs or waits and the pipeline is idle.
  bool Idle() const;
  TCommandQueue& Commands() { return FCommands; }

  // The commands' work; Done runs once it has ended, on the GUI thread.
  void SelectArea(std::function<void(bool Chosen)> Done);
  void SelectAreaAndTranslate(TDone Done);
  void SelectFullScreen(TDone Done);
  void CaptureAndTranslate(bool ScreenDiff, TDone Done);
  void MouseTranslate(TDone Done);
  // Automatic translation on (after a selection) or off, as the hotkey
  // switches it.
  void ActAutoTranslateExecute(TDone Done);

  // What the tool buttons and menu items start.
  void ActSelectAreaExecute(TDone Done);
  void ActTranslateExecute(TDone Done);
  void ActSelectFullScreenExecute(TDone Done);
  void mnuSelectAreaClick(TDone Done);
  // The tool button: off at once, also during its own translation; on
  // through the queue, as one command among the others.
  void AutoTranslateButton();
  void mnuAutoTranslateClick(bool Checked);
  // The timer stops; what the button and menu show stays.
  void StopAutoTranslation();
  // Automatic translation ends with its translation under way and its
  // overlay.
  void EndAutoTranslation();
  int AutoTranslateImage() const { return FAutoTranslateImage; }
  void SetAutoTranslateImage(int Index);

  // A failure was shown while a command ran: the same command waiting to
  // run again would only wait as long for the same failure.
  void CommandFailed();

  // Global hotkeys: registered at creation, one per row of FormCommands().
  void WMHotKey(uint32_t Id);

private:
  // Shows Shape as the cursor of the whole program until the Done it
  // returns (which runs Done) has run.
  static TDone WithCursor(Qt::CursorShape Shape, TDone Done);
  void RegisterHotKeys();
  void UnregisterHotKeys();
  void TimerActionTimer();

  TConfigIni& FSettings;
  TPlatform& FPlatform;
  TTranslationPipeline& FPipeline;
  TControllerView& FView;
  QTimer& FTimer;
  QWidget& FHotKeyWindow;
  TCommandQueue FCommands;
  // FHotKey1 ... FHotKey5: the identifiers of the five hotkeys.
  std::array<uint32_t, 5> FHotKey{};
  int FAutoTranslateImage = 1;
};
