// SPDX-License-Identifier: MIT
#pragma once

#include "Errors.h"

// The failures of the background-call facility and of the pool under it.
class EBackgroundCallError final : public EAppError {
public:
    using EAppError::EAppError;
};
