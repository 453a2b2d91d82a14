#pragma once

#include "DialogBase.h"

// Asks for a keyword of the projector model to find. "确定" leaves the keyword
// in g_strSearchKeyword for the search; "取消" leaves it as it was.
class CModelSearchDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CModelSearchDlg(QWidget* pParent = nullptr);

    QString m_strKeyword;

    void OnOK();

protected:
    void DoDataExchange(CDataExchange& dx) override;
};
