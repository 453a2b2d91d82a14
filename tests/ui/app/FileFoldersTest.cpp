// Where the file dialogs start: the folder last used for that kind of file,
// kept beside data.mdb, else the user's Documents folder.
#include "FileFolders.h"
#include "TempFolder.h"
#include "TestDatabase.h"
#include "Utf8Path.h"

#include <QDir>
#include <QStandardPaths>
#include <QtTest>

#include <filesystem>

namespace fs = std::filesystem;
using EKind = CFileFolders::EKind;

class CFileFoldersTest : public QObject {
    Q_OBJECT

    static QString Documents() { return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation); }
    static QString Q(const fs::path& path) { return QString::fromStdString(Utf8FromPath(path)); }

private slots:
    void startsWhereThatKindWasLastChosen_data() {
        QTest::addColumn<QString>("folderName"); // of the file chosen for plans
        QTest::addColumn<bool>("folderStays");   // false: the folder is removed before the next dialog
        QTest::newRow("a folder of plans") << "plans" << true;
        QTest::newRow("Chinese folder") << "学校 配置/计划" << true;
        QTest::newRow("a folder since removed") << "gone" << false;
    }
    void startsWhereThatKindWasLastChosen() {
        QFETCH(QString, folderName);
        QFETCH(bool, folderStays);
        CTestDatabase database;
        const fs::path root = MakeTempFolder("velmora-folders-");
        const fs::path folder = root / PathFromUtf8(folderName.toStdString());
        fs::create_directories(folder);

        QCOMPARE(CFileFolders::StartPath(EKind::Plan), Documents());
        CFileFolders::Remember(EKind::Plan, Q(folder / "plan.csv"));
        CFileFolders::Remember(EKind::Plan, QString()); // a cancelled dialog changes nothing
        if (!folderStays)
            fs::remove_all(folder);
        const QString strExpected = folderStays ? QDir(Q(folder)).absolutePath() : Documents();
        QCOMPARE(CFileFolders::StartPath(EKind::Plan), strExpected);
        QCOMPARE(CFileFolders::StartPath(EKind::Plan, QStringLiteral("清单.csv")),
                 QDir(strExpected).filePath(QStringLiteral("清单.csv")));
        // Other kinds keep their own folders.
        QCOMPARE(CFileFolders::StartPath(EKind::Snapshot), Documents());
        QCOMPARE(CFileFolders::StartPath(EKind::Library, QStringLiteral("投影机代码库.csv")),
                 QDir(Documents()).filePath(QStringLiteral("投影机代码库.csv")));
        // Kept beside data.mdb, so the next start of the program finds it.
        QVERIFY(fs::exists(database.Folder() / "folders.txt"));
        std::error_code error;
        fs::remove_all(root, error);
    }
};

QTEST_MAIN(CFileFoldersTest)
#include "FileFoldersTest.moc"
