// SPDX-License-Identifier: MIT
#include "IniFile.h"

#include "Errors.h"
#include "FileHandle.h"
#include "IntegerText.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {
constexpr char Bom[] = "\xEF\xBB\xBF";
constexpr qsizetype BomLength = 3;
const QByteArray CrLf = QByteArrayLiteral("\r\n");

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// One line of the file: [Begin, End) is its text, Next the start of the following line.
struct TLine {
    qsizetype Begin;
    qsizetype End;
    qsizetype Next;
};

qsizetype ContentStart(const QByteArray& Content) {
    return Content.startsWith(Bom) ? BomLength : 0;
}

std::vector<TLine> SplitLines(const QByteArray& Content) {
    std::vector<TLine> lines;
    // Sized once: a file of many short lines would otherwise grow the list many times.
    lines.reserve(static_cast<std::size_t>(Content.count('\n')) + 1);
    qsizetype pos = ContentStart(Content);
    while (pos < Content.size()) {
        qsizetype lf = Content.indexOf('\n', pos);
        const qsizetype next = lf < 0 ? Content.size() : lf + 1;
        qsizetype end = lf < 0 ? Content.size() : lf;
        if (end > pos && Content.at(end - 1) == '\r')
            --end;
        lines.push_back({pos, end, next});
        pos = next;
    }
    return lines;
}

std::pair<qsizetype, qsizetype> Trimmed(const QByteArray& Content, qsizetype Begin, qsizetype End) {
    while (Begin < End && IsBlank(Content.at(Begin)))
        ++Begin;
    while (End > Begin && IsBlank(Content.at(End - 1)))
        --End;
    return {Begin, End};
}

QString Text(const QByteArray& Content, std::pair<qsizetype, qsizetype> Range) {
    return QString::fromUtf8(Content.constData() + Range.first, Range.second - Range.first);
}

bool SameName(const QString& A, const QString& B) {
    return A.compare(B, Qt::CaseInsensitive) == 0;
}

// The name of a "[name]" line, std::nullopt for any other line.
std::optional<QString> SectionName(const QByteArray& Content, const TLine& Line) {
    const auto [begin, end] = Trimmed(Content, Line.Begin, Line.End);
    if (begin >= end || Content.at(begin) != '[')
        return std::nullopt;
    const qsizetype close = Content.indexOf(']', begin + 1);
    if (close < 0 || close >= end)
        return std::nullopt;
    return Text(Content, Trimmed(Content, begin + 1, close));
}

// Position of the "=" of a "key=value" line whose key is Ident, or -1.
qsizetype KeyEquals(const QByteArray& Content, const TLine& Line, const QString& Ident) {
    const qsizetype eq = Content.indexOf('=', Line.Begin);
    if (eq < 0 || eq >= Line.End)
        return -1;
    return SameName(Text(Content, Trimmed(Content, Line.Begin, eq)), Ident) ? eq : -1;
}

// Index of the first line of the first section named Section (its header), or -1.
qsizetype FindSection(const QByteArray& Content, const std::vector<TLine>& Lines, const QString& Section) {
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        const auto name = SectionName(Content, Lines[i]);
        if (name && SameName(*name, Section))
            return static_cast<qsizetype>(i);
    }
    return -1;
}

// One line past the last line of the section whose header is at Header.
std::size_t SectionEnd(const QByteArray& Content, const std::vector<TLine>& Lines, std::size_t Header) {
    std::size_t i = Header + 1;
    while (i < Lines.size() && !SectionName(Content, Lines[i]))
        ++i;
    return i;
}

QString Unquoted(const QString& Value) {
    if (Value.size() >= 2 && (Value.front() == u'"' || Value.front() == u'\'') &&
        Value.back() == Value.front())
        return Value.mid(1, Value.size() - 2);
    return Value;
}

// The line break that ends an unterminated last line before a line is added after it. A lone CR
// there already counts as the line's end when the file is read, so it only needs its LF: a second
// CR would become part of that line's value.
QByteArray LineBreakBefore(const QByteArray& Content, qsizetype Pos) {
    if (Pos <= ContentStart(Content) || Content.at(Pos - 1) == '\n')
        return {};
    return Content.at(Pos - 1) == '\r' ? QByteArrayLiteral("\n") : CrLf;
}

