#pragma once

#include "DialogBase.h"

// The about box: the program's name and version, where its data.mdb is kept,
// the licences of the program and of what it carries, and an OK button.
class CAboutDlg : public CDialogBase {
    Q_OBJECT
public:
    static constexpr int kDataFileId = 1001;
    static constexpr int kLicencesId = 1002;
    static constexpr int kShowLicenceId = 1003;

    // Velmora's own licence text (MIT), as shipped.
    static QString LicenceText();

    explicit CAboutDlg(QWidget* pParent = nullptr);
};
