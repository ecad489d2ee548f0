// SPDX-License-Identifier: MIT
#include "SiteUrl.h"

const char* BuiltInSiteUrl() {
    return TALLYVOX_BUILT_IN_SITE_URL;
}
