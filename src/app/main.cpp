#include "ConfigApp.h"
#include "DialogBase.h"
#include "Resources.h"
#include "Translations.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setWindowIcon(ProgramIcon());
    InstallFontSubstitutes();
    InstallChineseTranslations();
    CConfigApp app;
    app.InitInstance();
    return 0;
}
