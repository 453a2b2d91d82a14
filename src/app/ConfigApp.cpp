#include "ConfigApp.h"

#include "Database.h"
#include "MessageBox.h"
#include "Resources.h"

#include <QCoreApplication>

#include "MainConfigDlg.h"

bool CConfigApp::InitInstance() {
    InstallMessageSink();
    // The socket layer (Winsock on Windows); its failure ends the program
    // before any window.
    if (!m_pfnSocketInit()) {
        MessageBoxShow(LoadResourceString(103));
        return false;
    }
    // Control containment, three-dimensional drawing and OLE need nothing here.
    // The settings location is selected but nothing is ever stored there.
    QCoreApplication::setOrganizationName(QStringLiteral("QTLB"));

    const std::string strData = m_pfnFindData();
    try {
        CDatabase::OpenShared(strData);
    } catch (const CDatabaseError&) {
        // A missing file is said as such, with the folder it was looked for in.
        std::string strFolder;
        QString strText = QStringLiteral("data.mdb是否在当前路径下!");
        if (DatabaseMissing(strData, strFolder))
            strText += QStringLiteral("\n找不到data.mdb：文件夹“%1”中没有这个文件。")
                           .arg(QString::fromStdString(strFolder));
        MessageBoxShow(strText);
        return false;
    }

    m_bMainDialogRan = true;
    if (m_pfnRunMainDialog) {
        m_pfnRunMainDialog();
    } else {
        CMainConfigDlg dialog;
        dialog.DoModal();
    }
    return false;
}
