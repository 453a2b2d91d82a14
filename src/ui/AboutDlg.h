#pragma once

#include "DialogBase.h"

// The about box: the program's name and version with an OK button.
class CAboutDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);
};
