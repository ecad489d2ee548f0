// SPDX-License-Identifier: MIT
#include "Files.h"
#include "Settings.h"

TSettings& TSettings::Instance() {
    static TSettings instance(DataFiles().Settings());
    return instance;
}
