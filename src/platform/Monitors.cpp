#include "platform/Monitors.h"

#include "platform/Platform.h"

#include <algorithm>
#include <limits>

namespace {

// Squared distance from Point to the nearest pixel of R.
int64_t DistanceSquared(const TRect& R, QPoint Point) {
  const int64_t Dx = Point.x() < R.Left ? R.Left - Point.x() : Point.x() >= R.Right ? Point.x() - (R.Right - 1) : 0;
  const int64_t Dy = Point.y() < R.Top ? R.Top - Point.y() : Point.y() >= R.Bottom ? Point.y() - (R.Bottom - 1) : 0;
  return Dx * Dx + Dy * Dy;
}

} // namespace

TRect MonitorAt(const std::vector<TRect>& Monitors, QPoint Point) {
  TRect Best = Monitors.front();
  int64_t BestDistance = std::numeric_limits<int64_t>::max();
  for (const TRect& Monitor : Monitors) {
    const int64_t Distance = DistanceSquared(Monitor, Point);
    if (Distance < BestDistance) {
      Best = Monitor;
      BestDistance = Distance;
    }
  }
  return Best;
}

TRect MonitorAt(TPlatform& Platform, QPoint Point) { return MonitorAt(Platform.Monitors(), Point); }

TRect WorkAreaOn(TPlatform& Platform, const TRect& Monitor) {
  const TRect WorkArea = Platform.WorkArea();
  const TRect Cut{std::max(WorkArea.Left, Monitor.Left), std::max(WorkArea.Top, Monitor.Top),
                  std::min(WorkArea.Right, Monitor.Right), std::min(WorkArea.Bottom, Monitor.Bottom)};
  return Cut.IsEmpty() ? Monitor : Cut;
}

TRect DesktopRect(TPlatform& Platform) {
  const std::vector<TRect> Monitors = Platform.Monitors();
  TRect Desktop = Monitors.front();
  for (const TRect& Monitor : Monitors)
    Desktop = United(Desktop, Monitor);
  return Desktop;
}
