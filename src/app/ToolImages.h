#pragma once

#include <QIcon>

constexpr int ToolImageSize = 48;

// The six tool-button pictures: 0 stop, 1 automatic translation,
// 2 translate, 3 settings, 4 select and translate, 5 full screen.
QIcon ToolImage(int Index);

// Korvex's own icon (the window icon, the tray icon): the desktop's icon
// theme's "korvex" where one is installed, else the same picture built in.
QIcon ApplicationIcon();
