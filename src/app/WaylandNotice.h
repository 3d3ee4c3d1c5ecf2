#pragma once

#include <QProcessEnvironment>

class QWidget;
class TConfigIni;

// A desktop session on Wayland, where Korvex runs through XWayland.
bool IsWaylandSession(const QProcessEnvironment& Environment);

// Under Wayland, tells the user once what works there and how to bind the
// `--command` names to the desktop's own shortcuts: a message beside Parent
// that does not hold anything up. Reading it to the end (OK or its close
// button) clears [General] WaylandNotice, so it is not shown again.
void ShowWaylandNoticeOnce(QWidget* Parent, TConfigIni& Settings,
                           const QProcessEnvironment& Environment = QProcessEnvironment::systemEnvironment());
