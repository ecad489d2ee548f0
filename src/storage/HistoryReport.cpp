// SPDX-License-Identifier: MIT
#include "HistoryReport.h"

#include "Errors.h"
#include "History.h"
#include "Paths.h"

#include <QDateTime>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <sqlite3.h>
#include <vector>

namespace {
constexpr std::int64_t DayMs = 86400000;
// No time zone is further than this from UTC: the margin of the queries' UTC bounds.
constexpr std::int64_t OffsetMarginMs = 26 * 3600000LL;
constexpr qint64 JulianDayOf1970 = 2440588;

std::int64_t FloorDiv(std::int64_t A, std::int64_t B) {
    return A / B - (A % B != 0 && (A < 0) != (B < 0) ? 1 : 0);
}
std::int64_t DayNumber(QDate Day) {
    return Day.toJulianDay() - JulianDayOf1970;
}
QDate DateOf(std::int64_t Day) {
    return QDate::fromJulianDay(Day + JulianDayOf1970);
}
QString IsoDate(std::int64_t Day) {
    return DateOf(Day).toString(QStringLiteral("yyyy-MM-dd"));
}

struct TDb {
    sqlite3* Db = nullptr;
    QString Path;
    ~TDb() { sqlite3_close_v2(Db); }
    [[noreturn]] void Fail(const QString& Reason) const {
        throw EFileError(QStringLiteral("Cannot read history \"%1\". %2").arg(Path, Reason));
    }
    [[noreturn]] void Fail() const { Fail(QString::fromUtf8(Db ? sqlite3_errmsg(Db) : "out of memory")); }
};

struct TStatement {
    sqlite3_stmt* S = nullptr;
    TStatement(const TDb& Db, const char* Sql) {
        if (sqlite3_prepare_v2(Db.Db, Sql, -1, &S, nullptr) != SQLITE_OK)
            Db.Fail();
    }
    ~TStatement() { sqlite3_finalize(S); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;
};

// Opens Db.Path for reading only and reads its schema; the SQLite result.
int Connect(TDb& Db, int Flags) {
    sqlite3_close_v2(Db.Db);
    Db.Db = nullptr;
    int rc = sqlite3_open_v2(NativePath(Db.Path).constData(), &Db.Db, Flags, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(Db.Db, 1);
        sqlite3_db_config(Db.Db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_busy_timeout(Db.Db, 5000); // a writer's checkpoint holds readers back for a moment
        rc = sqlite3_exec(Db.Db, "PRAGMA query_only = 1; SELECT count(*) FROM sqlite_master", nullptr,
                          nullptr, nullptr);
    }
    return rc;
}

// False when there is no history file. A missing file is never created: reports only read.
bool OpenForReading(TDb& Db, const QString& Path) {
    Db.Path = Path;
    if (!QFileInfo::exists(Path))
        return false;
    // WORKAROUND: a read-only connection cannot read the log a killed writer left behind
    // (SQLITE_READONLY_RECOVERY) nor a file without its shared index. Opened for writing, it rebuilds only
    // the log's index: the database refuses every change (query_only) and the log is never folded in at the
    // close.
    const int rc = Connect(Db, SQLITE_OPEN_READONLY);
    const bool recover = (rc & 0xff) == SQLITE_READONLY || rc == SQLITE_CANTOPEN;
    if (rc != SQLITE_OK && (!recover || Connect(Db, SQLITE_OPEN_READWRITE) != SQLITE_OK))
        Db.Fail();
    TStatement version(Db, "PRAGMA user_version");
    if (sqlite3_step(version.S) != SQLITE_ROW)
        Db.Fail();
    const int found = sqlite3_column_int(version.S, 0);
    if (found > HistorySchemaVersion)
        Db.Fail(QStringLiteral("It was written by a newer version of Tallyvox."));
    if (found >= 1)
        return true; // later versions only add what reports do not read
    // A file the program has created but not yet written to is an empty history.
    TStatement tables(Db, "SELECT count(*) FROM sqlite_master");
    if (sqlite3_step(tables.S) != SQLITE_ROW || sqlite3_column_int(tables.S, 0) != 0)
        Db.Fail(QStringLiteral("It is not a history of tracked time."));
    return false;
}

struct TRecord {
    QString Caption;
    std::int64_t StartUtc, EndUtc, ChargedMs;
    std::int32_t Offset;
    std::int64_t LocalStart() const { return StartUtc + Offset * 1000LL; }
    std::int64_t LocalEnd() const { return std::max(EndUtc, StartUtc) + Offset * 1000LL; }
};

// The intervals whose UTC span may touch [FromUtc, ToUtc), by start; Visit returns false to stop.
template <class TVisit>
void ForEachRecord(const TDb& Db, std::int64_t FromUtc, std::int64_t ToUtc, TVisit Visit) {
    TStatement query(Db, "SELECT caption, start_utc, utc_offset, end_utc, charged_ms FROM interval"
                         " WHERE start_utc < ?1 AND end_utc >= ?2 ORDER BY start_utc");
    sqlite3_bind_int64(query.S, 1, ToUtc);
    sqlite3_bind_int64(query.S, 2, FromUtc);
    int rc;
    while ((rc = sqlite3_step(query.S)) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(query.S, 0));
        const TRecord record{QString::fromUtf8(text, sqlite3_column_bytes(query.S, 0)),
                             sqlite3_column_int64(query.S, 1), sqlite3_column_int64(query.S, 3),
                             std::max<std::int64_t>(0, sqlite3_column_int64(query.S, 4)),
                             sqlite3_column_int(query.S, 2)};
        Visit(record);
    }
    if (rc != SQLITE_DONE)
        Db.Fail();
}

std::optional<std::int64_t> FirstRecordDay(const TDb& Db) {
    TStatement first(Db, "SELECT start_utc, utc_offset FROM interval ORDER BY start_utc LIMIT 1");
    const int rc = sqlite3_step(first.S);
    if (rc == SQLITE_DONE)
        return std::nullopt;
    if (rc != SQLITE_ROW)
        Db.Fail();
    return FloorDiv(sqlite3_column_int64(first.S, 0) + sqlite3_column_int64(first.S, 1) * 1000, DayMs);
}

// Hands out the charged time of Record by local day, shared out in proportion to the wall time
// on each day; the last day takes what rounding left.
template <class TShare> void SplitByDay(const TRecord& Record, TShare Share) {
    const std::int64_t start = Record.LocalStart(), end = Record.LocalEnd();
    const std::int64_t firstDay = FloorDiv(start, DayMs), lastDay = FloorDiv(std::max(start, end - 1), DayMs);
    std::int64_t left = Record.ChargedMs;
    for (std::int64_t day = firstDay; day <= lastDay; ++day) {
        const std::int64_t wall = std::min(end, (day + 1) * DayMs) - std::max(start, day * DayMs);
        const std::int64_t part =
            day == lastDay ? left
                           : std::llround(static_cast<double>(Record.ChargedMs) * static_cast<double>(wall) /
                                          static_cast<double>(end - start));
        left -= part;
        Share(day, part);
    }
}

struct TPeriod {
    std::int64_t FirstDay, LastDay;
    QString Key, Label;
    std::map<QString, std::int64_t> Ms; // by caption
    bool NoHistory = false;
    std::int64_t Seconds(const QString& Caption) const { return Ms.at(Caption) / 1000; }
    std::int64_t TotalSeconds() const {
        std::int64_t total = 0;
        for (const auto& [caption, ms] : Ms)
            total += ms / 1000; // the rows as shown add up to the total
        return total;
    }
};

std::vector<TPeriod> MakePeriods(const TReportRequest& Request) {
    static const char* const DayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    const std::int64_t from = DayNumber(Request.From), to = DayNumber(Request.To);
    std::vector<TPeriod> periods;
    for (std::int64_t day = from; day <= to;) {
        const QDate date = DateOf(day);
        std::int64_t last = to;
        QString key = IsoDate(day), label;
        switch (Request.By) {
        case TReportGrouping::Day:
            last = day;
            label = key + u' ' + QLatin1StringView(DayNames[date.dayOfWeek() - 1]);
            break;
        case TReportGrouping::Week: {
            last = std::min(to, DayNumber(WeekStart(date)) + 6);
            int year = 0;
            const int week = date.weekNumber(&year);
            key = QStringLiteral("%1-W%2").arg(year).arg(week, 2, 10, QChar(u'0'));
            label = QStringLiteral("%1 (%2 to %3)").arg(key, IsoDate(day), IsoDate(last));
            break;
        }
        case TReportGrouping::Month:
            last = std::min(to, DayNumber(QDate(date.year(), date.month(), date.daysInMonth())));
            key = date.toString(QStringLiteral("yyyy-MM"));
            label = key;
            break;
        case TReportGrouping::Task:
            key = IsoDate(from) + u'/' + IsoDate(to);
            label = IsoDate(from) + QStringLiteral(" to ") + IsoDate(to);
            break;
        }
        periods.push_back(TPeriod{day, last, key, label, {}, false});
        day = last + 1;
    }
    return periods;
}

std::vector<TPeriod> Tally(const QString& Path, const TReportRequest& Request) {
    std::vector<TPeriod> periods = MakePeriods(Request);
    TDb db;
    const std::optional<std::int64_t> firstDay = OpenForReading(db, Path) ? FirstRecordDay(db) : std::nullopt;
    for (TPeriod& period : periods)
        period.NoHistory = !firstDay || period.LastDay < *firstDay;
    if (!firstDay)
        return periods;
    const std::int64_t from = DayNumber(Request.From), to = DayNumber(Request.To);
    ForEachRecord(
        db, from * DayMs - OffsetMarginMs, (to + 1) * DayMs + OffsetMarginMs, [&](const TRecord& Record) {
            SplitByDay(Record, [&](std::int64_t Day, std::int64_t Ms) {
                if (Day < from || Day > to)
                    return;
                const auto it =
                    std::upper_bound(periods.begin(), periods.end(), Day,
                                     [](std::int64_t D, const TPeriod& P) { return D < P.FirstDay; });
                (it - 1)->Ms[Record.Caption] += Ms;
            });
        });
    return periods;
}

QString Hms(std::int64_t Seconds) {
    return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(Seconds / 3600),
                             static_cast<long long>(Seconds / 60 % 60), static_cast<long long>(Seconds % 60));
}

QString GroupingName(TReportGrouping By) {
    static const char* const Names[] = {"day", "week", "month", "task"};
    return QString::fromLatin1(Names[static_cast<int>(By)]);
}

QByteArray Text(const TReportRequest& Request, const std::vector<TPeriod>& Periods) {
    qsizetype width = QStringLiteral("Grand total").size();
    for (const TPeriod& period : Periods)
        for (const auto& [caption, ms] : period.Ms)
            width = std::max(width, caption.size() + 2);
    const auto line = [width](const QString& Name, std::int64_t Seconds) {
        return Name.leftJustified(width) + Hms(Seconds).rightJustified(12) + u'\n';
    };
    QString out =
        QStringLiteral("Tracked time %1 to %2, by %3\n\n")
            .arg(IsoDate(DayNumber(Request.From)), IsoDate(DayNumber(Request.To)), GroupingName(Request.By));
    std::int64_t grand = 0;
    for (const TPeriod& period : Periods) {
        if (period.NoHistory) {
            out += period.Label + QStringLiteral("  no history\n");
            continue;
        }
        out += period.Label + u'\n';
        for (const auto& [caption, ms] : period.Ms)
            out += line(QStringLiteral("  ") + caption, ms / 1000);
        out += line(QStringLiteral("  Total"), period.TotalSeconds());
        grand += period.TotalSeconds();
    }
    out += u'\n' + line(QStringLiteral("Grand total"), grand);
    return out.toUtf8();
}

QString CsvField(const QString& Field) {
    if (!Field.contains(u',') && !Field.contains(u'"') && !Field.contains(u'\n') && !Field.contains(u'\r'))
        return Field;
    return u'"' + QString(Field).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

QByteArray Csv(const std::vector<TPeriod>& Periods) {
    QString out = QStringLiteral("period,task,seconds,time\n");
    for (const TPeriod& period : Periods) {
        if (period.NoHistory)
            out += CsvField(period.Key) + QStringLiteral(",,,no history\n");
        for (const auto& [caption, ms] : period.Ms)
            out += QStringLiteral("%1,%2,%3,%4\n")
                       .arg(CsvField(period.Key), CsvField(caption))
                       .arg(ms / 1000)
                       .arg(Hms(ms / 1000));
    }
    return out.toUtf8();
}

QString JsonString(const QString& Text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : Text) {
        if (c == u'"' || c == u'\\')
            out += u'\\' + QString(c);
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
        else
            out += c;
    }
    return out + u'"';
}

QByteArray Json(const std::vector<TPeriod>& Periods) {
    QStringList rows;
    for (const TPeriod& period : Periods) {
        if (period.NoHistory)
            rows << QStringLiteral("{\"period\": %1, \"no_history\": true}").arg(JsonString(period.Key));
        for (const auto& [caption, ms] : period.Ms)
            rows << QStringLiteral("{\"period\": %1, \"task\": %2, \"seconds\": %3, \"time\": \"%4\"}")
                        .arg(JsonString(period.Key), JsonString(caption))
                        .arg(ms / 1000)
                        .arg(Hms(ms / 1000));
    }
    const QString body = rows.isEmpty() ? QString() : rows.join(QStringLiteral(",\n")) + u'\n';
    return (QStringLiteral("[\n") + body + QStringLiteral("]\n")).toUtf8();
}

QByteArray Html(const TReportRequest& Request, const std::vector<TPeriod>& Periods) {
    static const char* const Heads[] = {"Day", "Week", "Month", "Range"};
    const QString title = QStringLiteral("Tracked time %1 to %2")
                              .arg(IsoDate(DayNumber(Request.From)), IsoDate(DayNumber(Request.To)));
    std::int64_t longest = 0, grand = 0;
    for (const TPeriod& period : Periods)
        longest = std::max(longest, period.TotalSeconds());
    QString bars, tasks;
    for (const TPeriod& period : Periods) {
        const QString label = period.Label.toHtmlEscaped();
        if (period.NoHistory) {
            bars += QStringLiteral("<tr class=\"none\"><td>%1</td><td>no history</td><td></td></tr>\n")
                        .arg(label);
            continue;
        }
        const std::int64_t total = period.TotalSeconds();
        grand += total;
        const double share =
            longest ? 100.0 * static_cast<double>(total) / static_cast<double>(longest) : 0.0;
        bars += QStringLiteral("<tr><td>%1</td><td class=\"b\"><div style=\"width:%2%\"></div></td><td "
                               "class=\"t\">%3</td></tr>\n")
                    .arg(label, QString::number(share, 'f', 1), Hms(total));
        for (const auto& [caption, ms] : period.Ms)
            tasks += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"t\">%3</td></tr>\n")
                         .arg(label, caption.toHtmlEscaped(), Hms(ms / 1000));
    }
    return (QStringLiteral(
                "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n"
                "<style>\nbody{font-family:sans-serif;margin:2em;color:#222}\n"
                "table{border-collapse:collapse;margin-bottom:2em}\n"
                "td,th{padding:3px 10px;text-align:left}\n"
                "td.t{text-align:right;font-variant-numeric:tabular-nums}\n"
                "td.b{width:24em}\ntd.b div{background:#3a7bd5;height:1em}\n"
                "tr.none{color:#888}\n</style>\n</head>\n<body>\n<h1>%1</h1>\n"
                "<table>\n<tr><th>%2</th><th></th><th>Total</th></tr>\n%3"
                "<tr><th>Grand total</th><td></td><td class=\"t\">%4</td></tr>\n</table>\n"
                "<table>\n<tr><th>%2</th><th>Task</th><th>Time</th></tr>\n%5</table>\n</body>\n</html>\n")
                .arg(title.toHtmlEscaped(), QLatin1StringView(Heads[static_cast<int>(Request.By)]), bars,
                     Hms(grand), tasks))
        .toUtf8();
}

