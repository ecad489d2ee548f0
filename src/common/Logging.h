// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// What the program chose at start and what failed quietly. All are off by default (only
// warnings pass); QT_LOGGING_RULES='tallyvox.*=true' switches them on.
Q_DECLARE_LOGGING_CATEGORY(lcIdle)   // tallyvox.idle: the idle source
Q_DECLARE_LOGGING_CATEGORY(lcHotKey) // tallyvox.hotkey: the hot-key backend and the portal's answers
Q_DECLARE_LOGGING_CATEGORY(lcTray)   // tallyvox.tray: the kind of tray host
Q_DECLARE_LOGGING_CATEGORY(lcSave)   // tallyvox.save: every failed save
