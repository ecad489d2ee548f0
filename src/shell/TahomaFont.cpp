// SPDX-License-Identifier: MIT
#include "TahomaFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace {
const QString Family = QStringLiteral("Tahoma");

bool LoadTahoma() {
    if (QFontDatabase::families().contains(Family, Qt::CaseInsensitive))
        return true;
    // Only the regular face: the outlines of Wine's Tahoma Bold are hardly heavier than the
    // regular ones (its boldness is in bitmap strikes that antialiased text never uses), so at
    // menu sizes its bold reads as regular text. Without it, Qt thickens the regular face.
    return QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf")) >= 0;
}
} // namespace

QFont TahomaFont(int PixelSize) {
    static const bool Available = LoadTahoma();
    (void)Available;
    QFont font(Family);
    font.setPixelSize(PixelSize);
    return font;
}
