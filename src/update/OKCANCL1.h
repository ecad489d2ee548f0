// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QFrame;
class QPushButton;

// The OK/Cancel dialog template: fixed size 313 x 214, a framed bevel and the two buttons at
// the bottom. The result is a modal result code: OK 1, Cancel (also Esc and the close box) 2.
class TOKBottomDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOKBottomDlg(QWidget* Parent);

    // Runs the dialog modally; its modal result code.
    int ShowModal();
    void reject() override;

    QFrame* Bevel1;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

protected:
    void SetClientSize(int Width, int Height);
};
