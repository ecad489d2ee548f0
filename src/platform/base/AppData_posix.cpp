// SPDX-License-Identifier: MIT
#include "AppData.h"

#include <QDir>
#include <QFile>
#include <pwd.h>
#include <unistd.h>

namespace {
QString HomeFolder() {
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty())
        return QFile::decodeName(home);
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return QFile::decodeName(QByteArray(entry->pw_dir));
    return QDir::rootPath();
}
} // namespace

QString AppDataFolder() {
    const QByteArray appData = qgetenv("APPDATA");
    if (!appData.isEmpty())
        return QFile::decodeName(appData);
    const QByteArray xdg = qgetenv("XDG_DATA_HOME");
    // Relative values are invalid for XDG variables and must be ignored.
    if (!xdg.isEmpty() && xdg.startsWith('/'))
        return QFile::decodeName(xdg);
    QString home = HomeFolder();
    if (home.endsWith(u'/'))
        home.chop(1);
    return home + QStringLiteral("/.local/share");
}
