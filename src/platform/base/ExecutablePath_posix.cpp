// SPDX-License-Identifier: MIT
#include "ExecutablePath.h"
#include "Paths.h"

#include <QFile>
#include <limits.h>
#include <unistd.h>

namespace {
QString& OverridePath() {
    static QString path;
    return path;
}
} // namespace

QString ExecutableFilePath() {
    if (!OverridePath().isEmpty())
        return OverridePath();
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return QFile::decodeName(QByteArray(buffer, n));
}

QString ExecutableFolder() {
    return FolderOf(ExecutableFilePath());
}

QString ExecutableBaseName() {
    const QString path = ExecutableFilePath();
    QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    return name;
}

void SetExecutableFilePathForTesting(const QString& Path) {
    OverridePath() = Path;
}
