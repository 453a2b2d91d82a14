#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallChineseTranslations(const QStringList& folders) {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    QStringList candidates = folders;
    candidates << QCoreApplication::applicationDirPath() + QStringLiteral("/translations")
               << QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const QString& strFolder : candidates) {
        auto* pTranslator = new QTranslator(QCoreApplication::instance());
        if (pTranslator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"), strFolder)) {
            QCoreApplication::installTranslator(pTranslator);
            return true;
        }
        delete pTranslator;
    }
    return false;
}
