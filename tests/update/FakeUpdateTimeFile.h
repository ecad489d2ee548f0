// SPDX-License-Identifier: MIT
#pragma once

#include "Errors.h"
#include "UpdateSchedule.h"

#include <optional>

// "upd" kept in memory; reads and writes can be made to fail as a locked file would.
struct TFakeUpdateTimeFile {
    QString Path = QStringLiteral("/data/upd");
    std::optional<QString> Content;
    bool ReadFails = false;
    bool WriteFails = false;
    int Reads = 0;
    int Writes = 0;

    TUpdateTimeFile Bind() {
        return TUpdateTimeFile{
            [this] { return Path; },
            [this](const QString&) { return Content.has_value(); },
            [this](const QString& P) {
                ++Reads;
                if (ReadFails)
                    throw EFileError(QStringLiteral("Cannot open file \"%1\". Locked").arg(P));
                return *Content;
            },
            [this](const QString& P, const QString& Text) {
                ++Writes;
                if (WriteFails)
                    throw EFileError(QStringLiteral("Cannot create file \"%1\". Locked").arg(P));
                Content = Text;
            },
        };
    }
};
