// The window's work across many rooms against the real velmora-controller
// on loopback: finding controllers, saving and loading a room, the backups
// kept before each Set and the per-field result of a Set.
#include "DiagnosisDlg.h"
#include "EchoSweep.h"
#include "HistoryDlg.h"
#include "IpAddressEdit.h"
#include "MainConfigDlg.h"
#include "MainConfigIds.h"
#include "MessageBox.h"
#include "ProgramValues.h"
#include "QtEmulatorProcess.h"
#include "RoomBar.h"
#include "ScanDlg.h"
#include "SetResultDlg.h"
#include "TestDatabase.h"
#include "TrafficLogDlg.h"

#include "History.h"
#include "Snapshot.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

#include <memory>

#ifndef VELMORA_CONTROLLER
#error "VELMORA_CONTROLLER must name the emulator"
#endif

namespace {

// The emulator standing in for one or more controllers on a port of its own.
class CEmulator : public CEmulatorProcess {
public:
    CEmulator() : CEmulatorProcess(QStringLiteral(VELMORA_CONTROLLER)) {}
};

// A machine where this process may not send echo requests.
class CNoIcmpApi : public CSystemSocketApi {
public:
    TSocket OpenIcmp(EIcmpSocket) override { return kInvalidSocket; }
};

codec::Ip4 Ip(const char* pszText) {
    return codec::AddressToBytes(pszText);
}

} // namespace

class CRoomsTest : public QObject {
    Q_OBJECT

    QStringList m_messages;
    QStringList m_questions;
    bool m_bAnswer = false;
    std::unique_ptr<CTestDatabase> m_pDb;
    std::unique_ptr<CEmulator> m_pEmulator;
    std::unique_ptr<CMainConfigDlg> m_pWindow;

    // A window talking to the emulator's port, with short waits and pauses.
    bool OpenWindow(const QStringList& emulatorArgs) {
        m_pEmulator = std::make_unique<CEmulator>();
        if (!m_pEmulator->Start(emulatorArgs))
            return false;
        CMainConfigDlg::STiming timing;
        timing.nPort = 0;
        timing.nPeerPort = m_pEmulator->Port();
        timing.nTimerPeriodMs = 200; // a loaded machine still answers within the waits
        timing.nPauseDivisor = 100;
        m_pWindow = std::make_unique<CMainConfigDlg>(timing);
        m_pWindow->OnInitDialog();
        m_pWindow->show();
        return true;
    }
    CMainConfigDlg& Window() { return *m_pWindow; }
    CRoomBar& Bar() { return *m_pWindow->RoomBar(); }

    bool Read(const char* pszAddress) {
        QSignalSpy ended(m_pWindow.get(), &CMainConfigDlg::ReadEnded);
        Window().ReadController(Ip(pszAddress));
        // Only a complete read lets a Set go without a question.
        return ended.wait(5000) && ended.first().first().toBool() && Window().LastRead().Complete();
    }
    bool Set() {
        QSignalSpy ended(m_pWindow.get(), &CMainConfigDlg::SetEnded);
        Window().OnSet();
        return ended.wait(10000);
    }
    // Saves what the window holds through the bar, into a file of the test folder.
    QString Save(const QString& strName) {
        const QString strPath = QString::fromStdString((m_pDb->Folder() / strName.toStdString()).string());
        Bar().m_pfnChooseFile = [strPath](CRoomBar::EFileChoice) { return strPath; };
        Bar().OnSave();
        return strPath;
    }

private slots:
    void init() {
        m_messages.clear();
        m_questions.clear();
        m_bAnswer = false;
        m_pDb = std::make_unique<CTestDatabase>();
        SetMessageRecorder([this](const QString& strText) { m_messages << strText; });
        SetQuestionRecorder([this](const QString& strText) {
            m_questions << strText;
            return m_bAnswer;
        });
        InstallMessageSink();
        ResetProgramValues();
    }
    void cleanup() {
        m_pWindow.reset();
        m_pEmulator.reset();
        m_pDb.reset();
        SetMessageRecorder(nullptr);
        SetQuestionRecorder(nullptr);
        SetOfferRecorder(nullptr);
    }

