#include "TahomaFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace {
const QString Family = QStringLiteral("Tahoma");

bool LoadTahoma() {
    if (QFontDatabase::families().contains(Family, Qt::CaseInsensitive))
        return true;
    bool loaded = false;
    for (const QString& file : {QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"),
                                QStringLiteral("/usr/share/wine/fonts/tahomabd.ttf")})
        loaded = QFontDatabase::addApplicationFont(file) >= 0 || loaded;
    return loaded;
}
} // namespace

QFont TahomaFont(int PixelSize) {
    static const bool Available = LoadTahoma();
    (void)Available;
    QFont font(Family);
    font.setPixelSize(PixelSize);
    return font;
}
