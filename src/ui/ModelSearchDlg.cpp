#include "ModelSearchDlg.h"
#include "DataExchange.h"

#include "ProgramValues.h"
#include "Resources.h"

#include <QPushButton>

namespace {
constexpr int kKeywordEdit = 1037;
}

CModelSearchDlg::CModelSearchDlg(QWidget* pParent, std::string* pKeyword)
    : CDialogBase(106, pParent), m_pKeyword(pKeyword ? pKeyword : &g_strSearchKeyword) {
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
    *m_pKeyword = m_strKeyword.toStdString();
    accept();
}
