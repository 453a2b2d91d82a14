// Where data.mdb is opened from: beside the program when that folder may be
// written, else a per-user copy made once from the shipped file, else the
// working folder's; and the about box names the file in use.
#include "DataLocation.h"
#include "AboutDlg.h"
#include "Database.h"
#include "TempFolder.h"
#include "TestDatabase.h"
#include "Utf8Path.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const fs::path& file, const std::string& strBytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << strBytes;
}

} // namespace

class CDataLocationTest : public QObject {
    Q_OBJECT
    fs::path m_root;

private slots:
    void init() { m_root = MakeTempFolder("velmora-place-"); }
    void cleanup() {
        std::error_code error;
        fs::remove_all(m_root, error);
    }

    void choose_data() {
        QTest::addColumn<QString>("programName"); // "" for no program folder
        QTest::addColumn<bool>("shipped");        // data.mdb beside the program
        QTest::addColumn<bool>("writable");       // the program folder may be written
        QTest::addColumn<QString>("userName");    // "" for no per-user folder
        QTest::addColumn<QString>("userCopy");    // bytes of an existing per-user copy, "" for none
        QTest::addColumn<QString>("expected");    // working, program or user
        QTest::addColumn<QString>("userAfter");   // bytes of the per-user copy afterwards, "" for none

        QTest::newRow("no program folder") << "" << false << true << "user"
                                           << ""
                                           << "working"
                                           << "";
        QTest::newRow("nothing beside the program") << "Velmora" << false << false << "user"
                                                    << ""
                                                    << "working"
                                                    << "";
        QTest::newRow("writable program folder") << "Velmora" << true << true << "user"
                                                 << ""
                                                 << "program"
                                                 << "";
        QTest::newRow("first start in Program Files") << "Velmora" << true << false << "user"
                                                      << ""
                                                      << "user"
                                                      << "shipped";
        QTest::newRow("later start keeps the user's data") << "Velmora" << true << false << "user"
                                                           << "edited"
                                                           << "user"
                                                           << "edited";
        QTest::newRow("no per-user folder") << "Velmora" << true << false << ""
                                            << ""
                                            << "program"
                                            << "";
        QTest::newRow("Chinese folders") << "中控 工具" << true << false << "用户/本机数据"
                                         << ""
                                         << "user"
                                         << "shipped";
    }

    void choose() {
        QFETCH(QString, programName);
        QFETCH(bool, shipped);
        QFETCH(bool, writable);
        QFETCH(QString, userName);
        QFETCH(QString, userCopy);
        QFETCH(QString, expected);
        QFETCH(QString, userAfter);

        const fs::path program =
            programName.isEmpty() ? fs::path() : m_root / PathFromUtf8(programName.toStdString());
        const fs::path user = userName.isEmpty() ? fs::path() : m_root / PathFromUtf8(userName.toStdString());
        if (!program.empty())
            fs::create_directories(program);
        if (shipped)
            Write(program / "data.mdb", "shipped");
        if (!userCopy.isEmpty())
            Write(user / "data.mdb", userCopy.toStdString());
        int nAsked = 0;
        const auto choice = CDataLocation::Choose(program, user, [&](const fs::path& folder) {
            ++nAsked;
            return folder == program && writable;
        });

        if (expected == "working") {
            QCOMPARE(choice.ePlace, CDataLocation::EPlace::WorkingFolder);
            QCOMPARE(choice.strPath, std::string("data.mdb"));
        } else if (expected == "program") {
            QCOMPARE(choice.ePlace, CDataLocation::EPlace::ProgramFolder);
            QCOMPARE(choice.strPath, Utf8FromPath(program / "data.mdb"));
        } else {
            QCOMPARE(choice.ePlace, CDataLocation::EPlace::UserCopy);
            QCOMPARE(choice.strPath, Utf8FromPath(user / "data.mdb"));
        }
        if (userAfter.isEmpty())
            QVERIFY(user.empty() || !fs::exists(user / "data.mdb"));
        else
            QCOMPARE(Contents(user / "data.mdb"), userAfter.toStdString());
        QVERIFY(user.empty() || !fs::exists(user / "data.mdb.partial"));
        if (shipped)
            QCOMPARE(Contents(program / "data.mdb"), std::string("shipped"));
        QVERIFY(nAsked <= 1);
    }

    // The per-user folder cannot be made (a file stands where it would go):
    // the shipped file is used, and its saves meet the medium check.
    void copyThatCannotBeMadeFallsBackToTheShippedFile() {
        const fs::path program = m_root / "Velmora";
        Write(program / "data.mdb", "shipped");
        Write(m_root / "blocked", "a file, not a folder");
        const auto choice = CDataLocation::Choose(program, m_root / "blocked" / "Velmora",
                                                  [](const fs::path&) { return false; });
        QCOMPARE(choice.ePlace, CDataLocation::EPlace::ProgramFolder);
        QCOMPARE(choice.strPath, Utf8FromPath(program / "data.mdb"));
        QCOMPARE(Contents(program / "data.mdb"), std::string("shipped"));
    }

    // The about box names the data.mdb in use with its full path.
    void aboutBoxSaysWhereTheDataIs() {
        CTestDatabase db;
        CAboutDlg dialog;
        auto* pLabel = dialog.ControlAs<QLabel>(CAboutDlg::kDataFileId);
        QVERIFY(pLabel);
        const QString strFile =
            QDir::toNativeSeparators(QString::fromStdString(Utf8FromPath(db.File().lexically_normal())));
        QCOMPARE(pLabel->text(), QStringLiteral("数据文件：") + strFile);
        QCOMPARE(pLabel->accessibleName(), pLabel->text());
    }

    // The program's own licence travels inside it, whole, and the box names
    // the licences of what the Windows package carries beside it.
    void aboutBoxCarriesTheLicences() {
        CTestDatabase db;
        CAboutDlg dialog;
        const QString strLicence = CAboutDlg::LicenceText();
        QVERIFY(strLicence.startsWith(QStringLiteral("MIT License")));
        QVERIFY(strLicence.contains(QStringLiteral("Copyright (c) 2026 The Velmora authors")));
        QVERIFY(strLicence.contains(QStringLiteral("THE SOFTWARE IS PROVIDED \"AS IS\"")));
        auto* pLicences = dialog.ControlAs<QLabel>(CAboutDlg::kLicencesId);
        QVERIFY(pLicences);
        for (const char* pszName : {"MIT", "LGPL 3", "MinGW-w64", "licenses"})
            QVERIFY2(pLicences->text().contains(QLatin1String(pszName)), pszName);
        QVERIFY(dialog.ControlAs<QPushButton>(CAboutDlg::kShowLicenceId));
    }
};

QTEST_MAIN(CDataLocationTest)
#include "DataLocationTest.moc"
