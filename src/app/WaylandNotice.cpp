#include "app/WaylandNotice.h"

#include "app/Application.h"
#include "app/UnitFormOCR.h"
#include "settings/ConfigIni.h"

#include <QMessageBox>

bool IsWaylandSession(const QProcessEnvironment& Environment) {
  return Environment.value(QStringLiteral("XDG_SESSION_TYPE")).compare(QLatin1String("wayland"), Qt::CaseInsensitive) ==
             0 ||
         !Environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
}

void ShowWaylandNoticeOnce(QWidget* Parent, TConfigIni& Settings, const QProcessEnvironment& Environment) {
  if (!IsWaylandSession(Environment) || !Settings.Read(Settings::WaylandNotice))
    return;
  auto* Box = new QMessageBox(QMessageBox::Information, ApplicationTitle,
                              QStringLiteral("Wayland 세션에서는 Korvex가 XWayland를 통해 동작합니다."),
                              QMessageBox::Ok, Parent);
  Box->setInformativeText(QStringLiteral(
      "화면 캡처에는 X11 창만 보이고 Wayland 창은 검게 나올 수 있습니다. 전역 단축키는 X11 창에 포커스가 "
      "있을 때만 동작합니다.\n\n"
      "영역 선택, 번역, 번역 창은 X11 창 위에서 그대로 동작합니다. 단축키는 데스크톱의 단축키 설정에서 "
      "다음 명령에 연결하세요:\n"
      "  korvex --command select-translate\n"
      "  korvex --command translate\n"
      "  korvex --command full-screen"));
  Box->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Box->setAttribute(Qt::WA_DeleteOnClose);
  Box->setWindowModality(Qt::NonModal);
  // Read to the end: OK, Escape or the close button. A program that ends
  // with the notice still open shows it again next time.
  QObject::connect(Box, &QMessageBox::finished, Box, [&Settings] {
    if (!TApplication::Quitting())
      Settings.Write(Settings::WaylandNotice, false);
  });
  Box->show();
}
