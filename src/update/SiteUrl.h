// SPDX-License-Identifier: MIT
#pragma once

// The product web site compiled into this executable; empty in builds without the update
// check (distribution packages, which their package manager updates).
const char* BuiltInSiteUrl();
