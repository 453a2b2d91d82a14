// The import preview dialog and the export and import of the projector code
// dialog, offscreen, on fresh copies of the shipped data.mdb.
#include "LibraryImportDlg.h"
#include "ImportPreview.h"
#include "ImportPreviewModel.h"
#include "MessageBox.h"
#include "ProjectorCodeDlg.h"
#include "ProjectorTableModel.h"
#include "ReadOnlyView.h"
#include "TestDatabase.h"
#include "Utf8Path.h"
#include "Words.h"

#include <QAction>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include <sqlite3.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace {

QStringList g_messages;

const std::string kHeader = "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n";
// One row of each class against the shipped library: identical, conflicting
// (another VIDEO code), new, invalid.
const std::string kRows =
    "Epson EMP-53,9600,无,534F555243452031310D,534F555243452034310D,505752204F4E0D,"
    "505752204F46460D\r\n"
    "Epson EB-1410Wi,9600,无,534F555243452031310D,0A0B,505752204F4E0D,505752204F46460D\r\n"
    "Room 101 Projector,4800,偶,0A,0B,0C,0D\r\n"
    "Broken,9600,无,0A,0B,0C,0\r\n";

void WriteFile(const std::filesystem::path& path, const std::string& strBytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << strBytes;
}

void Click(CDialogBase& dlg, int nId) {
    dlg.ControlAs<QPushButton>(nId)->click();
}

QString Cell(const CLibraryImportDlg& dlg, int nRow, int nColumn) {
    return dlg.PreviewModel()->index(nRow, nColumn).data().toString();
}

// The projector dialog with the file choosers and the preview answered by the test.
class CTestProjectorDlg : public CProjectorCodeDlg {
public:
    QString strImport, strExport;
    int nImportAsked = 0;
    std::function<void(CLibraryImportDlg&)> answer;

protected:
    QString ChooseExportFile() override { return strExport; }
    QString ChooseImportFile() override {
        ++nImportAsked;
        return strImport;
    }
    int RunImportPreview(library::CImportPreview& preview, std::string& strResult) override {
        CLibraryImportDlg dlg(preview, "data.mdb", this);
        if (answer)
            answer(dlg);
        strResult = dlg.ResultMessage();
        return dlg.result();
    }
};

} // namespace

class CLibraryImportDlgTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        InstallMessageSink();
        SetMessageRecorder([](const QString& s) { g_messages << s; });
    }
    void init() { g_messages.clear(); }

    void listsEveryRowWithClassAndNote_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("note");
        QTest::newRow("identical") << 0 << "2"
                                   << "相同"
                                   << "Epson EMP-53"
                                   << "";
        QTest::newRow("conflict") << 1 << "3"
                                  << "冲突"
                                  << "Epson EB-1410Wi"
                                  << "保留现有代码（库中VIDEO：534F555243452034310D）";
        QTest::newRow("new") << 2 << "4"
                             << "新增"
                             << "Room 101 Projector"
                             << "";
        QTest::newRow("invalid") << 3 << "5"
                                 << "无效"
                                 << "Broken"
                                 << "POWER OFF输入不正确，请检查POWER OFF位数！";
    }
    void listsEveryRowWithClassAndNote() {
        QFETCH(int, row);
        CTestDatabase db;
        WriteFile(db.Folder() / "in.csv", kHeader + kRows);
        library::CImportPreview preview;
        QVERIFY(preview.Load("in.csv", "data.mdb"));
        CLibraryImportDlg dlg(preview, "data.mdb");
        QAbstractItemModelTester tester(dlg.PreviewModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(dlg.GetItemText(CLibraryImportDlg::IDC_SUMMARY),
                 QStringLiteral("新增1个，相同1个，冲突1个，无效1个"));
        QCOMPARE(dlg.PreviewModel()->rowCount(), 4);
        QFETCH(QString, line);
        QFETCH(QString, kind);
        QFETCH(QString, model);
        QFETCH(QString, note);
        QCOMPARE(Cell(dlg, row, CImportPreviewModel::Line), line);
        QCOMPARE(Cell(dlg, row, CImportPreviewModel::Class), kind);
        QCOMPARE(Cell(dlg, row, CImportPreviewModel::Model), model);
        QCOMPARE(Cell(dlg, row, CImportPreviewModel::Note), note);
        QVERIFY(dlg.IsItemEnabled(CLibraryImportDlg::IDC_TAKE_ALL));
    }

    // Which conflicts are taken, by the row buttons, the buttons for all, or a double click.
    void choicesDecideWhatIsWritten_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("emp53Video");
        QTest::addColumn<QString>("x1410Video");
        const QString oldVideo = "534F555243452034310D";
        QTest::newRow("keep by default") << "" << oldVideo << oldVideo;
        QTest::newRow("take all") << "takeAll"
                                  << "0C0D"
                                  << "0A0B";
        QTest::newRow("take all, keep the first") << "takeAll keep0" << oldVideo << "0A0B";
        QTest::newRow("take the second") << "take1" << oldVideo << "0A0B";
        QTest::newRow("take all then keep all") << "takeAll keepAll" << oldVideo << oldVideo;
        QTest::newRow("double click takes") << "double0"
                                            << "0C0D" << oldVideo;
    }
    void choicesDecideWhatIsWritten() {
        QFETCH(QString, how);
        QFETCH(QString, emp53Video);
        QFETCH(QString, x1410Video);
        CTestDatabase db;
        WriteFile(
            db.Folder() / "in.csv",
            kHeader +
                "Epson EMP-53,9600,无,534F555243452031310D,0C0D,505752204F4E0D,505752204F46460D\r\n"
                "Epson EB-1410Wi,9600,无,534F555243452031310D,0A0B,505752204F4E0D,505752204F46460D\r\n");
        library::CImportPreview preview;
        QVERIFY(preview.Load("in.csv", "data.mdb"));
        CLibraryImportDlg dlg(preview, "data.mdb");
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        for (const QString& step : how.split(' ', Qt::SkipEmptyParts)) {
            if (step == "takeAll")
                Click(dlg, CLibraryImportDlg::IDC_TAKE_ALL);
            else if (step == "keepAll")
                Click(dlg, CLibraryImportDlg::IDC_KEEP_ALL);
            else if (step.startsWith("double")) {
                QTableView* pView = dlg.ListView();
                const QRect cell = pView->visualRect(dlg.PreviewModel()->index(step.right(1).toInt(), 2));
                // The press of the first click, then the second click's double-click event.
                QTest::mouseClick(pView->viewport(), Qt::LeftButton, {}, cell.center());
                QTest::mouseDClick(pView->viewport(), Qt::LeftButton, {}, cell.center());
            } else {
                dlg.ListView()->clearSelection();
                dlg.ListView()->selectRow(step.right(1).toInt());
                Click(dlg,
                      step.startsWith("take") ? CLibraryImportDlg::IDC_TAKE : CLibraryImportDlg::IDC_KEEP);
            }
        }
        // Nothing is written before the confirmation.
        QCOMPARE(QString::fromStdString(db.Scalar("SELECT VIDEO FROM DATA WHERE 投影机型号='Epson EMP-53'")),
                 QStringLiteral("534F555243452034310D"));
        Click(dlg, 1);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(g_messages.isEmpty());
        QCOMPARE(dlg.ControlAs<QProgressBar>(CLibraryImportDlg::IDC_PROGRESS)->value(), 1000);
        QCOMPARE(QString::fromStdString(db.Scalar("SELECT VIDEO FROM DATA WHERE 投影机型号='Epson EMP-53'")),
                 emp53Video);
        QCOMPARE(
            QString::fromStdString(db.Scalar("SELECT VIDEO FROM DATA WHERE 投影机型号='Epson EB-1410Wi'")),
            x1410Video);
    }

    void rowButtonsNeedASelection() {
        CTestDatabase db;
        WriteFile(db.Folder() / "in.csv", kHeader + kRows);
        library::CImportPreview preview;
        QVERIFY(preview.Load("in.csv", "data.mdb"));
        CLibraryImportDlg dlg(preview, "data.mdb");
        Click(dlg, CLibraryImportDlg::IDC_TAKE);
        QCOMPARE(g_messages, QStringList{"请先在列表中选择冲突的型号！"});
        QCOMPARE(preview.Choice(1), library::EChoice::Keep);
    }

    void cancelWritesNothing() {
        CTestDatabase db;
        WriteFile(db.Folder() / "in.csv", kHeader + kRows);
        const std::string strBefore = db.Scalar("SELECT count(*) FROM DATA");
        library::CImportPreview preview;
        QVERIFY(preview.Load("in.csv", "data.mdb"));
        CLibraryImportDlg dlg(preview, "data.mdb");
        Click(dlg, CLibraryImportDlg::IDC_TAKE_ALL);
        Click(dlg, 2);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(db.Scalar("SELECT count(*) FROM DATA"), strBefore);
    }

    void lockedLibraryKeepsTheDialogOpen() {
        CTestDatabase db;
        WriteFile(db.Folder() / "in.csv", kHeader + kRows);
        library::CImportPreview preview;
        QVERIFY(preview.Load("in.csv", "data.mdb"));
        CLibraryImportDlg dlg(preview, "data.mdb");
        dlg.m_nBusyTimeoutMs = 20;
        dlg.show();
        sqlite3* pOther = nullptr;
        QCOMPARE(sqlite3_open(Utf8FromPath(db.File()).c_str(), &pOther), SQLITE_OK);
        QCOMPARE(sqlite3_exec(pOther, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        Click(dlg, 1);
        sqlite3_exec(pOther, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(pOther);
        QCOMPARE(g_messages, QStringList{"data.mdb正被其他程序使用，请关闭该程序后再导入。资料库没有改动。"});
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.IsItemEnabled(1) && dlg.IsItemEnabled(2));
        QCOMPARE(db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号='Room 101 Projector'"),
                 std::string("0"));
        // Once the other program lets go, the same confirmation goes through.
        Click(dlg, 1);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号='Room 101 Projector'"),
                 std::string("1"));
    }

    // The projector dialog: export by its button, import by the list's context
    // menu, and the imported model in the list at once.
    void projectorDialogExportsAndImports() {
        CTestDatabase db;
        CTestProjectorDlg dlg;
        const int nBefore = dlg.TableModel()->rowCount();
        dlg.strExport = QString::fromStdString(Utf8FromPath((db.Folder() / "out.csv")));
        Click(dlg, CProjectorCodeDlg::IDC_EXPORT);
        QCOMPARE(g_messages, QStringList{QStringLiteral("导出完成：共%1个型号。").arg(nBefore)});
        QVERIFY(std::filesystem::exists(db.Folder() / "out.csv"));

        g_messages.clear();
        WriteFile(db.Folder() / "in.csv", kHeader + kRows);
        dlg.strImport = QString::fromStdString(Utf8FromPath((db.Folder() / "in.csv")));
        dlg.answer = [](CLibraryImportDlg& preview) {
            Click(preview, CLibraryImportDlg::IDC_TAKE_ALL);
            Click(preview, 1);
        };
        const QList<QAction*> actions = dlg.ListView()->actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions[1]->text(), QStringLiteral("导入代码库…"));
        actions[1]->trigger();
        QCOMPARE(g_messages, QStringList{"导入完成：新增1个型号，更新1个型号。"});
        CProjectorTableModel& table = *dlg.TableModel();
        QCOMPARE(table.rowCount(), nBefore + 1);
        bool bFound = false;
        for (int r = 0; r < table.rowCount(); ++r) {
            if (r > 0)
                QVERIFY(table.CellText(r - 1, 0) <= table.CellText(r, 0));
            bFound = bFound || table.CellText(r, 0) == "Room 101 Projector";
        }
        QVERIFY(bFound);
        QVERIFY(!dlg.m_bRowChosen);
    }

    // data.mdb seen through a read-only view of its folder: the import
    // is refused before a file is even asked for.
    void importOnReadOnlyMediumIsRefused() {
        CTestDatabase db;
        CTestProjectorDlg dlg;
        {
            CReadOnlyView medium(db.Folder());
            if (!medium.Made())
                QSKIP("no read-only view of a folder can be made here");
            dlg.strImport = "in.csv";
            Click(dlg, CProjectorCodeDlg::IDC_IMPORT);
        }
        QCOMPARE(g_messages,
                 QStringList{"在光盘中不能进行导入数据操作，请把程序复制到本地硬盘后再进行操作！"});
        QCOMPARE(dlg.nImportAsked, 0);
    }

    // Picking the library's own file (by its name or another path to it) in
    // the save dialog is refused with a message; the library stays whole.
    void exportOverTheLibraryIsRefused_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("its name") << "data.mdb";
        QTest::newRow("another path") << "./sub/../data.mdb";
    }
    void exportOverTheLibraryIsRefused() {
        QFETCH(QString, target);
        CTestDatabase db;
        std::filesystem::create_directory(db.Folder() / "sub");
        std::ifstream before(db.File(), std::ios::binary);
        const std::string strBefore((std::istreambuf_iterator<char>(before)),
                                    std::istreambuf_iterator<char>());
        CTestProjectorDlg dlg;
        dlg.strExport = target;
        Click(dlg, CProjectorCodeDlg::IDC_EXPORT);
        QCOMPARE(g_messages, QStringList{QStringLiteral("不能导出到%1：这是正在使用的代码库，导出会把它覆盖。"
                                                        "请另选一个CSV文件名。")
                                             .arg(target)});
        std::ifstream after(db.File(), std::ios::binary);
        QCOMPARE(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()),
                 strBefore);
    }

    // The preview says which encoding it read the file in, and the installer
    // can have it read the other way.
    void encodingIsShownAndCanBeChosen() {
        CTestDatabase db;
        // Room 101 Projector with the parity 偶 in GBK: C5 BC, also the UTF-8 ż.
        WriteFile(db.Folder() / "in.csv", kHeader + "Room 101 Projector,4800,\xC5\xBC,0A,0B,0C,0D\r\n");
        library::CImportPreview preview;
        QVERIFY(preview.Load("in.csv", "data.mdb"));
        CLibraryImportDlg dlg(preview, "data.mdb");
        QCOMPARE(dlg.GetItemText(CLibraryImportDlg::IDC_ENCODING), QStringLiteral("编码：GBK"));
        QCOMPARE(Cell(dlg, 0, CImportPreviewModel::Parity), QStringLiteral("偶"));
        auto* pChoice = dlg.ControlAs<QComboBox>(CLibraryImportDlg::IDC_ENCODING_CHOICE);
        QVERIFY(pChoice && pChoice->isEnabled());
        QCOMPARE(pChoice->currentText(), QStringLiteral("自动识别编码"));

        pChoice->setCurrentIndex(1);
        emit pChoice->activated(1);
        QCOMPARE(dlg.GetItemText(CLibraryImportDlg::IDC_ENCODING), QStringLiteral("编码：UTF-8"));
        QCOMPARE(dlg.GetItemText(CLibraryImportDlg::IDC_SUMMARY),
                 QStringLiteral("新增0个，相同0个，冲突0个，无效1个"));
        QCOMPARE(Cell(dlg, 0, CImportPreviewModel::Parity), QStringLiteral("ż"));

        pChoice->setCurrentIndex(2);
        emit pChoice->activated(2);
        QCOMPARE(dlg.GetItemText(CLibraryImportDlg::IDC_ENCODING), QStringLiteral("编码：GBK"));
        QCOMPARE(dlg.GetItemText(CLibraryImportDlg::IDC_SUMMARY),
                 QStringLiteral("新增1个，相同0个，冲突0个，无效0个"));
        Click(dlg, 1);
        QCOMPARE(db.Scalar("SELECT 校验 FROM DATA WHERE 投影机型号='Room 101 Projector'"), std::string("偶"));
        QVERIFY(g_messages.isEmpty());
    }

    void projectorDialogReportsFilesItCannotRead_data() {
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << ""
                               << "文件是空的，没有可导入的数据。";
        QTest::newRow("no header")
            << "M,9600,无,0A,0B,0C,0D\n"
            << "文件缺少列：model、baud、parity、VGA、VIDEO、POWER ON、POWER OFF。第一行应是列名：model,"
               "baud,parity,VGA,VIDEO,POWER ON,POWER OFF（或投影机型号、波特率、校验、VGA、VIDEO、"
               "POWER ON、POWER OFF）。";
    }
    void projectorDialogReportsFilesItCannotRead() {
        QFETCH(QString, bytes);
        QFETCH(QString, message);
        CTestDatabase db;
        CTestProjectorDlg dlg;
        WriteFile(db.Folder() / "in.csv", bytes.toStdString());
        dlg.strImport = QString::fromStdString(Utf8FromPath((db.Folder() / "in.csv")));
        bool bPreviewed = false;
        dlg.answer = [&](CLibraryImportDlg&) { bPreviewed = true; };
        Click(dlg, CProjectorCodeDlg::IDC_IMPORT);
        QCOMPARE(g_messages, QStringList{message});
        QVERIFY(!bPreviewed);
    }

    // The window says why the system or the engine refused in its own words:
    // the common causes by name, never the system's English.
    void systemCausesAreSaidInChinese_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        const std::pair<base::EFileError, const char*> causes[] = {
            {base::EFileError::NotFound, "文件不存在"},
            {base::EFileError::AccessDenied, "没有访问权限"},
            {base::EFileError::ReadOnly, "文件是只读的"},
            {base::EFileError::InUse, "文件正被其他程序使用"},
            {base::EFileError::DiskFull, "磁盘已满"},
            {base::EFileError::NotADatabase, "不是数据库文件"},
            {base::EFileError::Damaged, "数据库文件已损坏"},
            {base::EFileError::Other, "系统错误"},
        };
        for (const auto& [eKind, pszCause] : causes)
            QTest::newRow(pszCause) << int(eKind)
                                    << QStringLiteral("无法打开data.mdb：") + QString::fromUtf8(pszCause);
    }
    void systemCausesAreSaidInChinese() {
        QFETCH(int, kind);
        QFETCH(QString, message);
        const base::SFileError system{static_cast<base::EFileError>(kind), "disk I/O error"};
        QCOMPARE(
            words::LibraryErrorText({library::ELibraryError::CannotOpenLibrary, "data.mdb", {}, 0, system}),
            message);
        // No failure of the library lets the system's text through.
        for (int nCode = 1; nCode <= int(library::kLastLibraryError); ++nCode) {
            const QString strText = words::LibraryErrorText(
                {static_cast<library::ELibraryError>(nCode), "in.csv", "列", 7, system});
            QVERIFY2(!strText.contains(QStringLiteral("disk I/O")), qPrintable(strText));
            QVERIFY2(strText.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))),
                     qPrintable(strText));
        }
    }
};

QTEST_MAIN(CLibraryImportDlgTest)
#include "LibraryImportDlgTest.moc"
