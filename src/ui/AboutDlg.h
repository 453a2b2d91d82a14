#pragma once

#include "DialogBase.h"

// The about box: the program's name and version, where its data.mdb is kept,
// and an OK button.
class CAboutDlg : public CDialogBase {
    Q_OBJECT
public:
    static constexpr int kDataFileId = 1001;

    explicit CAboutDlg(QWidget* pParent = nullptr);
};
