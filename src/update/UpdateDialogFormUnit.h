// SPDX-License-Identifier: MIT
#pragma once

#include "OKCANCL1.h"

class QLabel;

// The offer of a newer version: OK opens the product web site.
class TUpdateDialogForm final : public TOKBottomDlg {
    Q_OBJECT
public:
    explicit TUpdateDialogForm(QWidget* Parent);

    QLabel* Label1;
};
