#pragma once

#include <QIcon>
#include <QString>

// The string table and the program icon.
QString LoadResourceString(int nId);
QIcon ProgramIcon();
