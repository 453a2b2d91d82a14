#pragma once

// The window's system menu, one file per system (SystemMenuWin.cpp,
// SystemMenuPosix.cpp): on Windows the about entry goes into the menu of the
// title bar's icon and comes back as a system command; elsewhere the window
// manager owns that menu, and the window's context menu carries the entry.

class QString;
class QWidget;

// Appends a separator and the entry (strText, nCommand) to the window's
// system menu; false where there is none.
bool AddToSystemMenu(QWidget& window, const QString& strText, int nCommand);
// The system command a native message carries, or 0 when it carries none.
int SystemCommandOf(const void* pMessage);
