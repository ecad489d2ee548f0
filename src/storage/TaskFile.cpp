// SPDX-License-Identifier: MIT
#include "TaskFile.h"

#include "CodePage.h"
#include "Errors.h"
#include "Files.h"
#include "IntegerText.h"
#include "SafeFile.h"
#include "TaskTracker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <sys/stat.h>

namespace {
constexpr char Utf8Mark[] = "\xEF\xBB\xBF";
constexpr int MaxSetAsideCopies = 1000;

bool PathExistsNoFollow(const QString& Path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(Path).constData(), &st) == 0;
}

// Writes Text and CR LF at Out, which has room for three bytes per UTF-16 unit plus two.
char* PutLine(char* Out, const QString& Text) {
    const QChar* c = Text.constData();
    const QChar* end = c + Text.size();
    // Nearly every caption is ASCII: copy it straight into the buffer, eight units at a time
    // where the processor can (a save of a long list is mostly this loop).
#ifdef __SSE2__
    const __m128i nonAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
    for (; end - c >= 8; c += 8, Out += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
        const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(units, nonAscii), _mm_setzero_si128());
        if (_mm_movemask_epi8(ascii) != 0xFFFF)
            break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(Out), _mm_packus_epi16(units, units));
    }
#endif
    while (c != end && c->unicode() < 0x80)
        *Out++ = static_cast<char>((c++)->unicode());
    if (c != end) {
        const QByteArray rest = EncodeAnsi(QString(c, end - c));
        Out = std::copy(rest.begin(), rest.end(), Out);
    }
    *Out++ = '\r';
    *Out++ = '\n';
    return Out;
}

[[noreturn]] void RaiseEncodingError(const QString& Path, const QString& Encoding) {
    throw EAppError(QStringLiteral("Cannot read file \"%1\". It is not valid %2 text").arg(Path, Encoding));
}

// Strict UTF-16: an odd length or an unpaired surrogate would not survive the next save.
bool DecodeUtf16(QByteArrayView Bytes, bool BigEndian, QString& Text) {
    if (Bytes.size() % 2 != 0)
        return false;
    Text.resize(Bytes.size() / 2);
    const auto* p = reinterpret_cast<const unsigned char*>(Bytes.data());
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const unsigned first = p[2 * i], second = p[2 * i + 1];
        Text[i] = QChar(static_cast<char16_t>(BigEndian ? (first << 8 | second) : (second << 8 | first)));
    }
    for (qsizetype i = 0; i < Text.size(); ++i) {
        if (Text.at(i).isHighSurrogate() && i + 1 < Text.size() && Text.at(i + 1).isLowSurrogate())
            ++i;
        else if (Text.at(i).isSurrogate())
            return false;
    }
    return true;
}

QString DecodeTaskFile(const QByteArray& Bytes, const QString& Path) {
    const QByteArrayView view(Bytes);
    QString text;
    if (Bytes.startsWith(Utf8Mark)) {
        if (!IsValidUtf8(Bytes.mid(3)))
            RaiseEncodingError(Path, QStringLiteral("UTF-8"));
        return QString::fromUtf8(view.sliced(3));
    }
    if (Bytes.startsWith(QByteArrayView("\xFF\xFE\0\0", 4)))
        RaiseEncodingError(Path, QStringLiteral("UTF-16")); // a UTF-32 file
    if (Bytes.startsWith("\xFF\xFE") || Bytes.startsWith("\xFE\xFF")) {
        if (!DecodeUtf16(view.sliced(2), Bytes.startsWith("\xFE\xFF"), text))
            RaiseEncodingError(Path, QStringLiteral("UTF-16"));
        return text;
    }
    return DecodeAnsi(Bytes);
}

