#include "Settings.h"

#include "Files.h"

namespace {
std::unique_ptr<TSettings>& InstanceSlot() {
    static std::unique_ptr<TSettings> instance;
    return instance;
}
} // namespace

TSettings& TSettings::Instance() {
    auto& slot = InstanceSlot();
    if (!slot)
        slot = std::make_unique<TSettings>(DataFiles().Settings());
    return *slot;
}

void TSettings::ResetInstanceForTesting() { InstanceSlot().reset(); }

