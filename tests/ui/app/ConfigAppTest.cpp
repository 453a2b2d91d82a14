// Start-up: the socket layer, the shared connection on data.mdb in the working
// folder, and the main window run only when both are there.
#include "ConfigApp.h"
#include "Database.h"
#include "MessageBox.h"
#include "Statements.h"
#include "TestDatabase.h"
#include "Utf8Path.h"

#include <QApplication>
#include <QWidget>
#include <QtTest>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const QString kNoDatabase = QStringLiteral("data.mdb是否在当前路径下!");
// A missing file is said as such, with the folder it was looked for in.
QString NoDatabaseIn(const fs::path& folder) {
    return kNoDatabase + QStringLiteral("\n找不到data.mdb：文件夹“%1”中没有这个文件。")
                             .arg(QString::fromStdString(Utf8FromPath(fs::absolute(folder))));
}
const QString kNoSockets = QStringLiteral("Windows 通信端口初始化失败。");

enum EFile { Missing, AccessFormat, PlainText, WithoutTables, WithoutHtset };

void PrepareFile(const CTestDatabase& db, EFile file) {
    switch (file) {
    case Missing:
        fs::remove(db.File());
        break;
    case AccessFormat: {
        std::string strBytes("\x00\x01\x00\x00Standard Jet DB\x00", 20);
        strBytes.resize(2048, '\0');
        std::ofstream(db.File(), std::ios::binary | std::ios::trunc) << strBytes;
        break;
    }
    case PlainText:
        std::ofstream(db.File(), std::ios::binary | std::ios::trunc) << "not a database\n";
        break;
    case WithoutTables:
        db.Exec("DROP TABLE DATA; DROP TABLE htset;");
        break;
    case WithoutHtset:
        db.Exec("DROP TABLE htset;");
        break;
    }
}

bool AnyWindowVisible() {
    for (QWidget* pWidget : QApplication::topLevelWidgets())
        if (pWidget->isVisible())
            return true;
    return false;
}

} // namespace

class CConfigAppTest : public QObject {
    Q_OBJECT
    QStringList m_messages;
    int m_nDialogRuns = 0;

    // The application with the main window replaced by a recorder.
    void Prepare(CConfigApp& app) {
        app.m_pfnRunMainDialog = [this] {
            ++m_nDialogRuns;
            // The window finds the shared connection open on the working folder's file.
            QVERIFY(CDatabase::IsOpen());
            QVERIFY(!CDatabase::OpenRead(stmt::SelectLibrarySorted())->IsEmpty());
        };
    }

private slots:
    void initTestCase() {
        SetMessageRecorder([this](const QString& strText) { m_messages << strText; });
    }
    void init() {
        m_messages.clear();
        m_nDialogRuns = 0;
        QCoreApplication::setOrganizationName(QString());
    }
    void cleanup() { CDatabase::CloseShared(); }

    void shippedFileRunsTheMainWindow() {
        CTestDatabase db(/*bEmpty=*/false, /*bOpen=*/false);
        CConfigApp app;
        Prepare(app);
        QCOMPARE(app.InitInstance(), false);
        QCOMPARE(m_nDialogRuns, 1);
        QVERIFY(app.m_bMainDialogRan);
        QCOMPARE(m_messages, QStringList());
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("QTLB"));
    }

    void socketFailureEndsBeforeAnything() {
        CTestDatabase db(/*bEmpty=*/false, /*bOpen=*/false);
        CConfigApp app;
        Prepare(app);
        app.m_pfnSocketInit = [] { return false; };
        QCOMPARE(app.InitInstance(), false);
        QCOMPARE(m_messages, QStringList{kNoSockets});
        QCOMPARE(m_nDialogRuns, 0);
        QVERIFY(!app.m_bMainDialogRan);
        QVERIFY(!CDatabase::IsOpen());
        QVERIFY(!AnyWindowVisible());
    }

    void unusableFileEndsBeforeAnyWindow_data() {
        QTest::addColumn<int>("file");
        QTest::newRow("no data.mdb") << int(Missing);
        QTest::newRow("Access-format file") << int(AccessFormat);
        QTest::newRow("not a database") << int(PlainText);
        QTest::newRow("without the tables") << int(WithoutTables);
        QTest::newRow("without htset") << int(WithoutHtset);
    }
    void unusableFileEndsBeforeAnyWindow() {
        QFETCH(int, file);
        CTestDatabase db(/*bEmpty=*/false, /*bOpen=*/false);
        PrepareFile(db, static_cast<EFile>(file));
        const bool bExisted = fs::exists(db.File());
        const auto nSize = bExisted ? fs::file_size(db.File()) : 0;

        CConfigApp app;
        Prepare(app);
        QCOMPARE(app.InitInstance(), false);
        QCOMPARE(m_messages, QStringList{file == Missing ? NoDatabaseIn(fs::current_path()) : kNoDatabase});
        QCOMPARE(m_nDialogRuns, 0);
        QVERIFY(!app.m_bMainDialogRan);
        QVERIFY(!CDatabase::IsOpen());
        QVERIFY(!AnyWindowVisible());
        QCOMPARE(fs::exists(db.File()), bExisted);
        if (bExisted) {
            QCOMPARE(fs::file_size(db.File()), nSize);
        }
    }

    // data.mdb is looked for in the working folder, not beside the program or elsewhere.
    void fileInAnotherFolderIsNotFound() {
        CTestDatabase other(/*bEmpty=*/false, /*bOpen=*/false);
        CTestDatabase db(/*bEmpty=*/false, /*bOpen=*/false); // now the working folder
        fs::remove(db.File());
        CConfigApp app;
        Prepare(app);
        app.InitInstance();
        QCOMPARE(m_messages, QStringList{NoDatabaseIn(fs::current_path())});
        QCOMPARE(m_nDialogRuns, 0);
        QVERIFY(!fs::exists(db.File()));
    }
};

QTEST_MAIN(CConfigAppTest)
#include "ConfigAppTest.moc"