// Adds Line (with CR LF) at Pos; a line that ended the file without a line break gets one first.
QByteArray InsertLine(const QByteArray& Content, qsizetype Pos, const QByteArray& Line) {
    QByteArray added = LineBreakBefore(Content, Pos);
    added += Line + CrLf;
    QByteArray result = Content;
    result.insert(Pos, added);
    return result;
}

// The whole file, std::nullopt when it is missing, not a regular file, larger than
// MaxSettingsFileBytes (TooLarge is then set) or cannot be read.
std::optional<QByteArray> ReadBytes(const QByteArray& Path, bool* TooLarge = nullptr) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    TFileHandle fd(::open(Path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    bool tooLarge = st.st_size > MaxSettingsFileBytes;
    QByteArray data;
    const bool read =
        !tooLarge && ReadFully(fd.Get(), [&data, &tooLarge](const char* Data, std::size_t Size) {
            // It may grow while being read.
            tooLarge = data.size() + static_cast<qint64>(Size) > MaxSettingsFileBytes;
            if (!tooLarge)
                data.append(Data, static_cast<qsizetype>(Size));
            return !tooLarge;
        });
    if (TooLarge)
        *TooLarge = tooLarge;
    if (!read)
        return std::nullopt;
    return data;
}

// Marked read-only: no write permission for anyone. Refused also when running as root,
// which the permission check of the system would let through.
bool ReadOnly(const struct stat& St) {
    return (St.st_mode & 0222) == 0;
}

// Reason: why the file was refused, when there is more to say than that it could not be written.
bool WriteValue(const QString& FileName, const QString& Section, const QString& Ident, const QString& Value,
                QString& Reason) {
    const QFileInfo link(FileName);
    // A link is followed, so the file it names is replaced rather than the link itself.
    QString target = link.absoluteFilePath();
    if (link.isSymLink())
        target = link.exists() ? link.canonicalFilePath() : link.symLinkTarget();
    const QByteArray path = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    struct stat dirSt {};
    if (::stat(folder.constData(), &dirSt) != 0 || !S_ISDIR(dirSt.st_mode) || ReadOnly(dirSt))
        return false;
    struct stat st {};
    QByteArray content;
    const bool exists = ::lstat(path.constData(), &st) == 0;
    if (exists) {
        if (!S_ISREG(st.st_mode) || ReadOnly(st))
            return false;
        // Unreadable lines could not be kept, so such a file is not replaced, nor one too
        // large to read: cutting it would lose what lies beyond the cap.
        bool tooLarge = false;
        const auto old = ReadBytes(path, &tooLarge);
        if (tooLarge)
            Reason = QStringLiteral("It is larger than %1 bytes").arg(MaxSettingsFileBytes);
        if (!old)
            return false;
        content = *old;
    } else if (errno != ENOENT) {
        return false;
    }
    try {
        ReplaceFileAtomically(target, IniAssign(content, Section, Ident, Value));
    } catch (const EFileError&) {
        return false;
    }
    return true;
}
} // namespace

std::optional<QString> IniLookup(const QByteArray& Content, const QString& Section, const QString& Ident) {
    const std::vector<TLine> lines = SplitLines(Content);
    const qsizetype header = FindSection(Content, lines, Section);
    if (header < 0)
        return std::nullopt;
    const std::size_t end = SectionEnd(Content, lines, static_cast<std::size_t>(header));
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < end; ++i) {
        const qsizetype eq = KeyEquals(Content, lines[i], Ident);
        if (eq >= 0)
            return Unquoted(Text(Content, Trimmed(Content, eq + 1, lines[i].End))).left(MaxIniValueLength);
    }
    return std::nullopt;
}

