#include "app/HotKeyCommands.h"

#include "app/Controller.h"

#include <array>

namespace {

// A hotkey runs its command directly: unlike the tool buttons, the select,
// translate and full-screen commands leave automatic translation running.
const std::array<TFormCommand, 5> Commands{{
    {"select-translate", "select an area, then translate it", Settings::HotKey1, "OCRHotkey1",
     [](TController& Controller, std::function<void()> Done) { Controller.SelectAreaAndTranslate(std::move(Done)); }},
    {"translate", "translate the selected area again", Settings::HotKey2, "OCRHotkey2",
     [](TController& Controller, std::function<void()> Done) {
       Controller.CaptureAndTranslate(false, std::move(Done));
     }},
    {"auto-translate", "switch automatic translation on (after a selection) or off", Settings::HotKey3, "OCRHotkey3",
     [](TController& Controller, std::function<void()> Done) { Controller.ActAutoTranslateExecute(std::move(Done)); }},
    {"full-screen", "translate the whole screen", Settings::HotKey4, "OCRHotkey4",
     [](TController& Controller, std::function<void()> Done) { Controller.SelectFullScreen(std::move(Done)); }},
    {"mouse-translate", "translate the paragraph under the mouse pointer", Settings::HotKey5, "OCRHotkey5",
     [](TController& Controller, std::function<void()> Done) { Controller.MouseTranslate(std::move(Done)); }},
}};

} // namespace

std::span<const TFormCommand> FormCommands() { return Commands; }

const TFormCommand* FindFormCommand(const QString& Name) {
  for (const TFormCommand& Command : Commands)
    if (Name == QLatin1String(Command.Name))
      return &Command;
  return nullptr;
}
