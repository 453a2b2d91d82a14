// 批量设置 against the real velmora-controller standing in for a building on
// loopback: rooms from a scan and from a plan file, the plan refusals
// (nothing sent), a run with a silent room and one that loses a reply,
// stop, retry, the results file and the scan's inventory read back as a plan.
#include "BatchDlg.h"
#include "MainConfigDlg.h"
#include "MessageBox.h"
#include "ProgramValues.h"
#include "QtEmulatorProcess.h"
#include "RoomBar.h"
#include "ScanDlg.h"
#include "SetResultDlg.h"
#include "TestDatabase.h"

#include "BatchPlan.h"
#include "History.h"
#include "Utf8Path.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

#ifndef VELMORA_CONTROLLER
#error "VELMORA_CONTROLLER must name the emulator"
#endif

namespace {

// The emulator standing in for a building: controllers on 127.64.0.10 to .17.
class CBuilding : public CEmulatorProcess {
public:
    CBuilding() : CEmulatorProcess(QStringLiteral(VELMORA_CONTROLLER)) {}
    // The rooms' addresses, and the port (0: a free one; a restart keeps the
    // port and the rooms' states).
    bool Start(const QStringList& extra,
               const QString& strAddresses = QStringLiteral("127.64.0.10-127.64.0.17"),
               std::uint16_t nPort = 0) {
        return CEmulatorProcess::Start(QStringList{QStringLiteral("--addresses"), strAddresses,
                                                   QStringLiteral("--state-dir"),
                                                   Folder(QStringLiteral("states"))} +
                                           extra,
                                       nPort);
    }
    // Lines of the emulator's log holding a word: " recv " for each datagram
    // received, "applied" for each setting taken.
    int Logged(const char* pszWord) const {
        QFile file(Log());
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        return static_cast<int>(file.readAll().count(pszWord));
    }
    int Received() const { return Logged(" recv "); }
};

QString Address(int nLast) {
    return QStringLiteral("127.64.0.%1").arg(nLast);
}

// A room's line of a results file, found by its name or its address.
std::vector<std::string> ResultOf(const session::EarlierResults& results, const std::string& strKey) {
    for (const auto& line : results)
        if (line[0] == strKey || line[1] == strKey)
            return line;
    return {};
}

} // namespace

class CBatchDlgTest : public QObject {
    Q_OBJECT

    QStringList m_messages;
    std::unique_ptr<CTestDatabase> m_pDb;
    std::unique_ptr<CBuilding> m_pBuilding;
    std::unique_ptr<CMainConfigDlg> m_pWindow;
    double m_dPauseScale = 0.01; // the batch's Set pauses, of the wire format's

    // The window on the building's port, with short waits; its room bar
    // makes fast scan and batch dialogs.
    bool OpenWindow(const QStringList& faults = {},
                    const QString& strAddresses = QStringLiteral("127.64.0.10-127.64.0.17")) {
        m_pBuilding = std::make_unique<CBuilding>();
        if (!m_pBuilding->Start(faults, strAddresses))
            return false;
        CMainConfigDlg::STiming timing;
        timing.nPort = 0;
        timing.nPeerPort = m_pBuilding->Port();
        timing.nTimerPeriodMs = 100;
        timing.nPauseDivisor = 100;
        m_pWindow = std::make_unique<CMainConfigDlg>(timing);
        m_pWindow->OnInitDialog();
        m_pWindow->show();
        Bar().m_pfnMakeBatchDlg = [this](CMainConfigDlg& window, QWidget* pParent) {
            CBatchDlg::SOptions options;
            options.nTickMs = 100;
            options.dPauseScale = m_dPauseScale;
            options.nPollMs = 5;
            return new CBatchDlg(window, options, pParent);
        };
        Bar().m_pfnMakeScanDlg = [](CMainConfigDlg& window, QWidget* pParent) {
            CScanDlg::SOptions options;
            options.nTickMs = 100;
            options.nQueriesPerSecond = 1000;
            options.bProbe = false;
            return new CScanDlg(window, options, pParent);
        };
        return true;
    }
    CRoomBar& Bar() { return *m_pWindow->RoomBar(); }
    CBatchDlg& Batch() {
        if (!Bar().BatchDialog())
            Bar().OnBatch();
        return *Bar().BatchDialog();
    }
    QString File(const char* pszName) const {
        return QString::fromStdString((m_pDb->Folder() / pszName).string());
    }
    QString WritePlan(const char* pszName, const QByteArray& text) const {
        QFile file(File(pszName));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return file.fileName();
    }
    // The outcome column of the row holding an address.
    QString Outcome(const QString& strAddress) {
        for (int nRow = 0; nRow < Batch().RowCount(); ++nRow)
            if (Batch().CellText(nRow, CBatchDlg::kColAddress) == strAddress)
                return Batch().CellText(nRow, CBatchDlg::kColOutcome);
        return QStringLiteral("(no row)");
    }
    bool Run(bool bRetry = false) {
        QSignalSpy ended(&Batch(), &CBatchDlg::RunEnded);
        return Batch().StartRun(bRetry) && ended.wait(20000);
    }
    void TickServerIp(const QString& strValue) {
        Batch().FieldTick(CBatchDlg::kServerIp)->setChecked(true);
        static_cast<QLineEdit*>(Batch().FieldEditor(CBatchDlg::kServerIp))->setText(strValue);
    }
    // Scans the building's first rooms (and one silent address) in the scan dialog.
    CScanDlg& Scan() {
        Bar().OnFind();
        CScanDlg& scan = *Bar().ScanDialog();
        scan.RangeEdit()->setText(Address(10) + QStringLiteral("-") + Address(13) + QStringLiteral(",") +
                                  Address(40));
        QSignalSpy ended(&scan, &CScanDlg::ScanEnded);
        if (!scan.StartScan() || !ended.wait(10000))
            qWarning("the scan did not end");
        return scan;
    }

private slots:
    void init() {
        m_messages.clear();
        m_dPauseScale = 0.01;
        m_pDb = std::make_unique<CTestDatabase>();
        SetMessageRecorder([this](const QString& strText) { m_messages << strText; });
        InstallMessageSink();
        ResetProgramValues();
    }
    void cleanup() {
        m_pWindow.reset();
        m_pBuilding.reset();
        m_pDb.reset();
        SetMessageRecorder(nullptr);
    }

