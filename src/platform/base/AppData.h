// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The user's application-data folder, the parent of the "Tallyvox" data folder:
// $APPDATA when set, else $XDG_DATA_HOME (absolute paths only), else ~/.local/share.
// An empty variable counts as unset, so the data never lands in "/Tallyvox".
QString AppDataFolder();
