// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// The lookup rule of the settings file, on its bytes: section and key names match without
// regard to letter case, the first matching section and the first matching key in it win,
// blanks around the value and one pair of enclosing quotes are removed and the value is cut
// to MaxIniValueLength characters. A leading UTF-8 byte-order mark is skipped; lines end in
// LF or CR LF. std::nullopt when the section or the key is missing.
inline constexpr qsizetype MaxIniValueLength = 2047;
std::optional<QString> IniLookup(const QByteArray& Content, const QString& Section, const QString& Ident);

// The write rule, on the file's bytes: the value of an existing key is replaced in place, a
// missing key is added after the last non-blank line of its section, a missing section is
// appended at the end. Every other byte stays as it is (byte-order mark and line ends
// included); the lines added end in CR LF.
QByteArray IniAssign(const QByteArray& Content, const QString& Section, const QString& Ident,
                     const QString& Value);

// A settings file larger than this is not read: it reads as empty, so the defaults apply, and
// a write refuses to replace it (its lines beyond the cap could not be kept).
inline constexpr qint64 MaxSettingsFileBytes = 1024 * 1024;

// An INI file read and written the way the settings have always been stored. Every read
// looks at the file: it is read again whenever its size, times, inode or device differ from
// the last read (and always while it was changed within the last two seconds, finer than
// the file system's time stamps can tell), so a change by hand counts at the next read
// while an unchanged file costs one stat. Every write replaces the file atomically at once.
class TIniFile final {
public:
    explicit TIniFile(QString FileName);

    const QString& FileName() const { return FFileName; }

    // Default when the file, the section or the key is missing or the file cannot be read.
    QString ReadString(const QString& Section, const QString& Ident, const QString& Default) const;
    // A value of more than two characters starting with "0x" (any case) is read as "$" hex;
    // Default when the text is not an integer (TryStrToInt).
    std::int32_t ReadInteger(const QString& Section, const QString& Ident, std::int32_t Default) const;
    // Read as an integer (1 for true, 0 for false as the default); 0 is false, anything else true.
    bool ReadBool(const QString& Section, const QString& Ident, bool Default) const;

    // Raise EFileError "Unable to write to %s" with the file name when the file cannot be
    // replaced (followed by the reason when the file is too large); the old file then stays.
    void WriteString(const QString& Section, const QString& Ident, const QString& Value);
    void WriteInteger(const QString& Section, const QString& Ident, std::int32_t Value);
    void WriteBool(const QString& Section, const QString& Ident, bool Value);

    // How many times a value was read from the file; lets tests see that a check that needs
    // no setting reads nothing.
    std::uint64_t ReadCount() const { return FReadCount; }

private:
    // What the file held at the last read, and how it looked then.
    struct TSnapshot {
        std::uint64_t Device = 0, Inode = 0;
        std::int64_t Size = -1, ModifiedNs = 0, ChangedNs = 0;
        QByteArray Content;
    };
    std::optional<QByteArray> Content() const;

    QString FFileName;
    mutable std::uint64_t FReadCount = 0;
    mutable std::optional<TSnapshot> FSnapshot;
};
