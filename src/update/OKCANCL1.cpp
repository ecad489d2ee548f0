// SPDX-License-Identifier: MIT
#include "OKCANCL1.h"

#include "Prompt.h"

#include <QFrame>
#include <QPushButton>

TOKBottomDlg::TOKBottomDlg(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), Bevel1(new QFrame(this)),
      OKBtn(new QPushButton(QStringLiteral("OK"), this)),
      CancelBtn(new QPushButton(QStringLiteral("Cancel"), this)) {
    SetClientSize(313, 214);
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 297, 161);
    OKBtn->setGeometry(79, 180, 75, 25);
    OKBtn->setDefault(true);
    CancelBtn->setGeometry(159, 180, 75, 25);
    setTabOrder(OKBtn, CancelBtn);
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(mrCancel); });
}

void TOKBottomDlg::SetClientSize(int Width, int Height) {
    setFixedSize(Width, Height);
}

int TOKBottomDlg::ShowModal() {
    OKBtn->setFocus();
    return exec();
}

// Esc and the close box end the dialog as Cancel does.
void TOKBottomDlg::reject() {
    done(mrCancel);
}
