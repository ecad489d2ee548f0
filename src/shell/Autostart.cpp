// SPDX-License-Identifier: MIT
#include "Autostart.h"

#include "ConsoleOutput.h"
#include "Errors.h"
#include "ExecutablePath.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {
const QString OptionName = QStringLiteral("--autostart");

// One argument of an Exec line: quoted when it holds a reserved character, then escaped
// once more for the key file's string rules.
QString ExecArgument(const QString& Argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool plain = !Argument.isEmpty();
    for (const QChar c : Argument)
        plain = plain && !reserved.contains(c);
    if (plain)
        return Argument;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : Argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    return quoted.replace(u'\\', QStringLiteral("\\\\"));
}

void Switch(bool On) {
    const QString path = AutostartEntryPath();
    if (On) {
        if (!QDir().mkpath(QFileInfo(path).path()))
            throw EFileError(QStringLiteral("Cannot create folder \"%1\".").arg(QFileInfo(path).path()));
        ReplaceFileAtomically(path, AutostartEntry(ExecutableFilePath()));
    } else if (QFileInfo(path).exists() && !QFile::remove(path)) {
        throw EFileError(QStringLiteral("Cannot delete file \"%1\".").arg(path));
    }
}
} // namespace

QString AutostartEntryPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/tallyvox.desktop");
}

QByteArray AutostartEntry(const QString& Executable) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.0\n"
                          "Name=Tallyvox\n"
                          "GenericName=Time Tracker\n"
                          "Comment=Start the time tracker hidden in the system tray\n"
                          "Exec=env TALLYVOX_START_HIDDEN=1 %1\n"
                          "Icon=tallyvox\n"
                          "Terminal=false\n"
                          "NoDisplay=true\n"
                          "StartupNotify=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(ExecArgument(Executable))
        .toUtf8();
}

bool AutostartEnabled(const QString& Path) {
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A desktop's own switch for an entry: Hidden=true, or GNOME's enabled key set to false.
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed == "Hidden=true" || trimmed == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

std::optional<int> RunAutostartOption(const QStringList& Arguments) {
    qsizetype found = -1;
    for (qsizetype i = 1; i < Arguments.size(); ++i)
        if (Arguments[i] == OptionName || Arguments[i].startsWith(OptionName + u'='))
            found = i;
    if (found < 0)
        return std::nullopt;
    // "--autostart=on" or "--autostart on"; alone, it asks.
    const bool separate = found == 1 && Arguments.size() == 3 && Arguments[1] == OptionName;
    if (Arguments.size() != 2 && !separate)
        return FailUsage(QStringLiteral("--autostart goes alone."));
    const QString value = separate ? Arguments[2] : Arguments[found].mid(OptionName.size() + 1);
    if (Arguments[found] == OptionName && !separate) {
        Write(stdout, AutostartEnabled(AutostartEntryPath()) ? QByteArray("on\n") : QByteArray("off\n"));
        return 0;
    }
    if (value != QStringLiteral("on") && value != QStringLiteral("off"))
        return FailUsage(QStringLiteral("Unknown autostart value '%1': use on or off.").arg(value));
    try {
        Switch(value == QStringLiteral("on"));
    } catch (const std::exception& e) {
        return Fail(ErrorMessage(e), 1);
    }
    return 0;
}
