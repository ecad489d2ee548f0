// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QImage>

// The program's clock, drawn at run time: a nearly black round face with light marks at
// 12, 3, 6 and 9 o'clock and white hands; the idle variant is the same clock in a dimmed
// mid grey. Transparent background, 32-bit with alpha.
QImage DrawClockImage(int Size, bool Active);

// The tray icon's images: index 0 while a task is active, 1 while none is.
QIcon TrayIconImage(int ImageIndex);

// The application icon at 16, 24, 32, 48 and 256 pixels.
QIcon ApplicationIcon();
