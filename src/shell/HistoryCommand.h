// SPDX-License-Identifier: MIT
#pragma once

struct TCommandLine;

// --report and --export, answered from the history file alone: they never start the program,
// never ask a running one and never write the history, so they run beside a running copy.
// The exit code.
int RunHistoryCommand(const TCommandLine& Line, int& argc, char** argv);
