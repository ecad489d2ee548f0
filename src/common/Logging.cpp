// SPDX-License-Identifier: MIT
#include "Logging.h"

Q_LOGGING_CATEGORY(lcIdle, "tallyvox.idle", QtWarningMsg)
Q_LOGGING_CATEGORY(lcHotKey, "tallyvox.hotkey", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTray, "tallyvox.tray", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSave, "tallyvox.save", QtWarningMsg)