    // The bar's new button, and every control of the dialog named for a screen reader.
    void buttonAndNames() {
        QVERIFY(OpenWindow());
        QPushButton* pButton = Bar().Button(CRoomBar::kBatch);
        QVERIFY(pButton);
        QCOMPARE(pButton->accessibleName(), QStringLiteral("批量设置"));
        QCOMPARE(pButton->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
        pButton->click();
        QVERIFY(Bar().BatchDialog() && Bar().BatchDialog()->isVisible());
        for (QWidget* pControl : Batch().findChildren<QWidget*>())
            if (pControl->focusPolicy() & Qt::TabFocus &&
                (pControl->parentWidget() == &Batch() || qobject_cast<QGroupBox*>(pControl->parentWidget())))
                QVERIFY2(!pControl->accessibleName().isEmpty(),
                         qPrintable(pControl->metaObject()->className()));
    }

    // 加入批量 adds the selected controllers, or every one found when none is
    // selected; an address that answered nothing is no room.
    void roomsFromTheScan() {
        QVERIFY(OpenWindow());
        CScanDlg& scan = Scan();
        QCOMPARE(scan.RowCount(), 4);
        scan.Table()->selectRow(1);
        scan.AddToBatchButton()->click();
        QCOMPARE(Batch().RowCount(), 1);
        QCOMPARE(Batch().CellText(0, CBatchDlg::kColAddress), Address(11));
        scan.Table()->clearSelection();
        scan.AddToBatchButton()->click();
        QCOMPARE(Batch().RowCount(), 4); // 127.64.0.11 is not added twice
    }

    // The inventory the scan exports is a plan the batch reads back and can check.
    void inventoryReadBackAsAPlan() {
        QVERIFY(OpenWindow());
        CScanDlg& scan = Scan();
        QVERIFY(scan.ExportInventory(File("清单.csv")));
        session::SPlanTable plan;
        session::SPlanFileError error;
        QVERIFY(session::ReadPlanFile(File("清单.csv").toStdString(), plan, error));
        QCOMPARE(plan.rows.size(), std::size_t(4));
        QCOMPARE(plan.rows[0].cells["address"], std::string("127.64.0.10"));
        QVERIFY(!plan.rows[0].cells["server_ip"].empty());
        for (const session::SBatchRoom& room : session::RoomsFromPlan(plan, {}))
            QVERIFY2(room.bPrepared, room.strDifferences.c_str());
        QVERIFY(Batch().OpenPlan(File("清单.csv")));
        QSignalSpy checked(&Batch(), &CBatchDlg::CheckEnded);
        QVERIFY(Batch().StartCheck());
        QVERIFY(checked.wait(10000));
        for (int n = 10; n <= 13; ++n)
            QCOMPARE(Outcome(Address(n)), QStringLiteral("可以设置"));
        QVERIFY(Batch().CheckReport()->toPlainText().contains(QStringLiteral("（无变化）")));
    }

    // A plan file (GB18030 here) opens with its room names; the check shows
    // each change now → planned and a new address that another controller
    // holds; nothing is applied.
    void checkFromAPlanFile() {
        QVERIFY(OpenWindow());
        // "room,address,controller_ip,server_ip" with 一楼 and 二楼 in GB18030.
        const QByteArray plan = QByteArray("room,address,controller_ip,server_ip\n") + "\xD2\xBB\xC2\xA5," +
                                Address(10).toLatin1() + ",," + "10.9.9.9\n" + "\xB6\xFE\xC2\xA5," +
                                Address(11).toLatin1() + "," + Address(16).toLatin1() + ",\n";
        QVERIFY(Batch().OpenPlan(WritePlan("plan.csv", plan)));
        QCOMPARE(Batch().CellText(0, CBatchDlg::kColRoom), QStringLiteral("一楼"));
        QSignalSpy checked(&Batch(), &CBatchDlg::CheckEnded);
        QVERIFY(Batch().StartCheck());
        QVERIFY(checked.wait(10000));
        QCOMPARE(Outcome(Address(10)), QStringLiteral("可以设置"));
        QVERIFY(Outcome(Address(11)).contains(QStringLiteral("新地址已有其他中控应答")));
        const QString strReport = Batch().CheckReport()->toPlainText();
        QVERIFY2(strReport.contains(QStringLiteral("服务器IP：")) &&
                     strReport.contains(QStringLiteral("→ 10.9.9.9")),
                 qPrintable(strReport));
        QVERIFY(m_pBuilding->Received() > 0);
        QCOMPARE(m_pBuilding->Logged("applied"), 0);
    }

    // 打开计划 reads a plan as a spreadsheet saves it (padding rows and
    // columns, the table's own column names) and refuses a named column it
    // does not know, or a cell beyond the header, naming the line.
    void spreadsheetPlans_data() {
        QTest::addColumn<QByteArray>("plan");
        QTest::addColumn<int>("rooms"); // -1: refused
        QTest::addColumn<QString>("said");
        const QByteArray a10 = Address(10).toLatin1(), a11 = Address(11).toLatin1();
        QTest::newRow("padding, window names")
            << QByteArray("\xE6\x88\xBF\xE9\x97\xB4,\xE7\x8E\xB0\xE5\x9C\xB0\xE5\x9D\x80,,\n,,,\nA," + a10 +
                          ",,\n,,,\nB," + a11 + ",,\n,,,\n")
            << 2 << QString();
        QTest::newRow("unknown column") << QByteArray("room,address,colour\nA," + a10 + ",red\n") << -1
                                        << QStringLiteral("不认识的列“colour”。可用的列名：房间、现地址");
        QTest::newRow("cell beyond the header") << QByteArray("room,address\n\nA," + a10 + ",x\n") << -1
                                                << QStringLiteral("第 3 行有 3 个单元格，标题行只有 2 列");
        // What the reader refuses is said in the window's words, not the reader's.
        QTest::newRow("quote not closed")
            << QByteArray("room,address\n\"A," + a10 + "\n") << -1 << QStringLiteral("第 2 行的引号没有结束");
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFEr\0o\0") << -1
                                << QStringLiteral("不支持UTF-16编码的文件");
    }
    void spreadsheetPlans() {
        QFETCH(QByteArray, plan);
        QFETCH(int, rooms);
        QFETCH(QString, said);
        QVERIFY(OpenWindow());
        QCOMPARE(Batch().OpenPlan(WritePlan("plan.csv", plan)), rooms >= 0);
        if (rooms < 0) {
            QCOMPARE(m_messages.size(), 1);
            QVERIFY2(m_messages[0].contains(said), qPrintable(m_messages[0]));
            QVERIFY2(!m_messages[0].contains(QStringLiteral("cannot")) &&
                         !m_messages[0].contains(QStringLiteral("line")),
                     qPrintable(m_messages[0]));
            QCOMPARE(Batch().RowCount(), 0);
            return;
        }
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(Batch().RowCount(), rooms);
        QCOMPARE(Batch().CellText(1, CBatchDlg::kColRoom), QStringLiteral("B"));
        QCOMPARE(Batch().CellText(1, CBatchDlg::kColAddress), Address(11));
    }

    // Each kind of bad plan is refused before anything is sent, said in a
    // real modal box (closed by a timer), for the check and for the run.
    void badPlansAreRefused_data() {
        QTest::addColumn<QByteArray>("plan");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("run");
        const QByteArray a10 = Address(10).toLatin1(), a11 = Address(11).toLatin1();
        QTest::newRow("address twice")
            << QByteArray("room,address\nA," + a10 + "\nB," + a10 + "\n") << QStringLiteral("重复") << true;
        QTest::newRow("new address twice") << QByteArray("room,address,controller_ip\nA," + a10 +
                                                         ",127.64.0.30\nB," + a11 + ",127.64.0.30\n")
                                           << QStringLiteral("的新中控IP 127.64.0.30 与“A”的相同") << false;
        QTest::newRow("new address of another row")
            << QByteArray("room,address,controller_ip\nA," + a10 + "," + a11 + "\nB," + a11 + ",\n")
            << QStringLiteral("是“B”的地址") << true;
        QTest::newRow("bad mask") << QByteArray("room,address,mask\nA," + a10 + ",255.0.255.0\n")
                                  << QStringLiteral("子网掩码：子网掩码不连续") << true;
        QTest::newRow("bad lock time") << QByteArray("room,address,lock_time\nA," + a10 + ",121\n")
                                       << QStringLiteral("电控锁时间：“121”应为") << false;
        QTest::newRow("unknown model") << QByteArray("room,address,projector1\nA," + a10 + ",No Such Model\n")
                                       << QStringLiteral("投影机库中没有该型号") << true;
        QTest::newRow("library row breaks a save rule")
            << QByteArray("room,address,projector2\nA," + a10 + ",Odd Code\n")
            << QStringLiteral("投影机库中“Odd Code”一行不符合保存规则") << false;
    }
    void badPlansAreRefused() {
        QFETCH(QByteArray, plan);
        QFETCH(QString, said);
        QFETCH(bool, run);
        m_pDb->Exec("INSERT INTO DATA VALUES ('Odd Code','9600','无','0A','0B1','0C','0D')");
        QVERIFY(OpenWindow());
        QVERIFY(Batch().OpenPlan(WritePlan("plan.csv", plan)));
        SetMessageRecorder(nullptr);
        QString strShown;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                strShown = pBox->text();
                pBox->accept();
            }
        });
        closer.start(20);
        const bool bStarted = run ? Batch().StartRun() : Batch().StartCheck();
        closer.stop();
        QVERIFY(!bStarted);
        QVERIFY2(strShown.contains(QStringLiteral("未发送任何设置")) && strShown.contains(said),
                 qPrintable(strShown));
        QTest::qWait(200);
        QCOMPARE(m_pBuilding->Received(), 0);
        QVERIFY(!QFile::exists(Batch().ResultsEdit()->text()));
    }

    // Ticked fields go to every room; a room's own plan value wins. A silent
    // room and one that loses a reply fail alone, the others are backed up,
    // written and read back; the results file has every room's line, and a
    // finished room's double-click opens its per-field result.
    void runWithFaultyRooms() {
        QVERIFY(OpenWindow({QStringLiteral("--fault"), Address(12) + QStringLiteral(":silent"),
                            QStringLiteral("--fault"), Address(13) + QStringLiteral(":drop=2")}));
        const QByteArray plan = "room,address,server_ip\n" + QByteArray("A,") + Address(10).toLatin1() +
                                ",10.7.7.7\nB," + Address(11).toLatin1() + ",\nC," + Address(12).toLatin1() +
                                ",\nD," + Address(13).toLatin1() + ",\n";
        QVERIFY(Batch().OpenPlan(WritePlan("plan.csv", plan)));
        TickServerIp(QStringLiteral("10.8.8.8"));
        Batch().ResultsEdit()->setText(File("结果.csv"));
        QVERIFY(Run());
        QCOMPARE(Outcome(Address(10)), QStringLiteral("成功"));
        QCOMPARE(Outcome(Address(11)), QStringLiteral("成功"));
        QVERIFY(Outcome(Address(12)).startsWith(QStringLiteral("失败")));
        QVERIFY(Outcome(Address(13)).startsWith(QStringLiteral("失败")));

        session::EarlierResults results;
        session::SPlanFileError error;
        QVERIFY(session::ReadResultsFile(File("结果.csv").toStdString(), results, error));
        QCOMPARE(results.size(), std::size_t(4));
        QCOMPARE(ResultOf(results, "A")[2], std::string("ok"));
        QCOMPARE(ResultOf(results, "C")[2], std::string("failed"));
        // The results file explains a failure in the window's words.
        QCOMPARE(ResultOf(results, "C")[3], std::string("失败：该中控无信息返回，未发送"));
        QVERIFY(!ResultOf(results, "A")[6].empty()); // the backup taken before the Set
        QVERIFY(!session::CHistory(m_pDb->Folder()).List(codec::AddressToBytes("127.64.0.11")).empty());

        // What each room holds now: its own server IP, or the common one.
        for (const auto& [pszAddress, pszServer] :
             {std::pair{"127.64.0.10", "10.7.7.7"}, {"127.64.0.11", "10.8.8.8"}}) {
            QSignalSpy read(m_pWindow.get(), &CMainConfigDlg::ReadEnded);
            m_pWindow->ReadController(codec::AddressToBytes(pszAddress));
            QVERIFY(read.wait(5000));
            QCOMPARE(codec::BytesToAddress(m_pWindow->LastRead().settings.serverIp), std::string(pszServer));
        }

        Batch().ShowRoomResult(0);
        QVERIFY(Batch().ResultDialog());
        QVERIFY(Batch().ResultDialog()->Table()->rowCount() > 0);
        // A room without a read-back says why instead.
        Batch().ShowRoomResult(2);
        QVERIFY(m_messages.last().contains(QStringLiteral("没有读回结果")));
        // Rows removed after a run leave nothing behind that points at them.
        Batch().Table()->selectAll();
        Batch().Button(QString::fromUtf8(CBatchDlg::kRemove))->click();
        QCOMPARE(Batch().RowCount(), 0);
        Batch().ShowRoomResult(0);
    }

    // Backups are saved away from the window's thread, but each room's Set
    // still waits for its own: a history that cannot be written stops every
    // room with nothing sent, and the results file says why.
    void backupThatCannotBeSavedSendsNothing() {
        QVERIFY(OpenWindow());
        // A file where the history folder goes: no backup can be saved.
        QFile blocker(QString::fromStdString((m_pDb->Folder() / "history").string()));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        for (int n = 10; n <= 12; ++n)
            Batch().AddRoom({}, Address(n));
        TickServerIp(QStringLiteral("10.4.4.4"));
        Batch().ParallelSpin()->setValue(3);
        Batch().ResultsEdit()->setText(File("results.csv"));
        QVERIFY(Run());
        session::EarlierResults results;
        session::SPlanFileError error;
        QVERIFY(session::ReadResultsFile(File("results.csv").toStdString(), results, error));
        QCOMPARE(results.size(), std::size_t(3));
        for (int n = 10; n <= 12; ++n) {
            QVERIFY(Outcome(Address(n)).startsWith(QStringLiteral("失败")));
            const auto& line = ResultOf(results, Address(n).toStdString());
            QCOMPARE(line[2], std::string("failed"));
            QVERIFY2(line[3].find("cannot save the history") != std::string::npos, line[3].c_str());
            QVERIFY(line[6].empty());
        }
        // Every room still holds its old server IP.
        QSignalSpy read(m_pWindow.get(), &CMainConfigDlg::ReadEnded);
        m_pWindow->ReadController(codec::AddressToBytes(Address(11).toStdString()));
        QVERIFY(read.wait(5000));
        QVERIFY(codec::BytesToAddress(m_pWindow->LastRead().settings.serverIp) != "10.4.4.4");
    }

    // 停止 lets the Set under way finish; the rooms not begun are 未执行.
    // 重试失败 then runs only the rooms that did not end ok.
    void stopThenRetry() {
        m_dPauseScale = 0.1; // a Set of about a second, so 停止 comes during one
        QVERIFY(OpenWindow());
        for (int n = 10; n <= 14; ++n)
            Batch().AddRoom({}, Address(n));
        TickServerIp(QStringLiteral("10.6.6.6"));
        Batch().ParallelSpin()->setValue(1);
        Batch().ResultsEdit()->setText(File("results.csv"));
        QSignalSpy ended(&Batch(), &CBatchDlg::RunEnded);
        QVERIFY(Batch().StartRun());
        QTRY_VERIFY_WITH_TIMEOUT(
            std::any_of(Batch().Rooms().begin(), Batch().Rooms().end(),
                        [](const auto& r) { return r.ePhase == session::EBatchPhase::Setting; }),
            10000);
        Batch().Button(QString::fromUtf8(CBatchDlg::kStop))->click();
        QVERIFY(ended.wait(10000));
        int nOk = 0, nNotRun = 0;
        for (int n = 10; n <= 14; ++n) {
            nOk += Outcome(Address(n)) == QStringLiteral("成功");
            nNotRun += Outcome(Address(n)) == QStringLiteral("未执行");
        }
        QCOMPARE(nOk, 1);
        QCOMPARE(nNotRun, 4);

        Batch().ParallelSpin()->setValue(16);
        QVERIFY(Run(true));
        const auto& rooms = Batch().Rooms();
        QCOMPARE(std::count_if(rooms.begin(), rooms.end(), [](const auto& r) { return r.bRun; }), 4);
        for (int n = 10; n <= 14; ++n)
            QCOMPARE(Outcome(Address(n)), QStringLiteral("成功"));
        session::EarlierResults results;
        session::SPlanFileError error;
        QVERIFY(session::ReadResultsFile(File("results.csv").toStdString(), results, error));
        QCOMPARE(results.size(), std::size_t(5));
        for (const auto& line : results)
            QCOMPARE(line[2], std::string("ok"));
        // Nothing left to retry.
        QVERIFY(!Batch().RetryFailed());
        QVERIFY(m_messages.last().contains(QStringLiteral("没有要重试的房间")));
    }

    // Closing the main window during a run asks (No goes on); Yes stops the
    // run, the room being set finishes its Set, and only then does the
    // window close: no room is left half written.
    void closingTheWindowDuringARunLetsTheRoomsUnderWayFinish() {
        m_dPauseScale = 0.1;
        QVERIFY(OpenWindow());
        for (int n = 10; n <= 13; ++n)
            Batch().AddRoom({}, Address(n));
        TickServerIp(QStringLiteral("10.7.7.7"));
        Batch().ParallelSpin()->setValue(1);
        Batch().ResultsEdit()->setText(File("results.csv"));
        QStringList questions;
        bool bAnswer = false;
        SetQuestionRecorder([&](const QString& strText) {
            questions << strText;
            return bAnswer;
        });
        QSignalSpy ended(&Batch(), &CBatchDlg::RunEnded);
        QVERIFY(Batch().StartRun());
        auto setting = [this] {
            return std::any_of(Batch().Rooms().begin(), Batch().Rooms().end(),
                               [](const auto& r) { return r.ePhase == session::EBatchPhase::Setting; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(setting(), 10000);
        m_pWindow->close();
        QCOMPARE(questions.size(), 1);
        QVERIFY(m_pWindow->isVisible() && Batch().IsBusy());
        QTRY_VERIFY_WITH_TIMEOUT(setting(), 10000);
        bAnswer = true;
        m_pWindow->close();
        QCOMPARE(questions.size(), 2);
        QVERIFY(m_pWindow->isVisible());
        QVERIFY(ended.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!m_pWindow->isVisible(), 2000);
        int nOk = 0, nNotRun = 0;
        for (int n = 10; n <= 13; ++n) {
            nOk += Outcome(Address(n)) == QStringLiteral("成功");
            nNotRun += Outcome(Address(n)) == QStringLiteral("未执行");
        }
        QCOMPARE(nOk + nNotRun, 4);
        QVERIFY(nOk >= 1);
        SetQuestionRecorder(nullptr);
    }

    // A message box of the window, open while the rooms are written, holds
    // nothing up: the rooms end and the table fills while it is open.
    void runGoesOnUnderARealMessageBox() {
        QVERIFY(OpenWindow());
        for (int n = 10; n <= 12; ++n)
            Batch().AddRoom({}, Address(n));
        TickServerIp(QStringLiteral("10.4.4.4"));
        Batch().ResultsEdit()->setText(File("results.csv"));
        bool bEnded = false;
        connect(&Batch(), &CBatchDlg::RunEnded, this, [&] { bEnded = true; });
        QVERIFY(Batch().StartRun());
        SetMessageRecorder(nullptr);
        bool bEndedInsideTheBox = false;
        QElapsedTimer clock;
        clock.start();
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (pBox && (bEnded || clock.elapsed() > 15000)) {
                bEndedInsideTheBox = bEnded;
                pBox->accept();
            }
        });
        closer.start(20);
        MessageBoxShow(QStringLiteral("请稍候"));
        closer.stop();
        QVERIFY(bEndedInsideTheBox);
        for (int n = 10; n <= 12; ++n)
            QCOMPARE(Outcome(Address(n)), QStringLiteral("成功"));
    }

    // A building as a newcomer meets it: twenty rooms scanned in a range
    // with spare addresses, all added, server IP and projector 1 ticked,
    // checked, started; the room that has gone silent fails alone and
    // succeeds on retry once it answers again; one results file and a
    // backup of every room are left behind.
    void wholeBuildingFromTheScan() {
        QVERIFY(OpenWindow({}, Address(8) + QStringLiteral("-") + Address(27)));
        // Twenty rooms answer at once: the program's one-second waits, so a
        // loaded machine (a sanitizer build) still hears every one in time.
        Bar().m_pfnMakeScanDlg = [](CMainConfigDlg& window, QWidget* pParent) {
            CScanDlg::SOptions options;
            options.nQueriesPerSecond = 1000;
            options.bProbe = false;
            return new CScanDlg(window, options, pParent);
        };
        Bar().m_pfnMakeBatchDlg = [this](CMainConfigDlg& window, QWidget* pParent) {
            CBatchDlg::SOptions options;
            options.dPauseScale = m_dPauseScale;
            options.nPollMs = 5;
            return new CBatchDlg(window, options, pParent);
        };
        Bar().OnFind();
        CScanDlg& scan = *Bar().ScanDialog();
        scan.RangeEdit()->setText(Address(8) + QStringLiteral("-") + Address(31));
        QSignalSpy scanned(&scan, &CScanDlg::ScanEnded);
        QVERIFY(scan.StartScan() && scanned.wait(20000));
        QCOMPARE(scan.RowCount(), 20);
        scan.Table()->clearSelection();
        scan.AddToBatchButton()->click();
        QCOMPARE(Batch().RowCount(), 20);

        // Room .20 stops answering after the survey.
        const std::uint16_t nPort = m_pBuilding->Port();
        QVERIFY(m_pBuilding->Start({QStringLiteral("--fault"), Address(20) + QStringLiteral(":silent")},
                                   Address(8) + QStringLiteral("-") + Address(27), nPort));
        TickServerIp(QStringLiteral("10.20.0.1"));
        Batch().FieldTick(CBatchDlg::kProjector1)->setChecked(true);
        auto* pModel = qobject_cast<QComboBox*>(Batch().FieldEditor(CBatchDlg::kProjector1));
        QVERIFY(pModel && pModel->count() > 1);
        pModel->setCurrentIndex(1);
        Batch().ResultsEdit()->setText(File("教学楼结果.csv"));

        QSignalSpy checked(&Batch(), &CBatchDlg::CheckEnded);
        QVERIFY(Batch().StartCheck() && checked.wait(30000));
        QCOMPARE(m_pBuilding->Logged("applied"), 0);

        // (How long the window's event loop is held up is the bench's to measure.)
        QVERIFY(Run());
        int nOk = 0;
        for (int n = 8; n <= 27; ++n)
            nOk += Outcome(Address(n)) == QStringLiteral("成功");
        QCOMPARE(nOk, 19);
        QVERIFY(Outcome(Address(20)).startsWith(QStringLiteral("失败")));

        // It answers again; only it is written on retry.
        QVERIFY(m_pBuilding->Start({}, Address(8) + QStringLiteral("-") + Address(27), nPort));
        QVERIFY(Run(true));
        QCOMPARE(Outcome(Address(20)), QStringLiteral("成功"));
        const auto& rooms = Batch().Rooms();
        QCOMPARE(std::count_if(rooms.begin(), rooms.end(), [](const auto& r) { return r.bRun; }), 1);

        session::EarlierResults results;
        session::SPlanFileError error;
        QVERIFY(session::ReadResultsFile(File("教学楼结果.csv").toStdString(), results, error));
        QCOMPARE(results.size(), std::size_t(20));
        for (const auto& line : results)
            QCOMPARE(line[2], std::string("ok"));
        const session::CHistory history(m_pDb->Folder());
        for (int n = 8; n <= 27; ++n)
            QVERIFY2(!history.List(codec::AddressToBytes(Address(n).toStdString())).empty(),
                     qPrintable(Address(n)));
    }

    // The table saved as a plan reads back with the same rooms and the
    // plan columns the rows carried.
    // Every writer of the window refuses a file it would destroy, whatever
    // name leads there, and sends and writes nothing.
    void writersRefuseTheLibraryDatabasesAndInputs_data() {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("target");
        const std::pair<const char*, const char*> rows[] = {
            {"results", "data.mdb"},   {"results", "sub/../data.mdb"}, {"results", "hard.csv"},
            {"results", "副本.db"},    {"results", "plan.csv"},        {"results", "plan"},
            {"plan", "hard.csv"},      {"plan", "data.mdb"},           {"plan", "副本.db"},
            {"inventory", "hard.csv"}, {"inventory", "副本.db"},       {"snapshot", "hard.json"},
            {"snapshot", "data.mdb"},
        };
        for (const auto& [pszWriter, pszTarget] : rows)
            QTest::addRow("%s %s", pszWriter, pszTarget)
                << QString::fromUtf8(pszWriter) << QString::fromUtf8(pszTarget);
    }
    void writersRefuseTheLibraryDatabasesAndInputs() {
        QFETCH(QString, writer);
        QFETCH(QString, target);
        QVERIFY(OpenWindow());
        const std::filesystem::path folder = m_pDb->Folder();
        std::filesystem::create_directory(folder / "sub");
        std::filesystem::create_hard_link(m_pDb->File(), folder / "hard.csv");
        std::filesystem::create_hard_link(m_pDb->File(), folder / "hard.json");
        std::filesystem::copy_file(m_pDb->File(), folder / PathFromUtf8("副本.db"));
        QVERIFY(Batch().OpenPlan(WritePlan("plan.csv", "room,address\n甲," + Address(10).toUtf8() + "\n")));
        const QString strTarget = File(target.toUtf8().constData());
        auto contents = [](const QString& strPath) {
            QFile file(QFile::exists(strPath) ? strPath : strPath + QStringLiteral(".csv"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray library = contents(File("data.mdb"));
        const QByteArray before = contents(strTarget);
        if (writer == QLatin1String("results")) {
            Batch().ResultsEdit()->setText(strTarget);
            const int nReceived = m_pBuilding->Received();
            QVERIFY(!Batch().StartRun(false));
            QTest::qWait(200);
            QCOMPARE(m_pBuilding->Received(), nReceived);
        } else if (writer == QLatin1String("plan")) {
            QVERIFY(!Batch().SavePlan(strTarget));
        } else if (writer == QLatin1String("inventory")) {
            QVERIFY(!Scan().ExportInventory(strTarget));
        } else {
            QSignalSpy read(m_pWindow.get(), &CMainConfigDlg::ReadEnded);
            m_pWindow->ReadController(codec::AddressToBytes("127.64.0.10"));
            QVERIFY(read.wait(5000));
            Bar().m_pfnChooseFile = [strTarget](CRoomBar::EFileChoice) { return strTarget; };
            Bar().OnSave();
        }
        QVERIFY2(m_messages.last().contains(QStringLiteral("没有写入任何文件")),
                 qPrintable(m_messages.last()));
        QVERIFY2(m_messages.last().contains(strTarget), qPrintable(m_messages.last()));
        QCOMPARE(contents(strTarget), before);
        QCOMPARE(contents(File("data.mdb")), library);
        QVERIFY(!std::filesystem::exists(folder / "history"));
    }

    // Each plan's results are its own file beside it; results of another
    // plan are replaced only when the installer says so; a typed name gets ".csv".
    void resultsFollowThePlan() {
        QVERIFY(OpenWindow());
        QStringList questions;
        SetQuestionRecorder([&questions](const QString& strText) {
            questions << strText;
            return false;
        });
        QVERIFY(Batch().OpenPlan(WritePlan("east.csv", "room,address\n东," + Address(10).toUtf8() + "\n")));
        QCOMPARE(QFileInfo(Batch().ResultsEdit()->text()).fileName(), QStringLiteral("east-results.csv"));
        QVERIFY(Run());
        QVERIFY(Run()); // a second run of the same plan asks nothing
        QVERIFY(questions.isEmpty());
        const QByteArray east = [&] {
            QFile file(File("east-results.csv"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        QVERIFY(!east.isEmpty());
        QVERIFY(Batch().OpenPlan(WritePlan("west.csv", "room,address\n西," + Address(11).toUtf8() + "\n")));
        QCOMPARE(QFileInfo(Batch().ResultsEdit()->text()).fileName(), QStringLiteral("west-results.csv"));
        Batch().ResultsEdit()->setText(File("east-results.csv"));
        const int nReceived = m_pBuilding->Received();
        QVERIFY(!Batch().StartRun(false));
        QCOMPARE(questions.size(), 1);
        QVERIFY(questions.first().contains(QStringLiteral("其他计划")));
        QCOMPARE(m_pBuilding->Received(), nReceived);
        QFile eastFile(File("east-results.csv"));
        QVERIFY(eastFile.open(QIODevice::ReadOnly));
        QCOMPARE(eastFile.readAll(), east);
        Batch().ResultsEdit()->setText(File("西结果"));
        QVERIFY(Run());
        QVERIFY(QFile::exists(File("西结果.csv")));
        QCOMPARE(Batch().ResultsEdit()->text(), File("西结果.csv"));
        SetQuestionRecorder(nullptr);
    }

    // The table is the plan: a room's own values are shown and win over the
    // ticks, a saved plan holds what a run would write, values lock with
    // their ticks while it runs, a check belongs to the plan it checked,
    // and the counts, colours and filter cover the whole plan across a retry.
    void theTableIsThePlan() {
        QVERIFY(OpenWindow());
        QAbstractItemModelTester source(Batch().Model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester shown(Batch().Table()->model(),
                                       QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(Batch().OpenPlan(WritePlan("own.csv", "room,address,server_ip\n甲," + Address(10).toUtf8() +
                                                          ",10.9.9.9\n乙," + Address(41).toUtf8() + ",\n")));
        QCOMPARE(Batch().CellText(0, CBatchDlg::kColOwn), QStringLiteral("服务器IP：10.9.9.9"));
        QCOMPARE(Batch().CellText(1, CBatchDlg::kColOwn), QString());
        TickServerIp(QStringLiteral("10.4.4.4"));
        QVERIFY(Batch().SavePlan(File("saved.csv")));
        session::SPlanTable saved;
        session::SPlanFileError error;
        QVERIFY(session::ReadPlanFile(File("saved.csv").toStdString(), saved, error));
        QCOMPARE(saved.rows.at(0).cells["server_ip"], std::string("10.9.9.9"));
        QCOMPARE(saved.rows.at(1).cells["server_ip"], std::string("10.4.4.4"));

        QSignalSpy checked(&Batch(), &CBatchDlg::CheckEnded);
        QVERIFY(Batch().StartCheck() && checked.wait(10000));
        QVERIFY(!Batch().CheckReport()->toPlainText().isEmpty());
        QVERIFY(Batch().OpenPlan(File("saved.csv")));
        QVERIFY(Batch().CheckReport()->toPlainText().isEmpty());
        QCOMPARE(Batch().CellText(0, CBatchDlg::kColState), QString());

        Batch().ResultsEdit()->setText(File("results.csv"));
        QSignalSpy ended(&Batch(), &CBatchDlg::RunEnded);
        QVERIFY(Batch().StartRun());
        QVERIFY(!Batch().FieldEditor(CBatchDlg::kServerIp)->isEnabled());
        QVERIFY(ended.wait(20000));
        QVERIFY(Batch().FieldEditor(CBatchDlg::kServerIp)->isEnabled());
        auto counted = [this] {
            return Batch().Progress()->value() == 2 && Batch().Progress()->maximum() == 2 &&
                   Batch().StatusLabel()->text().contains(QStringLiteral("2/2 个房间已结束：成功 1，失败 1"));
        };
        QVERIFY2(counted(), qPrintable(Batch().StatusLabel()->text()));
        QVERIFY(Batch().RetryFailed() && ended.wait(20000));
        QVERIFY2(counted(), qPrintable(Batch().StatusLabel()->text()));

        Batch().ShowFailedOnly(true);
        QCOMPARE(Batch().RowCount(), 1);
        QCOMPARE(Batch().CellText(0, CBatchDlg::kColAddress), Address(41));
        QCOMPARE(
            Batch().Table()->model()->index(0, CBatchDlg::kColOutcome).data(Qt::ForegroundRole).isValid(),
            true);
        Batch().Table()->setCurrentIndex(Batch().Table()->model()->index(0, 0));
        QSignalSpy diagnosed(&Batch(), &CBatchDlg::DiagnoseAddress);
        QVERIFY(Batch().Button(QString::fromUtf8(CBatchDlg::kDiagnose))->isEnabled());
        Batch().Button(QString::fromUtf8(CBatchDlg::kDiagnose))->click();
        QCOMPARE(diagnosed.size(), 1);
        QCOMPARE(diagnosed.first().first().toString(), Address(41));
        Batch().ShowFailedOnly(false);
        QCOMPARE(Batch().RowCount(), 2);
        // Enter on the room that was written opens its per-field result.
        Batch().Table()->setFocus();
        Batch().Table()->setCurrentIndex(Batch().Table()->model()->index(0, 0));
        QTest::keyClick(Batch().Table(), Qt::Key_Return);
        QVERIFY(Batch().ResultDialog() != nullptr);
    }

    void tableSavedAsAPlan() {
        QVERIFY(OpenWindow());
        QVERIFY(Batch().OpenPlan(
            WritePlan("in.csv", "room,address,lock_type\n甲," + Address(10).toUtf8() + ",电平型\n")));
        Batch().AddRoom(QStringLiteral("乙"), Address(11), Address(16));
        // Sorted by address, newest first: the file keeps the table's order.
        Batch().Table()->sortByColumn(CBatchDlg::kColAddress, Qt::DescendingOrder);
        QVERIFY(Batch().SavePlan(File("out.csv")));
        session::SPlanTable plan;
        session::SPlanFileError error;
        QVERIFY(session::ReadPlanFile(File("out.csv").toStdString(), plan, error));
        QCOMPARE(plan.rows.size(), std::size_t(2));
        QCOMPARE(plan.rows[1].cells["lock_type"], std::string("电平型"));
        QCOMPARE(plan.rows[0].cells["room"], std::string("乙"));
        QCOMPARE(plan.rows[0].cells["controller_ip"], std::string("127.64.0.16"));
        QCOMPARE(plan.rows[0].cells["lock_type"], std::string());
    }
};

QTEST_MAIN(CBatchDlgTest)
#include "BatchDlgTest.moc"
