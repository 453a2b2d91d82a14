#include "SystemMenu.h"

#include <QString>
#include <QWidget>

#include <windows.h>

bool AddToSystemMenu(QWidget& window, const QString& strText, int nCommand) {
    HMENU hMenu = GetSystemMenu(reinterpret_cast<HWND>(window.winId()), FALSE);
    if (!hMenu)
        return false;
    const std::wstring strWide = strText.toStdWString();
    return AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr) &&
           AppendMenuW(hMenu, MF_STRING, static_cast<UINT_PTR>(nCommand), strWide.c_str());
}

int SystemCommandOf(const void* pMessage) {
    const MSG* pMsg = static_cast<const MSG*>(pMessage);
    return pMsg && pMsg->message == WM_SYSCOMMAND ? static_cast<int>(pMsg->wParam) : 0;
}
