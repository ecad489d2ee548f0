// SPDX-License-Identifier: MIT
#pragma once

#include "IniFile.h"

#include <QString>
#include <cstdint>
#include <memory>

// The user's settings in settings.ini. No value is kept: every read goes to the file and
// every write replaces it at once, so a change by hand takes effect at the next read.
class TSettings final {
public:
    // The process-wide store over the data folder's settings file, created on first use.
    static TSettings& Instance();

    explicit TSettings(QString FileName);

    // Default true; written as "1" or "0". Writes raise EFileError "Unable to write to %s".
    bool InactivityDetectionEnabled() const;
    void SetInactivityDetectionEnabled(bool Value);

    // Seconds, default 600; stored as the signed decimal of the 32-bit pattern, so 4294967295
    // is written as -1 and "-1" reads as 4294967295.
    std::uint32_t InactivityDetectionPeriod() const;
    void SetInactivityDetectionPeriod(std::uint32_t Value);

    const TIniFile& IniFile() const { return *FIniFile; }

private:
    std::unique_ptr<TIniFile> FIniFile;
};
