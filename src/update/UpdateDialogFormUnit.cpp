// SPDX-License-Identifier: MIT
#include "UpdateDialogFormUnit.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

TUpdateDialogForm::TUpdateDialogForm(QWidget* Parent) : TOKBottomDlg(Parent), Label1(new QLabel(this)) {
    setWindowTitle(QStringLiteral("New version available"));
    // Close box only: no minimise, maximise or help button.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    SetClientSize(313, 84);
    Bevel1->setGeometry(8, 8, 297, 72);
    Bevel1->hide();
    Label1->setGeometry(7, 7, 313 - 14, 84 - 14);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);
    Label1->setFont(font);
    Label1->setForegroundRole(QPalette::WindowText);
    Label1->setText(
        QStringLiteral("There is a new version of Tallyvox available. Would like to donwload it now?"));
    Label1->lower(); // below the buttons that sit inside its area
    OKBtn->move(86, 51);
    CancelBtn->move(166, 51);
}
