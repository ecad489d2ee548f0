// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

class QObject;

// Whether the session's tray is a StatusNotifierItem host: a watcher on the session bus that
// reports a host registered. That is the test Qt makes once, when the first tray icon is
// created, to choose between a StatusNotifierItem and an XEmbed tray icon.
bool StatusNotifierHostRegistered();

// What the watcher said within a bounded time. NoAnswer: a watcher owns its name but does not
// answer; Qt's own test would then wait 25 s for it.
enum class TTrayWatcher { Host, NoHost, NoAnswer };
TTrayWatcher AskTrayWatcher();
// The same question without blocking; Done runs on Context's thread with the answer.
void AskTrayWatcherLater(QObject* Context, std::function<void(TTrayWatcher)> Done);
