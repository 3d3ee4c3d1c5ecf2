#pragma once

#include "core/GlobalTypes.h"

#include <QPoint>

#include <vector>

class TPlatform;

// The monitor under Point: the one that holds it, else the nearest one.
// Monitors must not be empty.
TRect MonitorAt(const std::vector<TRect>& Monitors, QPoint Point);
// The same for the platform's monitors; mouse translation and full-screen
// translation work on the monitor under the pointer.
TRect MonitorAt(TPlatform& Platform, QPoint Point);

// The desktop's work area cut to Monitor: the part not covered by panels
// and docks; the whole monitor where they do not meet.
TRect WorkAreaOn(TPlatform& Platform, const TRect& Monitor);

// The smallest rectangle that holds every monitor.
TRect DesktopRect(TPlatform& Platform);
