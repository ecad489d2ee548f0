// SPDX-License-Identifier: MIT
#include "Paths.h"

#include <QFile>

QByteArray NativePath(const QString& Path) {
    return QFile::encodeName(Path);
}

QString JoinPath(const QString& Folder, const QString& Name) {
    if (Folder.endsWith(u'/'))
        return Folder + Name;
    return Folder + u'/' + Name;
}

QString FolderOf(const QString& Path) {
    const qsizetype slash = Path.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : Path.left(slash);
}
