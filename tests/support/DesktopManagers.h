#pragma once

// Include after Qt: Xlib's macros clash with Qt's names.

#include "platform/Platform.h"

#include <QProcess>
#include <QTest>

#include <X11/Xlib.h>
#include <gtest/gtest.h>

#include <string>

// A root window property's atom is set (a window manager's check window, a
// compositing manager's selection owner).
inline bool RootHasProperty(Display* Dpy, const char* Name) {
  const Atom Property = XInternAtom(Dpy, Name, True);
  if (Property == 0)
    return false;
  int Count = 0;
  Atom* Properties = XListProperties(Dpy, DefaultRootWindow(Dpy), &Count);
  bool Found = false;
  for (int I = 0; I < Count; ++I)
    Found = Found || Properties[I] == Property;
  if (Properties)
    XFree(Properties);
  return Found;
}

// Starts what Setup names on the test's X server ("openbox", "xcompmgr";
// anything else: nothing) in Manager, and returns once it works.
inline ::testing::AssertionResult StartDesktopManager(const std::string& Setup, QProcess& Manager, Display* Dpy,
                                                      TPlatform& Desktop) {
  if (Setup == "openbox") {
    Manager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!Manager.waitForStarted(5000))
      return ::testing::AssertionFailure() << "openbox did not start";
    if (!QTest::qWaitFor([Dpy] { return RootHasProperty(Dpy, "_NET_SUPPORTING_WM_CHECK"); }, 10000))
      return ::testing::AssertionFailure() << "openbox did not take the screen";
  } else if (Setup == "xcompmgr") {
    Manager.start(QStringLiteral("xcompmgr"), {});
    if (!Manager.waitForStarted(5000))
      return ::testing::AssertionFailure() << "xcompmgr did not start";
    if (!QTest::qWaitFor([&Desktop] { return Desktop.IsCompositing(); }, 10000))
      return ::testing::AssertionFailure() << "xcompmgr does not composite";
  }
  return ::testing::AssertionSuccess();
}
