// SPDX-License-Identifier: MIT
#include "Settings.h"

namespace {
const QString Section = QStringLiteral("InactivityDetection");
const QString EnabledKey = QStringLiteral("Enabled");
const QString PeriodKey = QStringLiteral("Period");
constexpr std::int32_t DefaultPeriod = 600;
} // namespace

TSettings::TSettings(QString FileName) : FIniFile(std::make_unique<TIniFile>(std::move(FileName))) {}

bool TSettings::InactivityDetectionEnabled() const {
    return FIniFile->ReadBool(Section, EnabledKey, true);
}

void TSettings::SetInactivityDetectionEnabled(bool Value) {
    FIniFile->WriteBool(Section, EnabledKey, Value);
}

std::uint32_t TSettings::InactivityDetectionPeriod() const {
    return static_cast<std::uint32_t>(FIniFile->ReadInteger(Section, PeriodKey, DefaultPeriod));
}

void TSettings::SetInactivityDetectionPeriod(std::uint32_t Value) {
    FIniFile->WriteInteger(Section, PeriodKey, static_cast<std::int32_t>(Value));
}