QString IsoDateTime(std::int64_t UtcMs, std::int32_t Offset) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(UtcMs + Offset * 1000LL, Qt::UTC);
    const int minutes = std::abs(Offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (Offset < 0 ? u'-' : u'+') +
           QString::asprintf("%02d:%02d", minutes / 60, minutes % 60);
}
} // namespace

QDate WeekStart(QDate Day) {
    return Day.addDays(1 - Day.dayOfWeek());
}

QByteArray HistoryReport(const QString& Path, const TReportRequest& Request) {
    const std::vector<TPeriod> periods = Tally(Path, Request);
    switch (Request.Format) {
    case TReportFormat::Csv:
        return Csv(periods);
    case TReportFormat::Json:
        return Json(periods);
    case TReportFormat::Html:
        return Html(Request, periods);
    case TReportFormat::Text:
        break;
    }
    return Text(Request, periods);
}

void HistoryExport(const QString& Path, std::optional<QDate> From, std::optional<QDate> To,
                   const std::function<void(const QByteArray&)>& Out) {
    Out("caption,start,end,seconds\n");
    TDb db;
    if (!OpenForReading(db, Path))
        return;
    const std::int64_t from = From ? DayNumber(*From) : std::numeric_limits<std::int32_t>::min();
    const std::int64_t to = To ? DayNumber(*To) : std::numeric_limits<std::int32_t>::max();
    ForEachRecord(db, std::numeric_limits<std::int64_t>::min(), (to + 1) * DayMs + OffsetMarginMs,
                  [&](const TRecord& Record) {
                      const std::int64_t day = FloorDiv(Record.LocalStart(), DayMs);
                      if (day < from || day > to)
                          return;
                      Out(QStringLiteral("%1,%2,%3,%4.%5\n")
                              .arg(CsvField(Record.Caption), IsoDateTime(Record.StartUtc, Record.Offset),
                                   IsoDateTime(std::max(Record.EndUtc, Record.StartUtc), Record.Offset))
                              .arg(Record.ChargedMs / 1000)
                              .arg(Record.ChargedMs % 1000, 3, 10, QChar(u'0'))
                              .toUtf8());
                  });
}
