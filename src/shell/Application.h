// SPDX-License-Identifier: MIT
#pragma once

// The whole program: single-instance guard, application object, the windows, the loop.
// Returns the process's exit code.
int RunApplication(int argc, char** argv);

// TALLYVOX_START_HIDDEN=1 starts with only the tray icon, as the autostart entry does.
bool StartHidden();
