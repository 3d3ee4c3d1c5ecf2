#include "app/Controller.h"
#include "app/HotKeyCommands.h"
#include "app/HotKeys.h"

#include "platform/Platform.h"

#include "settings/ConfigIni.h"

#include <algorithm>
#include <cstdio>

// The global hotkeys: registration at creation, dispatch, removal.

namespace {

void Report(const QString& Line) { std::fprintf(stderr, "korvex: %s\n", qPrintable(Line)); }

} // namespace

void TController::RegisterHotKeys() {
  const auto Commands = FormCommands();
  static_assert(std::tuple_size_v<decltype(FHotKey)> == 5);
  for (size_t N = 0; N < Commands.size(); ++N)
    FHotKey[N] = FPlatform.GlobalAddAtom(QString::fromLatin1(Commands[N].AtomName));

  // The platform refuses silently; a user whose hotkey does nothing learns
  // why from one line each on standard error.
  std::array<THotKey, 5> Registered{};
  for (size_t N = 0; N < Commands.size(); ++N) {
    const QString Text = FSettings.Read(Commands[N].HotKey);
    const THotKey HotKey = StringToHotKey(Text);
    const QString Which = QStringLiteral("the hotkey \"%1\" of %2").arg(Text, QLatin1String(Commands[N].Name));
    switch (FPlatform.RegisterHotKey(&FHotKeyWindow, FHotKey[N], ShiftStateToModifiers(HotKey & ~THotKey(0xFF)),
                                     HotKey & 0xFF)) {
    case TPlatform::THotKeyResult::Registered: Registered[N] = HotKey; break;
    case TPlatform::THotKeyResult::UnknownKey:
      // An empty text is how a hotkey is switched off.
      if (!Text.trimmed().isEmpty())
        Report(Which + QStringLiteral(" names no key of this keyboard; it does nothing"));
      break;
    case TPlatform::THotKeyResult::Taken: {
      const auto Earlier = std::find(Registered.begin(), Registered.begin() + N, HotKey);
      if (Earlier != Registered.begin() + N)
        Report(Which + QStringLiteral(" is the hotkey of %1 already; it runs %1 only")
                           .arg(QLatin1String(Commands[size_t(Earlier - Registered.begin())].Name)));
      else
        Report(Which + QStringLiteral(" is taken by another program; it does nothing in this Korvex"));
      break;
    }
    case TPlatform::THotKeyResult::Unavailable:
      Report(QStringLiteral("global hotkeys are not available on this desktop; bind \"korvex --command NAME\" "
                            "to desktop shortcuts instead (korvex --help lists the names)"));
      return;
    }
  }
}

void TController::UnregisterHotKeys() {
  for (uint32_t Id : FHotKey)
    FPlatform.UnregisterHotKey(&FHotKeyWindow, Id);
}

void TController::WMHotKey(uint32_t Id) {
  const auto Commands = FormCommands();
  for (size_t N = 0; N < FHotKey.size(); ++N) {
    if (Id != 0 && FHotKey[N] == Id) {
      RunFormCommand(Commands[N]);
      return;
    }
  }
}
