#include "ModelSearchDlg.h"
#include "DataExchange.h"

#include "ProgramValues.h"
#include "Resources.h"

#include <QPushButton>

namespace {
constexpr int kKeywordEdit = 1037;
}

CModelSearchDlg::CModelSearchDlg(QWidget* pParent) : CDialogBase(106, pParent) {
    if (auto* pOk = ControlAs<QPushButton>(1))
        connect(pOk, &QPushButton::clicked, this, &CModelSearchDlg::OnOK);
    if (auto* pCancel = ControlAs<QPushButton>(2))
        connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);
    UpdateData(false);
}

void CModelSearchDlg::DoDataExchange(CDataExchange& dx) {
    dx.Text(kKeywordEdit, m_strKeyword);
}

void CModelSearchDlg::OnOK() {
    UpdateData(true);
    g_strSearchKeyword = m_strKeyword.toStdString();
    accept();
}
