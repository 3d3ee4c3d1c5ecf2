#include "platform/Monitors.h"
#include "platform/fake/FakePlatform.h"

#include <gtest/gtest.h>

namespace {

// Two side-by-side monitors of different heights, the right one primary.
const std::vector<TRect> TwoMonitors = {{1920, 0, 3840, 1080}, {0, 120, 1920, 1080}};

TEST(Monitors, TheMonitorUnderAPointIsTheOneHoldingItElseTheNearest) {
  const struct {
    QPoint Point;
    TRect Expected;
  } Cases[] = {
      {{100, 500}, TwoMonitors[1]},                                // inside the left one
      {{1919, 500}, TwoMonitors[1]},                               // its last column
      {{1920, 500}, TwoMonitors[0]},                               // the right one's first column
      {{3839, 1079}, TwoMonitors[0]}, {{100, 50}, TwoMonitors[1]}, // above the shorter left one: still nearest
      {{1900, 10}, TwoMonitors[0]},                                // in that gap but nearer the right one
      {{5000, 500}, TwoMonitors[0]},  {{-50, 500}, TwoMonitors[1]},
  };
  for (const auto& Case : Cases)
    EXPECT_EQ(MonitorAt(TwoMonitors, Case.Point), Case.Expected) << Case.Point.x() << "," << Case.Point.y();
}

TEST(Monitors, TheWorkAreaOfAMonitorIsTheDesktopsCutToIt) {
  TFakePlatform Fake;
  Fake.MonitorRects = TwoMonitors;
  Fake.WorkAreaRect = {0, 30, 3840, 1080}; // a panel along the top of the desktop
  EXPECT_EQ(WorkAreaOn(Fake, TwoMonitors[0]), (TRect{1920, 30, 3840, 1080}));
  EXPECT_EQ(WorkAreaOn(Fake, TwoMonitors[1]), (TRect{0, 120, 1920, 1080}));
  // A work area that misses the monitor altogether leaves the whole monitor.
  Fake.WorkAreaRect = {0, 0, 1000, 1000};
  EXPECT_EQ(WorkAreaOn(Fake, TwoMonitors[0]), TwoMonitors[0]);
  EXPECT_EQ(DesktopRect(Fake), (TRect{0, 0, 3840, 1080}));
}

TEST(Monitors, OneMonitorIsTheScreen) {
  TFakePlatform Fake;
  EXPECT_EQ(MonitorAt(Fake, {5000, 5000}), (TRect{0, 0, 1920, 1080}));
  EXPECT_EQ(WorkAreaOn(Fake, MonitorAt(Fake, {10, 10})), Fake.WorkAreaRect);
  EXPECT_EQ(DesktopRect(Fake), (TRect{0, 0, 1920, 1080}));
}

} // namespace
