#include "Paths.h"

#include <QFile>

QByteArray NativePath(const QString& Path) {
    return QFile::encodeName(Path);
}

QString FolderOf(const QString& Path) {
    const qsizetype slash = Path.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : Path.left(slash);
}
