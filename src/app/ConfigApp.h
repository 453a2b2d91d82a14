#pragma once

#include "ControllerSocket.h"
#include "DataLocation.h"

#include <functional>

class QWidget;

// The application object: prepares the platform services, opens the shared
// connection on data.mdb and runs the main window modally. The program ends
// when that window closes.
class CConfigApp {
public:
    // Always false: the program ends after the main window, or after a
    // start-up failure that has been shown to the user.
    bool InitInstance();

    // Start-up steps that a test can make fail.
    std::function<bool()> m_pfnSocketInit = &CControllerSocket::InitSocketLayer;
    // Where data.mdb is opened from (beside the program, a per-user copy, or
    // the working folder's).
    std::function<std::string()> m_pfnFindData = [] { return CDataLocation::Find().strPath; };
    // Runs the main window; replaced by tests that only check start-up.
    std::function<void()> m_pfnRunMainDialog;
    bool m_bMainDialogRan = false;
};