void AddRow(TTaskTracker& Tracker, const QList<QStringView>& Lines, qsizetype First) {
    TTaskRow& row = Tracker.AppendTask(Lines.at(First).toString());
    if (First + 2 >= Lines.size())
        throw EAppError(QStringLiteral("List index out of bounds (2)"));
    const QStringView timeLine = Lines.at(First + 2);
    std::uint32_t elapsed = 0;
    if (!TryStrToUInt32(timeLine, elapsed))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(timeLine));
    Tracker.SetElapsedMs(row, elapsed);
}

// The lines of Text up to its first NUL, as views into Text: a long list is read without a
// string of its own for every line.
QList<QStringView> LineViews(QStringView Text, bool* CutAtNul) {
    QList<QStringView> lines;
    if (CutAtNul)
        *CutAtNul = false;
    qsizetype start = 0;
    qsizetype i = 0;
    const qsizetype n = Text.size();
    for (; i < n; ++i) {
        const QChar c = Text.at(i);
        if (c == QChar(0)) {
            if (CutAtNul)
                *CutAtNul = true;
            break;
        }
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(Text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < n && Text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (i > start)
        lines.append(Text.sliced(start, i - start));
    return lines;
}

QList<QStringView> TaskFileLineViews(QStringView Text, bool* NulInsideRows) {
    bool cut = false;
    QList<QStringView> lines = LineViews(Text, &cut);
    if (NulInsideRows)
        *NulInsideRows = false;
    if (!cut)
        return lines;
    // NULs padding the file after its last line break lose nothing; a NUL anywhere else cuts
    // a row short and hides every row after it.
    const qsizetype nul = Text.indexOf(QChar(0));
    const bool breaksLine = nul > 0 && Text.at(nul - 1) != u'\r' && Text.at(nul - 1) != u'\n';
    bool inside = breaksLine;
    for (qsizetype i = nul; i < Text.size() && !inside; ++i)
        inside = Text.at(i) != QChar(0);
    if (breaksLine)
        lines.removeLast(); // the line the NUL broke
    if (NulInsideRows)
        *NulInsideRows = inside;
    return lines;
}

QStringList ToStrings(const QList<QStringView>& Views) {
    QStringList strings;
    strings.reserve(Views.size());
    for (QStringView view : Views)
        strings.append(view.toString());
    return strings;
}
} // namespace

QByteArray TaskFileBytes(const TTaskTracker& Tracker) {
    // One pass over the rows into a buffer grown as it fills: the save runs every second, and
    // the rows of a long list are far apart in memory.
    QByteArray out(3 + static_cast<qsizetype>(Tracker.Count()) * 64, Qt::Uninitialized);
    char* p = out.data();
    if (AnsiCodePageIsUtf8)
        p = std::copy(Utf8Mark, Utf8Mark + 3, p);
    for (int i = 0; i < Tracker.Count(); ++i) {
        const TTaskRow& row = Tracker.Row(i);
        // The worst case of a row: three bytes per UTF-16 unit, two line ends, ten digits.
        const qsizetype room = 3 * (row.Caption().size() + row.TimeText().size()) + 16;
        if (out.size() - (p - out.data()) < room) {
            const qsizetype used = p - out.data();
            out.resize(std::max(2 * out.size(), used + room));
            p = out.data() + used;
        }
        p = PutLine(p, row.Caption());
        p = PutLine(p, row.TimeText());
        p = std::to_chars(p, p + 10, row.Clock().ElapsedMs).ptr;
        *p++ = '\r';
        *p++ = '\n';
    }
    out.truncate(p - out.data());
    return out;
}

void SaveTasks(const TTaskTracker& Tracker, const QString& Path) {
    ReplaceFileAtomically(Path, TaskFileBytes(Tracker));
}

QStringList SplitTaskFileLines(QStringView Text, bool* CutAtNul) {
    return ToStrings(LineViews(Text, CutAtNul));
}

QStringList TaskFileLines(const QByteArray& Bytes, const QString& Path, bool* NulInsideRows) {
    return ToStrings(TaskFileLineViews(DecodeTaskFile(Bytes, Path), NulInsideRows));
}

bool TryStrToUInt32(QStringView Text, std::uint32_t& Value) {
    const std::optional<TIntegerText> scanned = ScanIntegerText(Text, 8, 0xFFFFFFFFull);
    if (!scanned || scanned->Negative)
        return false;
    Value = static_cast<std::uint32_t>(scanned->Magnitude);
    return true;
}

void LoadTasksFromBytes(TTaskTracker& Tracker, const QByteArray& Bytes, const QString& Path) {
    bool nulInsideRows = false;
    const QString text = DecodeTaskFile(Bytes, Path);
    const QList<QStringView> lines = TaskFileLineViews(text, &nulInsideRows);
    // Of a file cut by a NUL only the whole rows before it are loaded.
    const qsizetype end = nulInsideRows ? lines.size() - lines.size() % 3 : lines.size();
    for (qsizetype first = 0; first < end; first += 3)
        AddRow(Tracker, lines, first);
    if (nulInsideRows)
        throw EAppError(
            QStringLiteral("Cannot read file \"%1\". It holds a NUL character within its rows").arg(Path));
}

void LoadTasks(TTaskTracker& Tracker, const QString& Path, TStoredTasks* Stored) {
    if (Stored)
        *Stored = TStoredTasks::Unread;
    // A FIFO, a device or an oversized file raises here, before any byte could be kept.
    const QByteArray bytes = ReadFileBytes(Path, MaxTaskFileBytes);
    try {
        LoadTasksFromBytes(Tracker, bytes, Path);
    } catch (...) {
        const bool kept = !SetFileAside(Path, bytes).isEmpty();
        if (Stored)
            *Stored = kept ? TStoredTasks::KeptAside : TStoredTasks::Unread;
        throw;
    }
    if (Stored)
        *Stored = TStoredTasks::Loaded;
}

TLinkRule PrepareTaskFileSave(const QString& Path, TStoredTasks& Stored) {
    if (Stored == TStoredTasks::Unread) {
        struct stat st {};
        if (::lstat(QFile::encodeName(Path).constData(), &st) == 0) {
            QString aside = Path + QStringLiteral(".unread");
            for (int n = 1; !RenameNoReplace(Path, aside); ++n) {
                if (n >= MaxSetAsideCopies || !PathExistsNoFollow(aside))
                    throw EFileError(
                        QStringLiteral("Cannot create file \"%1\". The unread task file is in the way.")
                            .arg(aside));
                aside = Path + QStringLiteral(".unread.") + QString::number(n);
            }
        }
        Stored = TStoredTasks::KeptAside;
    }
    // A link whose content never loaded is replaced, never the file it points to: that could
    // be any document of the user's, or a system file when run as root.
    return Stored == TStoredTasks::Loaded ? TLinkRule::Follow : TLinkRule::Replace;
}

void SaveTasks(const TTaskTracker& Tracker, const QString& Path, TStoredTasks& Stored) {
    SaveTaskFileBytes(TaskFileBytes(Tracker), Path, Stored);
}

void SaveTaskFileBytes(const QByteArray& Bytes, const QString& Path, TStoredTasks& Stored) {
    const TLinkRule links = PrepareTaskFileSave(Path, Stored);
    ReplaceFileAtomically(Path, Bytes, links);
}

QStringList SetAsideTaskLists(const QString& Path) {
    const QFileInfo file(Path);
    const QString name = file.fileName();
    const QStringList candidates =
        file.dir().entryList({name + QStringLiteral(".bak*"), name + QStringLiteral(".unread*")},
                             QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    static const QRegularExpression copyName(QStringLiteral("^\\.(bak|unread)(\\.[0-9]+)?$"));
    QStringList copies;
    for (const QString& candidate : candidates)
        if (copyName.match(QStringView(candidate).sliced(name.size())).hasMatch())
            copies.append(file.dir().filePath(candidate));
    return copies;
}
