#pragma once

#include <QStringList>

// Makes Qt's own texts Chinese: the standard buttons of message boxes (确定,
// 是, 否), the file dialogs and the context menus of text fields. Qt's
// translation (qtbase_zh_CN.qm) is looked for in the folders given, then in
// "translations" beside the program (where the Windows package puts it), then
// where this Qt keeps its translations. False when none was found; the
// program then runs with Qt's English texts.
bool InstallChineseTranslations(const QStringList& folders = {});
