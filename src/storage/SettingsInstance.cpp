#include "Settings.h"

#include "Files.h"

TSettings& TSettings::Instance() {
    static TSettings instance(DataFiles().Settings());
    return instance;
}
