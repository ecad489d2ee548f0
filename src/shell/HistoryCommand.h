// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>
#include <optional>

// --report and --export, answered from the history file alone: they never start the program,
// never ask a running one and never write the history, so they run beside a running copy.
// Nothing when Arguments (the program's name first) ask for neither.
std::optional<int> RunHistoryCommand(int& argc, char** argv);
