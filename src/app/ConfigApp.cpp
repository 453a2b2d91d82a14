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

    try {
        CDatabase::OpenShared(m_pfnFindData());
    } catch (const CDatabaseError&) {
        MessageBoxShow(QStringLiteral("data.mdb是否在当前路径下!"));
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
