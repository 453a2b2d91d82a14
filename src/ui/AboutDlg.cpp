#include "AboutDlg.h"

#include "Resources.h"

#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* pParent) : CDialogBase(100, pParent) {
    if (auto* pOk = ControlAs<QPushButton>(1))
        connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
}
