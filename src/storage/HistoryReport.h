// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <functional>
#include <optional>

enum class TReportGrouping { Day, Week, Month, Task };
enum class TReportFormat { Text, Csv, Json, Html };

// Local calendar days, both included.
struct TReportRequest {
    QDate From;
    QDate To;
    TReportGrouping By = TReportGrouping::Day;
    TReportFormat Format = TReportFormat::Text;
};

// The Monday and the Sunday of Day's ISO week.
QDate WeekStart(QDate Day);

// The tracked time of the history file at Path in the request's periods: one row per task and
// period, a total per period and a grand total. Each interval counts on the local days it
// covered, by the UTC offset in force where it was recorded. Periods before the first record
// say "no history". The file is only read, never created or changed, and may be written
// meanwhile. Raises EFileError when it cannot be read.
QByteArray HistoryReport(const QString& Path, const TReportRequest& Request);

// Every interval that started on the local days From..To (unbounded where not given) as CSV:
// caption, start and end in ISO 8601 with the offset, seconds. Hands the text out in pieces.
void HistoryExport(const QString& Path, std::optional<QDate> From, std::optional<QDate> To,
                   const std::function<void(const QByteArray&)>& Out);
