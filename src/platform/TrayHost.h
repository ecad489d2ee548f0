#pragma once

// Whether the session's tray is a StatusNotifierItem host: a watcher on the session bus that
// reports a host registered. That is the test Qt makes once, when the first tray icon is
// created, to choose between a StatusNotifierItem and an XEmbed tray icon.
bool StatusNotifierHostRegistered();
