// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>
#include <exception>
#include <utility>

// What the program chose at start and what failed quietly. All are off by default (only
// warnings pass); QT_LOGGING_RULES='tallyvox.*=true' switches them on.
Q_DECLARE_LOGGING_CATEGORY(lcIdle)   // tallyvox.idle: the idle source
Q_DECLARE_LOGGING_CATEGORY(lcHotKey) // tallyvox.hotkey: the hot-key backend and the portal's answers
Q_DECLARE_LOGGING_CATEGORY(lcTray)   // tallyvox.tray: the kind of tray host
Q_DECLARE_LOGGING_CATEGORY(lcSave)   // tallyvox.save: every failed save

// Runs a handler that must not take the program down with it (one called from an event of the
// channel or the hot keys): what escapes it is logged as "<What> failed" and dropped.
template <class TBody> void RunLoggingFailure(const char* What, TBody&& Body) {
    try {
        std::forward<TBody>(Body)();
    } catch (const std::exception& E) {
        qWarning("%s failed: %s", What, E.what());
    } catch (...) {
        qWarning("%s failed", What);
    }
}