QByteArray IniAssign(const QByteArray& Content, const QString& Section, const QString& Ident,
                     const QString& Value) {
    const QByteArray keyLine = Ident.toUtf8() + '=' + Value.toUtf8();
    const std::vector<TLine> lines = SplitLines(Content);
    const qsizetype header = FindSection(Content, lines, Section);
    if (header < 0) {
        const QByteArray result = Content + LineBreakBefore(Content, Content.size());
        return result + '[' + Section.toUtf8() + ']' + CrLf + keyLine + CrLf;
    }
    const auto first = static_cast<std::size_t>(header);
    const std::size_t end = SectionEnd(Content, lines, first);
    std::size_t last = first;
    for (std::size_t i = first + 1; i < end; ++i) {
        const qsizetype eq = KeyEquals(Content, lines[i], Ident);
        if (eq >= 0) {
            qsizetype valueBegin = eq + 1;
            while (valueBegin < lines[i].End && IsBlank(Content.at(valueBegin)))
                ++valueBegin;
            QByteArray result = Content;
            result.replace(valueBegin, lines[i].End - valueBegin, Value.toUtf8());
            return result;
        }
        if (Trimmed(Content, lines[i].Begin, lines[i].End).first < lines[i].End)
            last = i;
    }
    return InsertLine(Content, lines[last].Next, keyLine);
}

TIniFile::TIniFile(QString FileName) : FFileName(std::move(FileName)) {}

namespace {
std::int64_t Nanoseconds(const struct timespec& Time) {
    return static_cast<std::int64_t>(Time.tv_sec) * 1'000'000'000 + Time.tv_nsec;
}
} // namespace

std::optional<QByteArray> TIniFile::Content() const {
    const QByteArray path = QFile::encodeName(FFileName);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        FSnapshot.reset();
        return std::nullopt;
    }
    const TSnapshot seen{static_cast<std::uint64_t>(st.st_dev),
                         static_cast<std::uint64_t>(st.st_ino),
                         static_cast<std::int64_t>(st.st_size),
                         Nanoseconds(st.st_mtim),
                         Nanoseconds(st.st_ctim),
                         {}};
    const auto same = [&seen](const TSnapshot& Old) {
        return Old.Device == seen.Device && Old.Inode == seen.Inode && Old.Size == seen.Size &&
               Old.ModifiedNs == seen.ModifiedNs && Old.ChangedNs == seen.ChangedNs;
    };
    // Time stamps are coarser than the writes they stamp: a file changed this recently might
    // change again with the same stamps, so it is read again until it has been quiet a while.
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    constexpr std::int64_t QuietNs = 2'000'000'000;
    const bool settled = Nanoseconds(now) - std::max(seen.ModifiedNs, seen.ChangedNs) > QuietNs;
    if (settled && FSnapshot && same(*FSnapshot))
        return FSnapshot->Content;
    FSnapshot.reset();
    const auto content = ReadBytes(path);
    if (content && settled) {
        FSnapshot = seen;
        FSnapshot->Content = *content;
    }
    return content;
}

QString TIniFile::ReadString(const QString& Section, const QString& Ident, const QString& Default) const {
    ++FReadCount;
    const auto content = Content();
    if (!content)
        return Default;
    return IniLookup(*content, Section, Ident).value_or(Default);
}

std::int32_t TIniFile::ReadInteger(const QString& Section, const QString& Ident, std::int32_t Default) const {
    QString text = ReadString(Section, Ident, QString());
    if (text.size() > 2 && text.at(0) == u'0' && (text.at(1) == u'x' || text.at(1) == u'X'))
        text = u'$' + text.mid(2);
    std::int32_t value = 0;
    return TryStrToInt(text, value) ? value : Default;
}

bool TIniFile::ReadBool(const QString& Section, const QString& Ident, bool Default) const {
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& Section, const QString& Ident, const QString& Value) {
    QString reason;
    if (!WriteValue(FFileName, Section, Ident, Value, reason))
        throw EFileError(reason.isEmpty()
                             ? QStringLiteral("Unable to write to %1").arg(FFileName)
                             : QStringLiteral("Unable to write to %1. %2").arg(FFileName, reason));
}

void TIniFile::WriteInteger(const QString& Section, const QString& Ident, std::int32_t Value) {
    WriteString(Section, Ident, QString::number(Value));
}

void TIniFile::WriteBool(const QString& Section, const QString& Ident, bool Value) {
    WriteString(Section, Ident, Value ? QStringLiteral("1") : QStringLiteral("0"));
}
