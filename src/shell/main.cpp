// SPDX-License-Identifier: MIT
#include "Application.h"
#include "HistoryCommand.h"

int main(int argc, char** argv) {
    if (const std::optional<int> code = RunHistoryCommand(argc, argv))
        return *code;
    return RunApplication(argc, argv);
}
