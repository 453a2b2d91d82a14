#pragma once

#include "DialogBase.h"

#include <string>

// Asks for a keyword of the projector model to find. "确定" leaves the keyword
// in its asker's keyword (the code dialog's is g_strSearchKeyword) for the
// search; "取消" leaves it as it was. Each asker has its own, so one face's
// search never changes another's.
class CModelSearchDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CModelSearchDlg(QWidget* pParent = nullptr, std::string* pKeyword = nullptr);

    QString m_strKeyword;

    void OnOK();

protected:
    void DoDataExchange(CDataExchange& dx) override;

private:
    std::string* m_pKeyword;
};
