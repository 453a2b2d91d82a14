#include "Resources.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

QString LoadResourceString(int nId) {
    static const QJsonObject table = [] {
        QFile file(QStringLiteral(":/strings.json"));
        if (!file.open(QIODevice::ReadOnly))
            return QJsonObject();
        return QJsonDocument::fromJson(file.readAll()).object();
    }();
    return table.value(QString::number(nId)).toString();
}

QIcon ProgramIcon() {
    // Decoded once: every window shows the same icon.
    static const QIcon icon(QStringLiteral(":/icons/velmora.png"));
    return icon;
}
