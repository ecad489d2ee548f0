// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// Starting with the session is each user's choice: `--autostart=on` writes an entry into the
// user's XDG autostart folder that starts this executable hidden, `--autostart=off` removes it,
// and `--autostart` alone prints "on" or "off". Nothing goes into /etc/xdg/autostart, where it
// would start for every account.

// $XDG_CONFIG_HOME/autostart/tallyvox.desktop ($HOME/.config when the variable is unset or
// not an absolute path).
QString AutostartEntryPath();

// The entry that starts Executable hidden, with only its tray icon.
QByteArray AutostartEntry(const QString& Executable);

// Whether the entry at Path starts the program: it exists and the desktop has not hidden it.
bool AutostartEnabled(const QString& Path);

// Runs --autostart when Arguments (the program's name first) hold it, and returns the exit
// code; nothing when they do not.
std::optional<int> RunAutostartOption(const QStringList& Arguments);