    // 通信记录 lists what the window's socket sent and received, filters by
    // address, holds still while paused, saves what it lists (never over
    // data.mdb) and clears.
    void trafficLogShowsFiltersAndSaves() {
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2-127.0.0.3"),
                            QStringLiteral("--state-dir"), QStringLiteral("states")}));
        ProgramTrafficLog().Clear();
        QVERIFY(Read("127.0.0.2"));
        QVERIFY(Read("127.0.0.3"));
        Bar().Button(CRoomBar::kTrafficLog)->click();
        CTrafficLogDlg* pDialog = Bar().TrafficLogDialog();
        QVERIFY(pDialog);
        QVERIFY(pDialog->isVisible());
        QVERIFY(!pDialog->isModal());
        CTrafficLogModel* pModel = pDialog->Model();
        const auto column = [pModel](int nRow, int nColumn) {
            return pModel->data(pModel->index(nRow, nColumn)).toString();
        };
        // Two reads: a query and four replies each.
        QTRY_COMPARE(pModel->rowCount(), 10);
        QCOMPARE(column(0, CTrafficLogModel::kDirection), QStringLiteral("发送"));
        QCOMPARE(column(0, CTrafficLogModel::kAddress), QStringLiteral("127.0.0.2"));
        QCOMPARE(column(0, CTrafficLogModel::kKind), QStringLiteral("查询"));
        QCOMPARE(column(0, CTrafficLogModel::kLength), QStringLiteral("14"));
        QStringList decodings;
        for (int nRow = 0; nRow < pModel->rowCount(); ++nRow)
            decodings << column(nRow, CTrafficLogModel::kDecoding);
        QVERIFY2(decodings.join(QLatin1Char('|')).contains(QStringLiteral("中控IP 127.0.0.2")),
                 qPrintable(decodings.join(QLatin1Char('|'))));

        // The README's picture of the traffic log is taken here on request.
        if (qEnvironmentVariableIsSet("VELMORA_TRAFFIC_SCREENSHOT"))
            pDialog->grab().save(qEnvironmentVariable("VELMORA_TRAFFIC_SCREENSHOT"));
        pDialog->FilterEdit()->setText(QStringLiteral("127.0.0.3"));
        QCOMPARE(pModel->rowCount(), 5);
        for (int nRow = 0; nRow < pModel->rowCount(); ++nRow)
            QCOMPARE(column(nRow, CTrafficLogModel::kAddress), QStringLiteral("127.0.0.3"));

        // Paused, a new read does not show; 继续 brings it.
        pDialog->PauseButton()->click();
        QCOMPARE(pDialog->PauseButton()->text(), QString::fromUtf8(CTrafficLogDlg::kResume));
        QVERIFY(Read("127.0.0.3"));
        QTest::qWait(400);
        QCOMPARE(pModel->rowCount(), 5);
        pDialog->PauseButton()->click();
        QCOMPARE(pModel->rowCount(), 10);

        // 保存 writes the listed rows, the bytes too when they are shown.
        pDialog->HexBox()->setChecked(true);
        QVERIFY(!pDialog->View()->isColumnHidden(CTrafficLogModel::kBytes));
        const QString strFile = QString::fromStdString((m_pDb->Folder() / "通信记录").string());
        pDialog->m_pfnChooseFile = [strFile] { return strFile; };
        pDialog->OnSave();
        QFile saved(strFile + QStringLiteral(".txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QString strSaved = QString::fromUtf8(saved.readAll());
        QCOMPARE(strSaved, pDialog->Text());
        QCOMPARE(strSaved.count(QLatin1Char('\n')), 10);
        QVERIFY(strSaved.startsWith(column(0, CTrafficLogModel::kTime) +
                                    QStringLiteral(" 毫秒\t发送\t127.0.0.3\t查询\t14\t")));
        QVERIFY(strSaved.contains(QStringLiteral("4b 56 4d 50 52 48")));
        // Never over the data.mdb in use.
        const QString strDb = QString::fromStdString(m_pDb->File().string());
        QFile db(strDb);
        QVERIFY(db.open(QIODevice::ReadOnly));
        const QByteArray before = db.readAll();
        db.close();
        m_messages.clear();
        pDialog->m_pfnChooseFile = [strDb] { return strDb; };
        pDialog->OnSave();
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(db.open(QIODevice::ReadOnly));
        QCOMPARE(db.readAll(), before);
        // A file that cannot be written is said in the window's words.
        m_messages.clear();
        const QString strNowhere =
            QString::fromStdString((m_pDb->Folder() / "没有的文件夹" / "通信记录.txt").string());
        pDialog->m_pfnChooseFile = [strNowhere] { return strNowhere; };
        pDialog->OnSave();
        QCOMPARE(m_messages, QStringList{QStringLiteral("通信记录未能保存：文件不存在")});

        for (QWidget* pControl : pDialog->findChildren<QWidget*>())
            if (qobject_cast<QPushButton*>(pControl) || qobject_cast<QLineEdit*>(pControl) ||
                qobject_cast<QCheckBox*>(pControl) || qobject_cast<QTableView*>(pControl))
                QVERIFY2(!pControl->accessibleName().isEmpty(), qPrintable(pControl->objectName()));

        for (QPushButton* pButton : pDialog->findChildren<QPushButton*>())
            if (pButton->text() == QString::fromUtf8(CTrafficLogDlg::kClear))
                pButton->click();
        QCOMPARE(pModel->rowCount(), 0);
        QCOMPARE(ProgramTrafficLog().Size(), 0u);
    }

    // A read that heard nothing offers 诊断 in its message box, which opens
    // the diagnosis of that address.
    void silentReadOffersTheDiagnosis() {
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2"),
                            QStringLiteral("--state-dir"), QStringLiteral("states"),
                            QStringLiteral("--silent")}));
        QStringList offers;
        SetOfferRecorder([&offers](const QString& strText, const QString& strButton) {
            offers << strText + QLatin1Char('|') + strButton;
            return true;
        });
        Bar().m_diagnosisTiming.nQueryWaitMs = 300;
        QSignalSpy ended(m_pWindow.get(), &CMainConfigDlg::ReadEnded);
        Window().ReadController(Ip("127.0.0.2"));
        QVERIFY(ended.wait(5000));
        QCOMPARE(offers, QStringList{QStringLiteral("该中控无信息返回！|诊断")});
        CDiagnosisDlg* pDialog = Bar().DiagnosisDialog();
        QVERIFY(pDialog);
        QVERIFY(pDialog->windowTitle().contains(QStringLiteral("127.0.0.2")));
        QSignalSpy finished(pDialog, &CDiagnosisDlg::Finished);
        QVERIFY(pDialog->Running() == false || finished.wait(10000));
    }

    // Every button of the row is named after its text, has its shortcut,
    // and the ones that need a read follow the hidden microphone button.
    void barButtons_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::addColumn<bool>("needsRead");
        QTest::newRow("find") << "查找中控" << QKeySequence(Qt::CTRL | Qt::Key_F) << false;
        QTest::newRow("save") << "保存配置" << QKeySequence(Qt::CTRL | Qt::Key_S) << true;
        QTest::newRow("load") << "载入配置" << QKeySequence(Qt::CTRL | Qt::Key_O) << false;
        QTest::newRow("history") << "历史记录" << QKeySequence(Qt::CTRL | Qt::Key_H) << false;
        QTest::newRow("microphones") << "话筒具体设置" << QKeySequence(Qt::CTRL | Qt::Key_M) << true;
        QTest::newRow("diagnose") << "诊断" << QKeySequence(Qt::CTRL | Qt::Key_D) << false;
        QTest::newRow("trafficLog") << "通信记录" << QKeySequence(Qt::CTRL | Qt::Key_L) << false;
    }
    void barButtons() {
        QFETCH(QString, text);
        QFETCH(QKeySequence, shortcut);
        QFETCH(bool, needsRead);
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2"),
                            QStringLiteral("--state-dir"), QStringLiteral("states")}));
        QPushButton* pButton = Bar().Button(text.toUtf8().constData());
        QVERIFY(pButton);
        QCOMPARE(pButton->accessibleName(), text);
        QCOMPARE(pButton->shortcut(), shortcut);
        // The row sits below every control of the window's template.
        for (QWidget* pControl : Window().findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (pControl != &Bar() && pControl->isVisible())
                QVERIFY(pControl->geometry().bottom() < Bar().geometry().top());
        QCOMPARE(pButton->isEnabled(), !needsRead);
        QVERIFY(Read("127.0.0.2"));
        QVERIFY(pButton->isEnabled());
        QCOMPARE(pButton->isEnabled(), Window().IsItemEnabled(mainid::kMicSettings) || !needsRead);
    }

    // 诊断 diagnoses the controller in 初始IP beside the window's own socket,
    // lists every check and the conclusion, and 复制 copies that report.
    void diagnoseTheInitialIp_data() {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("queryMark");
        QTest::newRow("answers") << QStringList{} << "ok"
                                 << "✓";
        QTest::newRow("silent") << QStringList{QStringLiteral("--silent")} << "not-a-controller"
                                << "✗";
        QTest::newRow("kind4Dropped")
            << QStringList{QStringLiteral("--drop"), QStringLiteral("4")} << "partial"
            << "✗";
    }
    void diagnoseTheInitialIp() {
        QFETCH(QStringList, faults);
        QFETCH(QString, code);
        QFETCH(QString, queryMark);
        QVERIFY(OpenWindow(QStringList{QStringLiteral("--addresses"), QStringLiteral("127.0.0.2"),
                                       QStringLiteral("--state-dir"), QStringLiteral("states")} +
                           faults));
        Window().IpControl(mainid::kInitialIp)->SetText(QStringLiteral("127.0.0.2"));
        Bar().m_diagnosisTiming.nQueryWaitMs = 300;
        Bar().Button(CRoomBar::kDiagnose)->click();
        CDiagnosisDlg* pDialog = Bar().DiagnosisDialog();
        QVERIFY(pDialog);
        QVERIFY(pDialog->Running());
        QSignalSpy finished(pDialog, &CDiagnosisDlg::Finished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(pDialog->Table()->rowCount(), 7);
        QCOMPARE(pDialog->Table()->item(3, 0)->text(), QStringLiteral("查询"));
        QCOMPARE(pDialog->Table()->item(3, 1)->text(), queryMark);
        QCOMPARE(pDialog->Table()->item(2, 1)->text(), QStringLiteral("✓")); // the window's own port
        QCOMPARE(pDialog->Table()->item(6, 1)->text(), QStringLiteral("?")); // no firewall to ask here
        QVERIFY2(
            pDialog->Conclusion()->text().contains(QLatin1Char('(') + code + QLatin1Char(')')) ||
                pDialog->Conclusion()->text().contains(QStringLiteral("（") + code + QStringLiteral("）")),
            qPrintable(pDialog->Conclusion()->text()));
        for (QWidget* pControl : pDialog->findChildren<QWidget*>())
            if (qobject_cast<QPushButton*>(pControl) || qobject_cast<QTableWidget*>(pControl))
                QVERIFY(!pControl->accessibleName().isEmpty());
        for (QPushButton* pButton : pDialog->findChildren<QPushButton*>())
            if (pButton->text() == QString::fromUtf8(CDiagnosisDlg::kCopy))
                pButton->click();
        QCOMPARE(QApplication::clipboard()->text(), pDialog->ReportText());
        QVERIFY(QApplication::clipboard()->text().contains(queryMark + QStringLiteral(" 查询：")));
    }

    void micButtonRunsTheMicrophoneDialog() {
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2"),
                            QStringLiteral("--state-dir"), QStringLiteral("states")}));
        QList<CMainConfigDlg::EChildDialog> ran;
        Window().m_pfnRunChildDialog = [&](CMainConfigDlg::EChildDialog which) {
            ran << which;
            return int(QDialog::Accepted);
        };
        QVERIFY(Read("127.0.0.2"));
        QTest::mouseClick(Bar().Button(CRoomBar::kMicSettings), Qt::LeftButton);
        QCOMPARE(ran, QList<CMainConfigDlg::EChildDialog>{CMainConfigDlg::EChildDialog::MicSettings});
    }

    // A scan lists the controllers that answer, never the silent one as a
    // controller, and sends one query per address of the range.
    void scanListsControllers_data() {
        QTest::addColumn<QString>("range");
        QTest::addColumn<int>("queries");
        QTest::addColumn<QStringList>("controllers");
        QTest::addColumn<bool>("mayProbe");
        const QStringList three{"127.0.0.2", "127.0.0.3", "127.0.0.4"};
        QTest::newRow("cidr /28") << "127.0.0.0/28" << 14 << three << true;
        QTest::newRow("cidr /28 without the right to probe") << "127.0.0.0/28" << 14 << three << false;
        QTest::newRow("first-last") << "127.0.0.3-127.0.0.6" << 4 << QStringList{"127.0.0.3", "127.0.0.4"}
                                    << true;
        QTest::newRow("single address") << "127.0.0.5" << 1 << QStringList{} << true;
    }
    void scanListsControllers() {
        QFETCH(QString, range);
        QFETCH(int, queries);
        QFETCH(QStringList, controllers);
        QFETCH(bool, mayProbe);
        CNoIcmpApi noIcmp;
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2-127.0.0.5"),
                            QStringLiteral("--state-dir"), QStringLiteral("states"),
                            QStringLiteral("--fault"), QStringLiteral("127.0.0.5:silent")}));
        CScanDlg::SOptions options;
        options.nTickMs = 100;
        options.nEchoTimeoutMs = 100;
        if (!mayProbe)
            options.pEchoApi = &noIcmp;
        CScanDlg dialog(Window(), options);
        QAbstractItemModelTester tester(dialog.Table()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        dialog.RangeEdit()->setText(range);
        QSignalSpy ended(&dialog, &CScanDlg::ScanEnded);
        QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
        QVERIFY(dialog.IsScanning());
        QVERIFY(ended.wait(10000));
        QCOMPARE(ended.first().first().toBool(), false);
        QCOMPARE(dialog.QueriesSent(), std::size_t(queries));
        QCOMPARE(dialog.Progress()->value(), dialog.Progress()->maximum());

        QStringList listed, echoOnly;
        std::vector<codec::Ip4> order;
        for (int nRow = 0; nRow < dialog.RowCount(); ++nRow) {
            order.push_back(Ip(dialog.CellText(nRow, CScanDlg::kColAddress).toLatin1().constData()));
            const QString strServer = dialog.CellText(nRow, CScanDlg::kColServer);
            if (strServer == QStringLiteral("非中控或无响应")) {
                echoOnly << dialog.CellText(nRow, CScanDlg::kColAddress);
                continue;
            }
            listed << dialog.CellText(nRow, CScanDlg::kColAddress);
            // A fresh emulator reports its default server address and an answer time.
            QVERIFY(!strServer.isEmpty());
            QVERIFY(dialog.CellText(nRow, CScanDlg::kColAnswer).endsWith(QStringLiteral(" ms")));
        }
        QVERIFY2(std::is_sorted(order.begin(), order.end()), "rows are listed by address");
        QCOMPARE(listed, controllers);
        // Screen readers get the status text itself, not only the label's name.
        QLabel* pStatus = nullptr;
        for (QLabel* pLabel : dialog.findChildren<QLabel*>())
            if (pLabel->accessibleName() == QStringLiteral("扫描状态"))
                pStatus = pLabel;
        QVERIFY(pStatus);
        QVERIFY(!pStatus->text().isEmpty());
        QCOMPARE(pStatus->accessibleDescription(), pStatus->text());
        // Every other loopback address answers the echo probe, the silent
        // controller among them; without the right to probe the dialog says
        // so and lists controllers only.
        const bool bProbed = mayProbe && CEchoSweep::ProbingAllowed();
        QCOMPARE(echoOnly.size(), bProbed ? queries - static_cast<int>(controllers.size()) : 0);
        if (bProbed && range.contains(QStringLiteral("/28")))
            QVERIFY(echoOnly.contains(QStringLiteral("127.0.0.5")));
        QCOMPARE(dialog.ProbeNote()->isVisibleTo(&dialog), !bProbed);
        // The README's picture of the scan dialog is taken here on request.
        if (qEnvironmentVariableIsSet("VELMORA_SCAN_SCREENSHOT") && queries == 14 && mayProbe) {
            dialog.show();
            dialog.Table()->resizeColumnsToContents();
            dialog.grab().save(qEnvironmentVariable("VELMORA_SCAN_SCREENSHOT"));
        }
    }

    // Stop ends a long scan at once: no query goes out after it.
    void stopEndsTheScan() {
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2"),
                            QStringLiteral("--state-dir"), QStringLiteral("states")}));
        CScanDlg::SOptions options;
        options.nQueriesPerSecond = 50; // a /24 would take five seconds
        options.nTickMs = 100;
        options.bProbe = false;
        CScanDlg dialog(Window(), options);
        dialog.RangeEdit()->setText(QStringLiteral("127.0.0.0/24"));
        QSignalSpy ended(&dialog, &CScanDlg::ScanEnded);
        QVERIFY(dialog.StartScan());
        QTRY_VERIFY_WITH_TIMEOUT(dialog.QueriesSent() >= 5, 3000);
        QVERIFY(dialog.StopButton()->isEnabled());
        QTest::mouseClick(dialog.StopButton(), Qt::LeftButton);
        const std::size_t nSent = dialog.QueriesSent();
        QVERIFY(ended.wait(3000));
        QCOMPARE(ended.first().first().toBool(), true);
        QCOMPARE(dialog.QueriesSent(), nSent);
        QVERIFY(nSent < 254);
        QVERIFY(!dialog.IsScanning());
        QVERIFY(dialog.StartButton()->isEnabled());
    }

    void badRangeIsRefused_data() {
        QTest::addColumn<QString>("range");
        QTest::newRow("words") << "classroom";
        QTest::newRow("prefix too long") << "10.0.0.0/33";
        QTest::newRow("too many addresses") << "10.0.0.0/16";
        QTest::newRow("last before first") << "10.0.0.9-10.0.0.1";
    }
    void badRangeIsRefused() {
        QFETCH(QString, range);
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2"),
                            QStringLiteral("--state-dir"), QStringLiteral("states")}));
        CScanDlg dialog(Window());
        dialog.RangeEdit()->setText(range);
        QVERIFY(!dialog.StartScan());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages.first().startsWith(QStringLiteral("扫描范围无效：")));
        // The reason is the window's own, in Chinese: no English word but the typed text.
        QString strReason = m_messages.first();
        strReason.remove(range);
        QVERIFY2(!strReason.contains(QRegularExpression(QStringLiteral("[a-zA-Z]{3,}"))),
                 qPrintable(strReason));
        QCOMPARE(dialog.QueriesSent(), std::size_t(0));
        QVERIFY(!dialog.IsScanning());
    }

    // Enter on a controller's row reads it in the main window.
    void activatingARowReadsTheController() {
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2-127.0.0.3"),
                            QStringLiteral("--state-dir"), QStringLiteral("states")}));
        CScanDlg::SOptions options;
        options.nTickMs = 100;
        options.bProbe = false;
        CScanDlg dialog(Window(), options);
        dialog.RangeEdit()->setText(QStringLiteral("127.0.0.3"));
        QSignalSpy ended(&dialog, &CScanDlg::ScanEnded);
        QVERIFY(dialog.StartScan());
        QVERIFY(ended.wait(5000));
        QCOMPARE(dialog.RowCount(), 1);
        dialog.show();
        dialog.Table()->setFocus();
        dialog.Table()->setCurrentIndex(dialog.Table()->model()->index(0, 0));
        QSignalSpy read(m_pWindow.get(), &CMainConfigDlg::ReadEnded);
        QTest::keyClick(dialog.Table(), Qt::Key_Return);
        QCOMPARE(Window().IpControl(mainid::kInitialIp)->Text(), QStringLiteral("127.0.0.3"));
        // The key reads the row and nothing else: no new scan empties the list.
        QVERIFY(!dialog.IsScanning());
        QCOMPARE(dialog.RowCount(), 1);
        QVERIFY(read.wait(5000));
        QVERIFY(read.first().first().toBool());
        QVERIFY(m_messages.contains(QStringLiteral("获取完成！")));
        QCOMPARE(Window().LastRead().settings.initialIp, Ip("127.0.0.3"));
    }

    // Save, change the window, load: the window holds what was saved.
    void saveThenLoadGivesBackTheValues_data() {
        QTest::addColumn<bool>("otherController");
        QTest::addColumn<bool>("applyIp");
        QTest::newRow("same controller") << false << false;
        QTest::newRow("other controller, address kept") << true << false;
        QTest::newRow("other controller, address taken") << true << true;
    }
    void saveThenLoadGivesBackTheValues() {
        QFETCH(bool, otherController);
        QFETCH(bool, applyIp);
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2-127.0.0.3"),
                            QStringLiteral("--state-dir"), QStringLiteral("states")}));
        QVERIFY(Read("127.0.0.2"));
        // Changes made after the read are part of what is saved.
        Window().ControlAs<QComboBox>(mainid::kLockTime)->setCurrentIndex(7);
        Window().IpControl(mainid::kServerIp)->SetText(QStringLiteral("10.9.8.7"));
        const session::SControllerSettings saved = Window().CurrentSettings();
        // A name typed without its suffix gets one.
        const QString strPath = Save(otherController ? QStringLiteral("room.json") : QStringLiteral("room")) +
                                (otherController ? QString() : QStringLiteral(".json"));
        QCOMPARE(m_messages.last(), QStringLiteral("配置已保存！"));
        QVERIFY(QFileInfo::exists(strPath));
        session::SSnapshot onDisk;
        std::string strError;
        QVERIFY2(session::LoadSnapshot(strPath.toStdString(), onDisk, strError), strError.c_str());
        QCOMPARE(onDisk.read.settings.nLockTime, 7);
        QCOMPARE(onDisk.read.settings.serverIp, Ip("10.9.8.7"));

        if (otherController)
            QVERIFY(Read("127.0.0.3"));
        Window().ControlAs<QComboBox>(mainid::kLockTime)->setCurrentIndex(2);
        Window().IpControl(mainid::kServerIp)->SetText(QStringLiteral("10.0.0.1"));
        Window().ControlAs<QComboBox>(mainid::kLockType)->setCurrentIndex(1);
        m_bAnswer = applyIp;
        m_questions.clear();
        QVERIFY(Bar().LoadFile(strPath));
        // From another room, kept at its own address: the file's 中控IP is
        // asked about too (and refused), so .3 is never moved onto .2.
        QCOMPARE(m_questions.size(), otherController ? (applyIp ? 1 : 2) : 0);
        session::SControllerSettings expected = saved;
        if (otherController && !applyIp) {
            expected.initialIp = Ip("127.0.0.3");
            expected.controllerIp = Ip("127.0.0.3");
            QVERIFY(m_questions.last().contains(QStringLiteral("127.0.0.2")));
            QVERIFY(m_questions.last().contains(QStringLiteral("127.0.0.3")));
        }
        QVERIFY(Window().CurrentSettings() == expected);
        QVERIFY(Window().IsItemEnabled(mainid::kSet));
    }

    // Room A read whole, then room B with its projector-2 reply lost: the file
    // saved now does not pass A's projector-2 codes off as B's, and loading it
    // asks before a Set clears or overwrites that slot.
    void savedFileClaimsOnlyWhatTheReadGave() {
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2-127.0.0.3"),
                            QStringLiteral("--state-dir"), QStringLiteral("states"),
                            QStringLiteral("--fault"), QStringLiteral("127.0.0.3:drop=2")}));
        QVERIFY(Read("127.0.0.2"));
        QSignalSpy ended(m_pWindow.get(), &CMainConfigDlg::ReadEnded);
        Window().ReadController(Ip("127.0.0.3"));
        QVERIFY(ended.wait(5000));
        QVERIFY(!Window().LastRead().received[session::kPartProjector2]);
        const QString strPath = Save(QStringLiteral("room-b.json"));
        session::SSnapshot onDisk;
        std::string strError;
        QVERIFY2(session::LoadSnapshot(strPath.toStdString(), onDisk, strError), strError.c_str());
        QVERIFY(onDisk.read.received[session::kPartProjector1]);
        QVERIFY(onDisk.read.received[session::kPartNetwork]);
        QVERIFY(!onDisk.read.received[session::kPartProjector2]);

        QVERIFY(Read("127.0.0.2"));
        m_questions.clear();
        QVERIFY(Bar().LoadFile(strPath));
        m_bAnswer = false;
        m_questions.clear();
        Window().OnSet();
        QCOMPARE(m_questions.size(), 1);
        QVERIFY2(m_questions[0].contains(QStringLiteral("投影机2")), qPrintable(m_questions[0]));
        QVERIFY(!Window().IsSending());
    }

    // A file that is refused names its problem and changes nothing.
    void refusedFileChangesNothing_data() {
        QTest::addColumn<QString>("edit");  // how the saved file is spoiled
        QTest::addColumn<QString>("named"); // the reason the window gives
        const std::pair<const char*, const char*> rows[] = {
            {"text", "文件已损坏或不完整"},
            {"truncate", "文件已损坏或不完整"},
            {"version", "配置文件的版本较新，本程序不能读取"},
            {"lock_time", "“settings.lock_time”缺失或无效"},
            {"server_ip", "“settings.server_ip”缺失或无效"},
            {"missing", "文件不存在"},
        };
        for (const auto& [pszEdit, pszNamed] : rows)
            QTest::newRow(pszEdit) << QString::fromUtf8(pszEdit) << QString::fromUtf8(pszNamed);
    }
    void refusedFileChangesNothing() {
        QFETCH(QString, edit);
        QFETCH(QString, named);
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2"),
                            QStringLiteral("--state-dir"), QStringLiteral("states")}));
        QVERIFY(Read("127.0.0.2"));
        const QString strPath = Save(QStringLiteral("room.json"));
        QFile file(strPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray text = file.readAll();
        file.close();
        QJsonObject root = QJsonDocument::fromJson(text).object();
        QJsonObject settings = root.value(QStringLiteral("settings")).toObject();
        if (edit == QStringLiteral("text")) {
            text = "this is no snapshot";
        } else if (edit == QStringLiteral("truncate")) {
            text.truncate(text.size() / 2);
        } else if (edit == QStringLiteral("version")) {
            root[QStringLiteral("version")] = 99;
        } else if (edit == QStringLiteral("lock_time")) {
            settings[QStringLiteral("lock_time")] = QStringLiteral("500");
        } else if (edit == QStringLiteral("server_ip")) {
            settings[QStringLiteral("server_ip")] = QStringLiteral("10.0.0.256");
        }
        if (edit == QStringLiteral("version") || edit == QStringLiteral("lock_time") ||
            edit == QStringLiteral("server_ip")) {
            root[QStringLiteral("settings")] = settings;
            text = QJsonDocument(root).toJson();
        }
        if (edit == QStringLiteral("missing")) {
            QVERIFY(QFile::remove(strPath));
        } else {
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(text);
            file.close();
        }

        // The window shows other values than the file's, and keeps them.
        Window().ControlAs<QComboBox>(mainid::kLockTime)->setCurrentIndex(11);
        Window().IpControl(mainid::kServerIp)->SetText(QStringLiteral("10.3.3.3"));
        const session::SControllerSettings before = Window().CurrentSettings();
        const QString strInitial = Window().IpControl(mainid::kInitialIp)->Text();
        m_messages.clear();
        QVERIFY(!Bar().LoadFile(strPath));
        QCOMPARE(m_messages, QStringList{QStringLiteral("配置文件无法载入，窗口未作改动：") + named});
        QVERIFY(m_questions.isEmpty());
        QVERIFY(Window().CurrentSettings() == before);
        QCOMPARE(Window().IpControl(mainid::kInitialIp)->Text(), strInitial);
    }

    // Each Set first keeps what the controller held; the history lists one
    // backup per Set, and choosing one brings its values back.
    void historyKeepsOneBackupPerSet() {
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2"),
                            QStringLiteral("--state-dir"), QStringLiteral("states")}));
        QVERIFY(Read("127.0.0.2"));
        const session::SControllerSettings original = Window().LastRead().settings;
        const session::CHistory history(m_pDb->Folder());
        QCOMPARE(history.List(Ip("127.0.0.2")).size(), std::size_t(0));

        const std::array<int, 2> lockTimes{9, 30};
        const std::array<const char*, 2> servers{"10.1.1.1", "10.2.2.2"};
        std::vector<session::SControllerSettings> held{original};
        for (std::size_t i = 0; i < 2; ++i) {
            Window().ControlAs<QComboBox>(mainid::kLockType)->setCurrentIndex(0);
            Window().ControlAs<QComboBox>(mainid::kLockTime)->setCurrentIndex(lockTimes[i]);
            Window().IpControl(mainid::kServerIp)->SetText(QString::fromStdString(std::string(servers[i])));
            QVERIFY(Set());
            QVERIFY(Window().SetConfirmed());
            const auto files = history.List(Ip("127.0.0.2"));
            QCOMPARE(files.size(), i + 1);
            session::SSnapshot backup;
            std::string strError;
            QVERIFY2(session::LoadSnapshot(files.back(), backup, strError), strError.c_str());
            // The backup holds the values before this Set.
            QCOMPARE(backup.read.settings.nLockTime, held.back().nLockTime);
            QCOMPARE(backup.read.settings.serverIp, held.back().serverIp);
            held.push_back(Window().CurrentSettings());
            QTest::qWait(1100); // backups are named by the second
        }

        // The list, newest first, names what changed since the backup before.
        const auto files = history.List(Ip("127.0.0.2"));
        CHistoryDlg list(files, QStringLiteral("127.0.0.2"));
        QVERIFY(list.windowTitle().endsWith(QStringLiteral("127.0.0.2")));
        QCOMPARE(list.Table()->rowCount(), 2);
        QCOMPARE(list.Table()->item(1, 1)->text(), QStringLiteral("（最早的备份）"));
        QCOMPARE(list.Table()->item(0, 1)->text(), QStringLiteral("服务器IP、电控锁时间"));

        // Choosing the oldest brings the original values back into the window.
        Bar().m_pfnRunHistory = [](const std::vector<std::filesystem::path>& listed) {
            return std::optional<std::filesystem::path>(listed.front());
        };
        m_messages.clear();
        QTest::mouseClick(Bar().Button(CRoomBar::kHistory), Qt::LeftButton);
        QCOMPARE(m_messages, QStringList{QStringLiteral("载入完成！")});
        const session::SControllerSettings now = Window().CurrentSettings();
        QCOMPARE(now.nLockTime, original.nLockTime);
        QCOMPARE(now.serverIp, original.serverIp);
        QCOMPARE(now.initialIp, Ip("127.0.0.2"));
    }

    void historyOfAnAddressWithoutBackups() {
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2"),
                            QStringLiteral("--state-dir"), QStringLiteral("states")}));
        bool bRan = false;
        Bar().m_pfnRunHistory = [&](const std::vector<std::filesystem::path>&) {
            bRan = true;
            return std::optional<std::filesystem::path>();
        };
        Bar().OnHistory();
        Window().IpControl(mainid::kInitialIp)->SetText(QStringLiteral("127.0.0.9"));
        Bar().OnHistory();
        QCOMPARE(m_messages,
                 (QStringList{QStringLiteral("目标IP不能为空！"), QStringLiteral("该中控没有历史记录！")}));
        QVERIFY(!bRan);
    }

    // A controller that keeps one field: exactly that field shows as
    // different, and the table comes by itself after the Set's message.
    void setResultShowsTheFieldKept_data() {
        QTest::addColumn<QString>("ignored"); // the emulator's fault, "" for none
        QTest::addColumn<QStringList>("different");
        QTest::newRow("faithful") << "" << QStringList{};
        QTest::newRow("keeps the lock time") << "lock-time" << QStringList{"lock_time"};
        QTest::newRow("keeps the server address") << "server-ip" << QStringList{"server_ip"};
    }
    void setResultShowsTheFieldKept() {
        QFETCH(QString, ignored);
        QFETCH(QStringList, different);
        QStringList args{QStringLiteral("--addresses"), QStringLiteral("127.0.0.2"),
                         QStringLiteral("--state-dir"), QStringLiteral("states")};
        if (!ignored.isEmpty())
            args << QStringLiteral("--ignore-field") << ignored;
        QVERIFY(OpenWindow(args));
        QVERIFY(Read("127.0.0.2"));
        QVERIFY(!Bar().Button(CRoomBar::kSetResult)->isEnabled());
        Window().ControlAs<QComboBox>(mainid::kLockType)->setCurrentIndex(0);
        Window().ControlAs<QComboBox>(mainid::kLockTime)->setCurrentIndex(15);
        Window().IpControl(mainid::kServerIp)->SetText(QStringLiteral("10.4.4.4"));
        m_messages.clear();
        QVERIFY2(Set(), qPrintable(m_messages.join(QLatin1Char('|'))));
        // Success only when every field took; otherwise the window counts what did not.
        QCOMPARE(m_messages,
                 QStringList{
                     different.isEmpty()
                         ? QStringLiteral("发送成功！")
                         : QStringLiteral("设置未完全生效：有%1项读回与发送的不同").arg(different.size())});

        QStringList listed;
        for (const auto& f : Window().LastSetFields())
            if (!f.bEqual)
                listed << QString::fromStdString(f.strField);
        QCOMPARE(listed, different);
        QVERIFY(Bar().Button(CRoomBar::kSetResult)->isEnabled());
        CSetResultDlg* pShown = Bar().SetResultDialog();
        QCOMPARE(pShown != nullptr && pShown->isVisible(), !different.isEmpty());

        // On demand the table is there in any case, the differing rows first.
        QTest::mouseClick(Bar().Button(CRoomBar::kSetResult), Qt::LeftButton);
        QVERIFY(Bar().SetResultDialog()->windowTitle().endsWith(QStringLiteral("127.0.0.2")));
        QTableWidget* pTable = Bar().SetResultDialog()->Table();
        QCOMPARE(pTable->rowCount(), static_cast<int>(Window().LastSetFields().size()));
        for (int nRow = 0; nRow < pTable->rowCount(); ++nRow) {
            const bool bDifferent = nRow < different.size();
            QCOMPARE(pTable->item(nRow, 3)->text(), bDifferent ? QStringLiteral("✗") : QStringLiteral("✓"));
            if (bDifferent)
                QCOMPARE(pTable->item(nRow, 0)->text(),
                         CSetResultDlg::FieldLabel(different[nRow].toStdString()));
        }
        if (ignored == QStringLiteral("lock-time")) {
            QCOMPARE(pTable->item(0, 0)->text(), QStringLiteral("电控锁时间"));
            QCOMPARE(pTable->item(0, 1)->text(), QStringLiteral("15"));
        }
        Bar().SetResultDialog()->close();
    }

    // With the real modal boxes: the Set's own message comes first, and the
    // table opens only once it is closed.
    void setResultAfterTheRealMessageBox() {
        SetMessageRecorder(nullptr);
        QVERIFY(OpenWindow({QStringLiteral("--addresses"), QStringLiteral("127.0.0.2"),
                            QStringLiteral("--state-dir"), QStringLiteral("states"),
                            QStringLiteral("--ignore-field"), QStringLiteral("lock-time")}));
        QStringList boxes;
        bool bTableDuringBox = false;
        QTimer closer;
        closer.setInterval(30);
        connect(&closer, &QTimer::timeout, [&] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!pBox)
                return;
            if (Bar().SetResultDialog() && Bar().SetResultDialog()->isVisible())
                bTableDuringBox = true;
            boxes << pBox->text();
            pBox->accept();
        });
        closer.start();
        QVERIFY(Read("127.0.0.2"));
        QTRY_COMPARE_WITH_TIMEOUT(boxes, QStringList{QStringLiteral("获取完成！")}, 3000);
        Window().ControlAs<QComboBox>(mainid::kLockType)->setCurrentIndex(0);
        Window().ControlAs<QComboBox>(mainid::kLockTime)->setCurrentIndex(20);
        QVERIFY(Set());
        QCOMPARE(boxes.last(), QStringLiteral("设置未完全生效：有1项读回与发送的不同"));
        QTRY_VERIFY_WITH_TIMEOUT(Bar().SetResultDialog() && Bar().SetResultDialog()->isVisible(), 3000);
        QVERIFY(!bTableDuringBox);
        QCOMPARE(Bar().SetResultDialog()->Table()->item(0, 0)->text(), QStringLiteral("电控锁时间"));
        QCOMPARE(Bar().SetResultDialog()->Table()->item(0, 3)->text(), QStringLiteral("✗"));
        Bar().SetResultDialog()->close();
        closer.stop();
    }
};

QTEST_MAIN(CRoomsTest)
#include "RoomsTest.moc"
