// The main window driven through its real socket by a fake controller on
// loopback, with timers ticked by hand and the Set's pauses shortened.
#include "MainConfigDlg.h"
#include "PortOwner.h"
#include "ControllerSocket.h"
#include "FakeController.h"
#include "IpAddressEdit.h"
#include "MessageBox.h"
#include "ProgramValues.h"
#include "Replies.h"
#include "TestDatabase.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <memory>

#include "History.h"
#include "Snapshot.h"

class CMainConfigDlgTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CTestDatabase> m_pDb;
    std::unique_ptr<CFakeController> m_pController;
    std::unique_ptr<CMainConfigDlg> m_pDlg;
    QStringList m_messages;
    QStringList m_questions;
    bool m_bAnswer = true;
    std::function<void(const QString&)> m_onMessage;

    CMainConfigDlg& Dlg() { return *m_pDlg; }
    CIpAddressEdit* Ip(int nId) { return Dlg().IpControl(nId); }
    QComboBox* Combo(int nId) { return Dlg().ControlAs<QComboBox>(nId); }
    std::uint16_t DialogPort() { return Dlg().Socket()->LocalPort(); }

    void Reply(const Bytes& bytes) { m_pController->SendTo(DialogPort(), bytes); }
    // Lets the window take in what the controller sent.
    void Settle(int nMs = 60) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < nMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    void Tick(int nId) { Dlg().FireTimer(nId); }

    void FillAddresses(const QString& strController = QStringLiteral("127.0.0.1")) {
        Ip(1021)->SetText(QStringLiteral("127.0.0.1"));
        Ip(1015)->SetText(QStringLiteral("10.0.0.9"));
        Ip(1007)->SetText(strController);
        Ip(1019)->SetText(QStringLiteral("255.255.255.0"));
        Ip(1020)->SetText(QStringLiteral("10.0.0.1"));
    }

    // Reads the controller once so that the settings are available.
    void CompleteQuery() {
        FillAddresses();
        Dlg().OnGetSettings();
        QVERIFY(m_pController->WaitFor(1));
        Reply(IpReply());
        QTRY_VERIFY_WITH_TIMEOUT(Dlg().LastRead().received[session::kPartNetwork], 5000);
        Tick(3);
        QCOMPARE(m_messages.takeLast(), kOnlyIpRead);
        m_pController->m_received.clear();
    }

    // Runs a whole Set and returns the five datagrams it sent.
    std::vector<SReceived> RunSet() {
        Dlg().OnSet();
        m_pController->WaitFor(5);
        Settle(20);
        return m_pController->m_received;
    }

private slots:
    void init() {
        ResetProgramValues();
        m_pDb = std::make_unique<CTestDatabase>();
        m_pController = std::make_unique<CFakeController>();
        m_messages.clear();
        m_onMessage = nullptr;
        SetMessageRecorder([this](const QString& strText) {
            m_messages << strText;
            if (m_onMessage)
                m_onMessage(strText);
        });
        m_questions.clear();
        m_bAnswer = true;
        SetQuestionRecorder([this](const QString& strText) {
            m_questions << strText;
            return m_bAnswer;
        });
        InstallMessageSink();
        CMainConfigDlg::STiming timing;
        timing.nTimerPeriodMs = 3600 * 1000; // ticks are delivered by hand
        timing.nPauseDivisor = 100;
        timing.nPort = 0;
        timing.nPeerPort = m_pController->Port();
        m_pDlg = std::make_unique<CMainConfigDlg>(timing);
        m_pDlg->OnInitDialog();
        m_pDlg->show();
    }

    void cleanup() {
        m_pDlg.reset();
        m_pController.reset();
        m_pDb.reset();
        SetMessageRecorder(nullptr);
        SetQuestionRecorder(nullptr);
    }

    void startState() {
        QCOMPARE(Combo(1032)->currentText(), QStringLiteral("脉冲型"));
        QCOMPARE(Combo(1034)->count(), 121);
        QCOMPARE(Combo(1034)->itemText(0), QStringLiteral("0.5"));
        QCOMPARE(Combo(1034)->itemText(1), QStringLiteral("1"));
        QCOMPARE(Combo(1034)->itemText(120), QStringLiteral("120"));
        QCOMPARE(Combo(1034)->currentText(), QStringLiteral("0.5"));
        for (int nId : {1015, 1007, 1019, 1020, 1008, 1009, 1010, 1000, 1002, 1003, 1005, 1028, 1032, 1034})
            QVERIFY2(!Dlg().IsItemEnabled(nId), qPrintable(QString::number(nId)));
        QVERIFY(!Dlg().IsItemEnabled(1011));
        QVERIFY(Dlg().IsItemEnabled(1012) && Dlg().IsItemEnabled(1021) && Dlg().IsItemEnabled(1040));
        QVERIFY(Dlg().ControlAs<QPushButton>(1012)->isDefault());
        for (int nId : {1008, 1009, 1010, 1013, 1014, 1028, 1036, 1038, 1039, 1041})
            QVERIFY2(!Dlg().Control(nId)->isVisible(), qPrintable(QString::number(nId)));
        QCOMPARE(Dlg().windowTitle(), QStringLiteral("Velmora"));
        QCOMPARE(Ip(1021)->accessibleName(), QStringLiteral("初始IP："));
        QCOMPARE(Combo(1034)->accessibleName(), QStringLiteral("电控锁时间："));
        QCOMPARE(Dlg().Control(1003)->accessibleName(), QStringLiteral("选择投影机1"));
        QVERIFY(Dlg().IsTimerRunning(1));
        QVERIFY(m_messages.isEmpty());
    }

    void lockTypeRules() {
        CompleteQuery();
        QVERIFY(Dlg().IsItemEnabled(1034));
        Combo(1032)->setCurrentIndex(1);
        emit Combo(1032)->activated(1);
        QVERIFY(!Dlg().IsItemEnabled(1034));
        Dlg().EnableSettingControls();
        QVERIFY(!Dlg().IsItemEnabled(1034));
        Combo(1032)->setCurrentIndex(0);
        emit Combo(1032)->activated(0);
        QVERIFY(Dlg().IsItemEnabled(1034));
    }

    void projectorTakeOver() {
        // Nothing chosen yet: the tick takes nothing over.
        Tick(1);
        QCOMPARE(Combo(1000)->count(), 0);
        for (const char* pszModel : {"A", "B"}) {
            g_nProjectorSlot = 1;
            g_strChosenModel = pszModel;
            g_strChosenCode = std::string("CODE") + pszModel;
            g_bProjectorChosen = true;
            Tick(1);
            QVERIFY(!g_bProjectorChosen);
        }
        QStringList items;
        for (int i = 0; i < Combo(1000)->count(); ++i)
            items << Combo(1000)->itemText(i);
        QCOMPARE(items, (QStringList{QStringLiteral("无"), "B", QStringLiteral("无"), "A"}));
        QCOMPARE(Combo(1000)->currentText(), QStringLiteral("B"));
        QCOMPARE(Dlg().GetItemText(1013), QStringLiteral("CODEB"));
        QCOMPARE(Combo(1002)->count(), 0);
        QCOMPARE(g_nProjectorSlot, 1);
    }

    void queryCompletes_data() {
        QTest::addColumn<int>("silentTicks");
        QTest::addColumn<bool>("allFour");
        QTest::addColumn<QString>("message");
        QTest::newRow("answered before the first tick") << 0 << true << kGetDone;
        QTest::newRow("answered before the third tick") << 2 << true << kGetDone;
        QTest::newRow("only the IP settings came") << 0 << false << kOnlyIpRead;
    }
    void queryCompletes() {
        QFETCH(int, silentTicks);
        QFETCH(bool, allFour);
        QFETCH(QString, message);
        FillAddresses();
        Dlg().OnGetSettings();
        QVERIFY(m_pController->WaitFor(1));
        const Bytes& query = m_pController->m_received[0].bytes;
        QCOMPARE(query, (Bytes{'K', 'V', 'M', 'P', 'R', 'H', 'S', 'Z', 127, 0, 0, 1, 0, 5}));
        for (int i = 0; i < silentTicks; ++i)
            Tick(3);
        QVERIFY(m_messages.isEmpty());
        if (allFour) {
            Reply(ProjectorReply(1, kSharpVideo));
            Reply(ProjectorReply(2, kEpsonVideo));
            Reply(AdditionalReply());
        }
        Reply(IpReply());
        // Every reply handled before the tick, however loaded the machine.
        const int nExpected = allFour ? 4 : 1;
        QTRY_COMPARE_WITH_TIMEOUT(
            int(std::count(Dlg().LastRead().received.begin(), Dlg().LastRead().received.end(), true)),
            nExpected, 5000);
        Tick(3);
        QCOMPARE(m_messages, QStringList{message});
        QVERIFY(!Dlg().IsTimerRunning(3));
        QVERIFY(g_bMicTableFromController);
        QVERIFY(Dlg().IsItemEnabled(1011));
        QVERIFY(Dlg().IsItemEnabled(1000) && Dlg().IsItemEnabled(1034));
    }

    void queryUnanswered_data() {
        QTest::addColumn<bool>("only14");
        QTest::newRow("silent") << false;
        QTest::newRow("14-byte datagrams only") << true;
    }
    void queryUnanswered() {
        QFETCH(bool, only14);
        FillAddresses();
        Dlg().OnGetSettings();
        QVERIFY(m_pController->WaitFor(1));
        if (only14)
            Reply(Header(14, 5));
        Settle();
        Tick(3);
        Tick(3);
        QVERIFY(m_messages.isEmpty());
        Tick(3);
        QCOMPARE(m_messages, QStringList{kNoAnswer});
        QVERIFY(!Dlg().IsTimerRunning(3));
        QVERIFY(!Dlg().IsItemEnabled(1000));
        QVERIFY(Dlg().IsItemEnabled(1012));
    }

    void repeatedQueryWaitsItsOwnThreeTicks() {
        FillAddresses();
        Dlg().OnGetSettings();
        Tick(3);
        Tick(3);
        Dlg().OnGetSettings();
        Tick(3);
        Tick(3);
        QVERIFY(m_messages.isEmpty());
        Tick(3);
        QCOMPARE(m_messages, QStringList{kNoAnswer});
    }

    void blankInitialIpIsRefused() {
        Dlg().OnGetSettings();
        QCOMPARE(m_messages, QStringList{QStringLiteral("目标IP不能为空！")});
        QVERIFY(!Dlg().IsTimerRunning(3));
        Settle(30);
        m_pController->Drain();
        QVERIFY(m_pController->m_received.empty());
    }

    void setSendsFiveDatagramsInOrderWithPauses() {
        CompleteQuery();
        Ip(1007)->SetText(QStringLiteral("127.0.0.3"));
        Dlg().SetItemText(1013, QStringLiteral("F401030A0B00"));
        g_strSentModel1.clear();
        QSignalSpy steps(&Dlg(), &CMainConfigDlg::SetStepSent);
        QElapsedTimer clock;
        clock.start();
        std::vector<qint64> sentAt;
        connect(&Dlg(), &CMainConfigDlg::SetStepSent, this, [&] { sentAt.push_back(clock.elapsed()); });
        Dlg().OnSet();
        // Pressing Set disables both buttons and the settings at once.
        QVERIFY(!Dlg().IsItemEnabled(1011) && !Dlg().IsItemEnabled(1012) && !Dlg().IsItemEnabled(1000));
        QVERIFY(Dlg().IsSending());
        QVERIFY(Dlg().Control(1038)->isVisible());
        // What the window shows after the start is not what this Set sends.
        Dlg().SetItemText(1013, QStringLiteral("FFFF"));
        QVERIFY(m_pController->WaitFor(5));
        const auto& got = m_pController->m_received;
        const std::vector<std::size_t> lengths{222, 222, 40, 184, 14};
        for (std::size_t i = 0; i < 5; ++i) {
            QCOMPARE(got[i].bytes.size(), lengths[i]);
            QCOMPARE(int(got[i].bytes[13]), int(i + 1));
        }
        QCOMPARE(got[0].bytes[14], std::uint8_t(0xF4));
        QCOMPARE(got[0].bytes[17], std::uint8_t(0x0A));
        // Kinds 1 to 4 carry the initial IP; the query names the new controller IP.
        QCOMPARE(got[3].bytes[8], std::uint8_t(127));
        QCOMPARE(got[3].bytes[11], std::uint8_t(1));
        QCOMPARE(got[4].bytes[11], std::uint8_t(3));
        // Pauses of 20, 20, 20 and 40 ms (the program's 2000/2000/2000/4000 scaled down).
        const std::array<qint64, 4> pauses{20, 20, 20, 40};
        for (std::size_t i = 0; i < 4; ++i)
            QVERIFY2(sentAt[i + 1] - sentAt[i] >= pauses[i], qPrintable(QString::number(i)));
        QCOMPARE(steps.count(), 5);
        QVERIFY(!Dlg().IsSending());
        QVERIFY(!Dlg().Control(1038)->isVisible());
        QVERIFY(Dlg().VerifySet());
        QVERIFY(Dlg().IsTimerRunning(7));
    }

    void queryWaitEndsWhenASetBegins() {
        CompleteQuery();
        Dlg().OnGetSettings();
        QVERIFY(m_pController->WaitFor(1));
        m_pController->m_received.clear();
        Reply(IpReply());
        Settle();
        Dlg().OnSet();
        QVERIFY(Dlg().IsSending());
        // Neither the query's completion nor a second Set breaks into the sending.
        Tick(3);
        Dlg().OnSet();
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!Dlg().IsItemEnabled(1011) && !Dlg().IsItemEnabled(1000));
        QVERIFY(m_pController->WaitFor(5));
        Settle(60);
        QCOMPARE(m_pController->m_received.size(), std::size_t(5));
        // The Set took over from the query: nothing becomes available until
        // the Set itself ends.
        QVERIFY(!Dlg().IsTimerRunning(3));
        Tick(3);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!Dlg().IsItemEnabled(1011) && !Dlg().IsItemEnabled(1012));
    }

    // The program's own timing: one-second ticks and the Set's pauses as the
    // wire format gives them, each ended by hand instead of waited for.
    void programTimingIsOneSecondAndTheWrittenPauses() {
        CMainConfigDlg::STiming timing;
        QCOMPARE(timing.nTimerPeriodMs, 1000);
        QCOMPARE(int(timing.nPort), 1550);
        timing.nPort = 0;
        timing.nPeerPort = m_pController->Port();
        CMainConfigDlg dialog(timing);
        dialog.OnInitDialog();
        for (int nId : {1021, 1015, 1007, 1020})
            dialog.IpControl(nId)->SetText(QStringLiteral("127.0.0.1"));
        dialog.IpControl(1019)->SetText(QStringLiteral("255.0.0.0"));
        QSignalSpy steps(&dialog, &CMainConfigDlg::SetStepSent);
        dialog.OnSet();
        QCOMPARE(dialog.TimerPeriod(7), 1000);
        QList<int> pauses;
        while (dialog.PendingSetPauseMs() > 0) {
            pauses << dialog.PendingSetPauseMs();
            dialog.FireSetStep();
        }
        QCOMPARE(pauses, (QList<int>{2000, 2000, 2000, 4000}));
        QCOMPARE(steps.count(), 5);
        QVERIFY(!dialog.IsSending());
        QVERIFY(m_pController->WaitFor(5));
    }

    void setSendsTheMicrophoneTableOneBased() {
        CompleteQuery();
        m_pDb->Exec("UPDATE htset SET tyjnum='1', tdnum='3', qjnum='16', bitnum='-1' WHERE htnum='0'");
        auto got = RunSet();
        QCOMPARE(got.size(), std::size_t(5));
        const Bytes& devices = got[3].bytes;
        QCOMPARE((Bytes{devices[24], devices[25], devices[26], devices[27]}),
                 (Bytes{0x02, 0x04, 0x11, 0xFF}));
        QCOMPARE(devices[28], std::uint8_t(0xFF));
    }

    void setIsConfirmedByProjector2() {
        CompleteQuery();
        Combo(1000)->setEditText(QStringLiteral("Sharp XG-NV6XU"));
        Combo(1002)->setEditText(QStringLiteral("Epson EMP-53"));
        RunSet();
        Reply(ProjectorReply(1, kSharpVideo));
        Settle();
        // Several rows share the Epson code: the last names the model, any may match.
        Reply(ProjectorReply(2, kEpsonVideo));
        Settle();
        QVERIFY(Dlg().SetConfirmed());
        QCOMPARE(Combo(1002)->currentText(), QStringLiteral("Epson EB-440W"));
        QCOMPARE(Combo(1000)->currentText(), QStringLiteral("Sharp XG-NV6XU"));
        Tick(7);
        QCOMPARE(m_messages, QStringList{kSent});
        QVERIFY(Dlg().IsItemEnabled(1011) && Dlg().IsItemEnabled(1012) && Dlg().IsItemEnabled(1000));
        // The code texts become the bundles the controller reported.
        QCOMPARE(Dlg().Code2(), Dlg().ReplyCode2());
        QCOMPARE(Dlg().Code2().size(), 416);
    }

    void readBackMismatches() {
        CompleteQuery();
        Combo(1000)->setEditText(QStringLiteral("Some other model"));
        Combo(1002)->setEditText(QStringLiteral("Epson EMP-53"));
        RunSet();
        Reply(ProjectorReply(1, kSharpVideo));
        Settle();
        QCOMPARE(m_messages, QStringList{kWriteError});
        QVERIFY(!Dlg().SetConfirmed());
        // A bad projector 1 does not stop a good projector 2 from confirming.
        Reply(ProjectorReply(2, kEpsonVideo));
        Settle();
        Tick(7);
        QCOMPARE(m_messages, (QStringList{kWriteError, kSent}));
    }

    void unknownCodeIsNamedUnknown() {
        CompleteQuery();
        Combo(1002)->setEditText(QStringLiteral("未知投影机型号"));
        RunSet();
        Reply(ProjectorReply(2, FromHex("0A1B2C3D")));
        Settle();
        QCOMPARE(Combo(1002)->currentText(), QStringLiteral("未知投影机型号"));
        QVERIFY(Dlg().SetConfirmed());
    }

    void additionalReplyEndsTheReadBack() {
        CompleteQuery();
        Combo(1002)->setEditText(QStringLiteral("Epson EMP-53"));
        RunSet();
        Reply(AdditionalReply());
        Settle();
        QVERIFY(!Dlg().VerifySet());
        Reply(ProjectorReply(2, kEpsonVideo));
        Settle();
        QVERIFY(!Dlg().SetConfirmed());
        // Replies came, so giving up says nothing more.
        for (int i = 0; i < CMainConfigDlg::kSetWaitTicks; ++i)
            Tick(7);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!Dlg().IsTimerRunning(7));
        QVERIFY(Dlg().IsItemEnabled(1011) && Dlg().IsItemEnabled(1012));
    }

    void silentSetIsGivenUp() {
        CompleteQuery();
        RunSet();
        for (int i = 0; i < CMainConfigDlg::kSetWaitTicks - 1; ++i)
            Tick(7);
        QVERIFY(m_messages.isEmpty());
        Tick(7);
        QCOMPARE(m_messages, QStringList{kNoAnswer});
        QVERIFY(Dlg().IsItemEnabled(1011) && Dlg().IsItemEnabled(1012) && Dlg().IsItemEnabled(1007));
    }

    void incompleteAddressRefusesTheSet() {
        CompleteQuery();
        Ip(1020)->Field(3)->clear();
        Dlg().OnSet();
        QCOMPARE(m_messages, QStringList{QStringLiteral("请填写完整的IP地址信息！")});
        QVERIFY(!Dlg().IsSending());
        QVERIFY(!Dlg().IsTimerRunning(7));
        QVERIFY(Dlg().IsItemEnabled(1011) && Dlg().IsItemEnabled(1012) && Dlg().IsItemEnabled(1015));
        Settle(100);
        m_pController->Drain();
        QVERIFY(m_pController->m_received.empty());
    }

    void setFollowsTheControllerToItsNewAddress() {
        CompleteQuery();
        Combo(1002)->setEditText(QStringLiteral("Epson EMP-53"));
        Ip(1007)->SetText(QStringLiteral("127.0.0.3"));
        auto got = RunSet();
        QCOMPARE(got.size(), std::size_t(5));
        Reply(IpReply({127, 0, 0, 3}, 0xAA, 0xAA, 1, 0, {127, 0, 0, 3}));
        Settle();
        QCOMPARE(Ip(1021)->Text(), QStringLiteral("127.0.0.3"));
        Reply(ProjectorReply(2, kEpsonVideo, {127, 0, 0, 3}));
        Settle();
        QVERIFY(Dlg().SetConfirmed());
        // Outside a Set's read-back, the old address is what counts again.
        Tick(7);
        Reply(IpReply({127, 0, 0, 9}, 0xAA, 0xAA, 1, 0, {127, 0, 0, 9}));
        Settle();
        QCOMPARE(Ip(1021)->Text(), QStringLiteral("127.0.0.3"));
    }

    void closeDuringTheSetWaitsForTheClosingQuery() {
        CompleteQuery();
        Dlg().OnSet();
        Dlg().reject();
        QVERIFY(Dlg().isVisible());
        QVERIFY(m_pController->WaitFor(5));
        Settle(20);
        QVERIFY(!Dlg().isVisible());
        QCOMPARE(Dlg().result(), int(QDialog::Rejected));
    }

    void receptionErrors_data() {
        QTest::addColumn<Bytes>("datagram");
        QTest::addColumn<QString>("message");
        Bytes p1 = ProjectorReply(1, kEpsonVideo);
        p1[0] = 'X';
        Bytes p2 = ProjectorReply(2, kEpsonVideo);
        p2[7] = 'Z';
        Bytes ip = IpReply();
        ip[6] = 'S';
        ip[7] = 'Z';
        Bytes add = AdditionalReply();
        add[3] = 'p';
        QTest::newRow("kind 1 prefix") << p1 << QStringLiteral("投影机1代码接受异常");
        QTest::newRow("kind 2 prefix") << p2 << QStringLiteral("投影机2代码接受异常");
        QTest::newRow("kind 3 prefix") << ip << QStringLiteral("具体IP接受异常");
        QTest::newRow("kind 4 prefix") << add << QStringLiteral("附加设置接受异常");
        const Bytes whole1 = ProjectorReply(1, kEpsonVideo), whole3 = IpReply(), whole4 = AdditionalReply();
        QTest::newRow("kind 1 short")
            << Bytes(whole1.begin(), whole1.begin() + 221) << QStringLiteral("投影机1代码接受异常");
        QTest::newRow("kind 3 short")
            << Bytes(whole3.begin(), whole3.begin() + 39) << QStringLiteral("具体IP接受异常");
        QTest::newRow("kind 4 short")
            << Bytes(whole4.begin(), whole4.begin() + 103) << QStringLiteral("附加设置接受异常");
        Bytes overrun = whole1;
        overrun[14 + 2] = 50;
        QTest::newRow("kind 1 block overruns") << overrun << QStringLiteral("投影机1代码接受异常");
    }
    void receptionErrors() {
        QFETCH(Bytes, datagram);
        QFETCH(QString, message);
        FillAddresses();
        Dlg().SetItemText(1013, QStringLiteral("KEEP"));
        const QString strServer = Ip(1015)->Text();
        Reply(datagram);
        Settle();
        QCOMPARE(m_messages, QStringList{message});
        // Nothing of the datagram is applied.
        QCOMPARE(Ip(1015)->Text(), strServer);
        QCOMPARE(m_pDb->Scalar("SELECT tdnum FROM htset WHERE htnum='0'"), std::string("-1"));
        QVERIFY(Combo(1000)->currentText().isEmpty());
    }

    void ipSettingsApply() {
        FillAddresses();
        Dlg().ControlAs<QCheckBox>(1040)->setChecked(true);
        Reply(IpReply({192, 168, 1, 50}, 0xAA, 0xA0, 2, 0));
        Settle();
        QCOMPARE(Ip(1007)->Text(), QStringLiteral("192.168.1.50"));
        QCOMPARE(Ip(1015)->Text(), QStringLiteral("10.0.0.9"));
        QCOMPARE(Ip(1019)->Text(), QStringLiteral("255.255.255.0"));
        QVERIFY(!Dlg().ControlAs<QCheckBox>(1040)->isChecked());
        QCOMPARE(Combo(1032)->currentText(), QStringLiteral("电平型"));
        QCOMPARE(Combo(1034)->currentText(), QStringLiteral("0.5"));
        // Before any projector reply the code texts become the empty stored bundles.
        QVERIFY(Dlg().Code1().isEmpty());
    }

    void additionalSettingsRewriteTheTableZeroBased() {
        FillAddresses();
        Reply(AdditionalReply());
        Settle();
        QCOMPARE(Combo(1008)->currentText(), QStringLiteral("SONY"));
        QCOMPARE(Combo(1009)->currentText(), QStringLiteral("手拉手"));
        QCOMPARE(Combo(1010)->currentText(), QStringLiteral("无线触摸键盘"));
        QCOMPARE(
            m_pDb->Scalar(
                "SELECT tyjnum || ',' || tdnum || ',' || qjnum || ',' || bitnum FROM htset WHERE htnum='0'"),
            std::string("0,16,3,-1"));
        // Entries of zeros mean no choice.
        QCOMPARE(m_pDb->Scalar("SELECT tdnum FROM htset WHERE htnum='1'"), std::string("-1"));
        QVERIFY(m_messages.isEmpty());
    }

    void oneDatabaseErrorPerReply() {
        FillAddresses();
        m_pDb->Exec(
            "CREATE TRIGGER deny BEFORE UPDATE ON htset BEGIN SELECT RAISE(ABORT, 'row locked'); END");
        Reply(AdditionalReply());
        Settle();
        QCOMPARE(m_messages, QStringList{QStringLiteral("row locked")});
    }

    void otherAddressesAndKindsAreIgnored() {
        FillAddresses();
        Dlg().SetItemText(1013, QStringLiteral("KEEP"));
        Reply(IpReply({1, 2, 3, 4}, 0xAA, 0xAA, 2, 3, {127, 0, 0, 2}));
        Reply(Bytes{'K', 'V', 'M'});
        Settle();
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(Ip(1007)->Text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(Dlg().Code1(), QStringLiteral("KEEP"));
        // The query's own kind only puts the stored bundles back.
        Reply(Header(14, 5));
        Settle();
        QVERIFY(Dlg().Code1().isEmpty());
    }

    void repliesWaitWhileABoxIsOpen() {
        FillAddresses();
        bool bInside = false;
        QString strSeenInside;
        m_onMessage = [&](const QString&) {
            if (bInside)
                return;
            bInside = true;
            // The kind 3 reply arrives while the first box is open ...
            Reply(IpReply({10, 9, 8, 7}));
            Settle(80);
            strSeenInside = Ip(1007)->Text();
            bInside = false;
        };
        Bytes bad = ProjectorReply(1, kEpsonVideo);
        bad[0] = 'X';
        Reply(bad);
        Settle(150);
        // ... and is applied only after it closed.
        QCOMPARE(strSeenInside, QStringLiteral("127.0.0.1"));
        QCOMPARE(Ip(1007)->Text(), QStringLiteral("10.9.8.7"));
        QCOMPARE(m_messages.size(), 1);
    }

    void ticksWaitWhileABoxIsOpen() {
        FillAddresses();
        Dlg().OnGetSettings();
        Reply(IpReply());
        Settle();
        int nNested = 0;
        m_onMessage = [&](const QString&) {
            // A tick inside the open box does not open another.
            ++nNested;
            Tick(3);
        };
        Tick(3);
        QCOMPARE(nNested, 1);
        QCOMPARE(m_messages, QStringList{kOnlyIpRead});
    }

    // The real modal box: replies that arrive while the read-back's error box
    // is open wait until its handler has finished, then apply in order.
    void repliesDuringARealBoxWaitForTheHandler() {
        CompleteQuery();
        Combo(1000)->setEditText(QStringLiteral("Sharp XG-NV6XU"));
        Combo(1002)->setEditText(QStringLiteral("Epson EMP-53"));
        RunSet();
        SetMessageRecorder(nullptr);
        QStringList shown;
        QString strModelInside;
        std::size_t nHeldInside = 0;
        bool bClosed = false;
        std::function<void()> closeBox = [&] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!pBox) {
                QTimer::singleShot(10, closeBox);
                return;
            }
            shown << pBox->text();
            if (shown.size() == 1) {
                // The rest of the read-back arrives while the first box is open.
                Reply(ProjectorReply(2, kEpsonVideo));
                Reply(IpReply({127, 0, 0, 1}, 0xAA, 0xA0, 2, 0));
                Reply(AdditionalReply());
                Settle(150);
                nHeldInside = Dlg().QueuedReplies();
                strModelInside = Combo(1002)->currentText();
            }
            pBox->accept();
            bClosed = true;
        };
        QTimer::singleShot(10, closeBox);
        // Projector 1 reads back as another model: the box opens.
        Reply(ProjectorReply(1, kEpsonVideo));
        QTRY_VERIFY_WITH_TIMEOUT(bClosed, 3000);
        Settle(100);
        QCOMPARE(shown, QStringList{kWriteError});
        QCOMPARE(nHeldInside, std::size_t(3));
        QCOMPARE(strModelInside, QStringLiteral("Epson EMP-53"));
        // Every reply applied, each to its end, in order of arrival.
        QVERIFY(Combo(1000)->currentText().startsWith(QStringLiteral("Epson")));
        QVERIFY(Combo(1002)->currentText().startsWith(QStringLiteral("Epson")));
        QVERIFY(Dlg().SetConfirmed());
        QVERIFY(!Dlg().VerifySet());
        QCOMPARE(Combo(1008)->currentText(), QStringLiteral("SONY"));
        QCOMPARE(Combo(1009)->currentText(), QStringLiteral("手拉手"));
        QCOMPARE(Combo(1010)->currentText(), QStringLiteral("无线触摸键盘"));
        QCOMPARE(Combo(1032)->currentText(), QStringLiteral("电平型"));
        QVERIFY(!Dlg().ControlAs<QCheckBox>(1040)->isChecked());
        QCOMPARE(
            m_pDb->Scalar("SELECT tdnum||','||qjnum||','||bitnum||','||tyjnum FROM htset WHERE htnum='0'"),
            std::string("16,3,-1,0"));
        QCOMPARE(Dlg().Code1(), Dlg().ReplyCode1());
        QCOMPARE(Dlg().QueuedReplies(), std::size_t(0));
    }

    // A late answer to a given-up Set cannot confirm the next Set while it
    // is still sending.
    void lateReplyCannotConfirmASetThatIsSending() {
        CompleteQuery();
        Combo(1002)->setEditText(QStringLiteral("Sharp XG-NV6XU"));
        RunSet();
        for (int i = 0; i < CMainConfigDlg::kSetWaitTicks; ++i)
            Tick(7);
        QCOMPARE(m_messages, QStringList{kNoAnswer});
        QVERIFY(!Dlg().VerifySet());
        m_messages.clear();
        m_pController->m_received.clear();
        Dlg().OnSet();
        Reply(ProjectorReply(2, kSharpVideo));
        Settle(10);
        QVERIFY(Dlg().IsSending());
        Tick(7);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!Dlg().IsItemEnabled(1011) && !Dlg().IsItemEnabled(1012));
        QVERIFY(m_pController->WaitFor(5));
        Settle(20);
        Tick(7);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!Dlg().IsItemEnabled(1011));
        // The answer to this Set's own closing query confirms it.
        Reply(ProjectorReply(2, kSharpVideo));
        Settle();
        Tick(7);
        QCOMPARE(m_messages, QStringList{kSent});
    }

    // Only an accepted reply counts as an answer when a Set is given up.
    void givingUpSaysSoWhenOnlyOthersAnswered() {
        CompleteQuery();
        RunSet();
        Reply(IpReply({127, 0, 0, 1}, 0xAA, 0xAA, 1, 5, {127, 0, 0, 9}));
        Reply(Bytes(40, 0));
        Settle();
        for (int i = 0; i < CMainConfigDlg::kSetWaitTicks; ++i)
            Tick(7);
        QCOMPARE(m_messages, QStringList{kNoAnswer});
    }

    // The Set places each htset record by its htnum, whatever the table's order.
    void setPlacesMicrophonesByTheirKey() {
        CompleteQuery();
        for (int i = 0; i < 20; ++i)
            m_pDb->Exec("UPDATE htset SET tyjnum='0', tdnum='" + std::to_string(i) +
                        "', qjnum='1', bitnum='2' WHERE htnum='" + std::to_string(i) + "'");
        // Row 5 moves to the end of the table, row 7 is missing, two records name no microphone.
        m_pDb->Exec("DELETE FROM htset WHERE htnum IN ('5','7')");
        m_pDb->Exec("INSERT INTO htset (htnum, tdnum, qjnum, bitnum, tyjnum) VALUES ('x','9','9','9','9')");
        m_pDb->Exec("INSERT INTO htset (htnum, tdnum, qjnum, bitnum, tyjnum) VALUES ('5','5','1','2','0')");
        m_pDb->Exec("INSERT INTO htset (htnum, tdnum, qjnum, bitnum, tyjnum) VALUES ('20','9','9','9','9')");
        auto got = RunSet();
        QCOMPARE(got.size(), std::size_t(5));
        const Bytes& devices = got[3].bytes;
        for (std::size_t i = 0; i < 20; ++i) {
            const Bytes entry(devices.begin() + 24 + 4 * static_cast<long>(i),
                              devices.begin() + 28 + 4 * static_cast<long>(i));
            // Sent one-based: camera type, channel, dome, preset; none is 0xFF.
            const Bytes expected =
                i == 7 ? Bytes{0xFF, 0xFF, 0xFF, 0xFF} : Bytes{1, static_cast<std::uint8_t>(i + 1), 2, 3};
            QCOMPARE(entry, expected);
        }
    }

    // A read that missed replies says which, and a Set asks before it sends
    // a projector bundle that was never read.
    void partialReadAsksBeforeTheSet_data() {
        QTest::addColumn<bool>("answer");
        QTest::newRow("no: nothing is sent") << false;
        QTest::newRow("yes: the empty slot is confirmed") << true;
    }
    void partialReadAsksBeforeTheSet() {
        QFETCH(bool, answer);
        CompleteQuery();
        Reply(ProjectorReply(1, kSharpVideo));
        Settle();
        m_bAnswer = answer;
        Dlg().OnSet();
        QStringList asked{QStringLiteral("投影机2的代码未读取，设置将清除中控中的投影机2代码，是否继续？")};
        // The read's gateway lies outside the loopback controller's subnet.
        if (answer)
            asked << QStringLiteral("网关不在中控IP所在网段内，是否继续？");
        QCOMPARE(m_questions, asked);
        if (!answer) {
            Settle(150);
            QVERIFY(m_pController->m_received.empty());
            QVERIFY(!Dlg().IsSending() && Dlg().IsItemEnabled(1011) && Dlg().IsItemEnabled(1000));
            return;
        }
        QVERIFY(m_pController->WaitFor(5));
        Settle(20);
        // Projector 2 went out empty and reads back empty: what was asked for.
        const Bytes& bundle2 = m_pController->m_received[1].bytes;
        QVERIFY(std::all_of(bundle2.begin() + 14, bundle2.end(), [](std::uint8_t b) { return b == 0; }));
        Reply(ProjectorReply(2, Bytes{}));
        Settle();
        Tick(7);
        QCOMPARE(m_messages, QStringList{kSent});
    }

    // The window's Set checks its values with the rules every program uses:
    // a bad mask or controller address is refused with nothing sent, and a
    // gateway outside the controller's subnet is asked about.
    void valuesAreCheckedBeforeTheSet_data() {
        QTest::addColumn<QString>("controller");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("gateway");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("sent");
        const QString kAsk = QStringLiteral("网关不在中控IP所在网段内，是否继续？");
        QTest::newRow("gateway in the subnet") << "127.0.0.1" << "255.255.255.0" << "127.0.0.254" << false << "" << true;
        QTest::newRow("no gateway") << "127.0.0.1" << "255.255.255.0" << "0.0.0.0" << false << "" << true;
        QTest::newRow("gateway elsewhere, No") << "127.0.0.1" << "255.255.255.0" << "10.0.0.1" << false << kAsk << false;
        QTest::newRow("gateway elsewhere, Yes") << "127.0.0.1" << "255.255.255.0" << "10.0.0.1" << true << kAsk << true;
        QTest::newRow("mask with a hole") << "127.0.0.1" << "255.0.255.0" << "0.0.0.0" << true
                                          << "子网掩码无效！" << false;
        QTest::newRow("mask without hosts") << "127.0.0.1" << "255.255.255.254" << "0.0.0.0" << true
                                            << "子网掩码无效！" << false;
        QTest::newRow("subnet broadcast") << "127.0.0.255" << "255.255.255.0" << "0.0.0.0" << true
                                          << "中控IP不是可用的主机地址！" << false;
        QTest::newRow("multicast") << "224.0.0.1" << "255.255.255.0" << "0.0.0.0" << true
                                   << "中控IP不是可用的主机地址！" << false;
    }
    void valuesAreCheckedBeforeTheSet() {
        QFETCH(QString, controller);
        QFETCH(QString, mask);
        QFETCH(QString, gateway);
        QFETCH(bool, answer);
        QFETCH(QString, said);
        QFETCH(bool, sent);
        FillAddresses(controller);
        Ip(1019)->SetText(mask);
        Ip(1020)->SetText(gateway);
        // Every other question (unread codes, no backup) is answered Yes.
        QStringList asked;
        SetQuestionRecorder([&](const QString& strText) {
            if (!strText.startsWith(QStringLiteral("网关")))
                return true;
            asked << strText;
            return answer;
        });
        m_messages.clear();
        Dlg().OnSet();
        const QStringList heard = asked + m_messages;
        QCOMPARE(heard, said.isEmpty() ? QStringList{} : QStringList{said});
        if (sent) {
            QVERIFY(m_pController->WaitFor(1));
        } else {
            Settle(150);
            QVERIFY(m_pController->m_received.empty());
            QVERIFY(!Dlg().IsSending());
        }
    }

    // Held datagrams keep only their own bytes, within a count and a byte bound.
    void heldDatagramsAreBounded() {
        FillAddresses();
        std::size_t nHeldSmall = 0, nBytesSmall = 0, nHeldBig = 0, nBytesBig = 0;
        m_onMessage = [&](const QString&) {
            for (int i = 0; i < 10; ++i)
                Reply(IpReply({10, 0, 0, static_cast<std::uint8_t>(i)}));
            Settle(50);
            nHeldSmall = Dlg().QueuedReplies();
            nBytesSmall = Dlg().QueuedBytes();
            // One at a time, so the kernel's receive buffer never drops any.
            const std::size_t nCap = 10 + (CMainConfigDlg::kMaxQueuedBytes - 400) / 8000;
            for (std::size_t i = 0; i < nCap + 10; ++i) {
                Reply(Bytes(8000, 0x20));
                QElapsedTimer waited;
                waited.start();
                const std::size_t nWant = std::min(nCap, 11 + i);
                while (Dlg().QueuedReplies() < nWant && waited.elapsed() < 2000)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            Settle(50);
            nHeldBig = Dlg().QueuedReplies();
            nBytesBig = Dlg().QueuedBytes();
        };
        Bytes bad = ProjectorReply(1, kEpsonVideo);
        bad[0] = 'X';
        Reply(bad);
        Settle(400);
        QCOMPARE(nHeldSmall, std::size_t(10));
        QCOMPARE(nBytesSmall, std::size_t(400));
        QVERIFY(nBytesBig <= CMainConfigDlg::kMaxQueuedBytes);
        QCOMPARE(nHeldBig, std::size_t(10 + (CMainConfigDlg::kMaxQueuedBytes - 400) / 8000));
        // The oldest were kept and handled: the last of the ten set the address.
        QCOMPARE(Ip(1007)->Text(), QStringLiteral("10.0.0.9"));
        QCOMPARE(Dlg().QueuedReplies(), std::size_t(0));
    }

    // Before a Set, what the controller held is kept in the history; when
    // that fails nothing is sent.
    void setKeepsABackupFirst_data() {
        QTest::addColumn<bool>("blocked");
        QTest::newRow("backup written") << false;
        QTest::newRow("history folder unusable") << true;
    }
    void setKeepsABackupFirst() {
        QFETCH(bool, blocked);
        CompleteQuery();
        const std::filesystem::path history = std::filesystem::current_path() / "history";
        if (blocked)
            std::ofstream(history) << "not a folder";
        Ip(1015)->SetText(QStringLiteral("10.0.0.77"));
        auto got = RunSet();
        if (blocked) {
            QVERIFY(got.empty());
            QCOMPARE(m_messages.size(), 1);
            QVERIFY(m_messages[0].startsWith(QStringLiteral("设置前的备份未能保存，未发送任何数据：")));
            QVERIFY(Dlg().IsItemEnabled(1011));
            return;
        }
        QCOMPARE(got.size(), std::size_t(5));
        const auto files = session::CHistory(std::filesystem::current_path()).List(codec::Ip4{127, 0, 0, 1});
        QCOMPARE(files.size(), std::size_t(1));
        session::SSnapshot backup;
        std::string strError;
        QVERIFY2(session::LoadSnapshot(files[0], backup, strError), strError.c_str());
        // The values before the Set, not the ones it sent.
        QCOMPARE(codec::BytesToAddress(backup.read.settings.serverIp), std::string("10.0.0.9"));
        QVERIFY(backup.read.received[session::kPartNetwork]);
        QVERIFY(!backup.read.received[session::kPartProjector1]);
    }

    // After a Set, the read-back is compared with what was sent, field by field.
    void setReportsWhatTheControllerTook() {
        CompleteQuery();
        Combo(1034)->setCurrentIndex(7);
        QSignalSpy ended(&Dlg(), &CMainConfigDlg::SetEnded);
        RunSet();
        // The controller kept its old lock time (5) and took everything else;
        // its empty projector 2 comes back as the all-zero bundle it was sent.
        Reply(IpReply());
        Reply(Header(222, 2));
        Settle();
        Tick(7);
        QCOMPARE(ended.count(), 1);
        QStringList different;
        for (const auto& field : Dlg().LastSetFields())
            if (!field.bEqual && field.strRead != "(未收到)")
                different << QString::fromStdString(field.strField + ":" + field.strSent + ">" +
                                                    field.strRead);
        QCOMPARE(different, QStringList{QStringLiteral("lock_time:7>5")});
    }

    void portAlreadyTaken() {
        CTestUdpSocket other; // another program holding the port, without sharing it
        QVERIFY(other.IsOpen());
        CMainConfigDlg::STiming timing;
        timing.nPort = other.Port();
        CMainConfigDlg dialog(timing);
        QCOMPARE(dialog.DoModal(), int(QDialog::Accepted));
        QVERIFY(dialog.EndedAtInit());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(m_messages, QStringList{QStringLiteral("通信端口被占用！")});
        QVERIFY(!dialog.HasSocket());
    }

    // A second Velmora program: the port itself is free to bind with reuse,
    // but the first program owns it. The window says who, and makes no socket.
    void portOwnedByAnotherVelmora() {
        std::uint16_t nPort = 0;
        {
            CTestUdpSocket probe; // an ephemeral port of this test's own
            nPort = probe.Port();
        }
        CPortOwner other;
        std::string strHolder;
        QVERIFY(other.Acquire(nPort, "velmora-cli", strHolder));
        CMainConfigDlg::STiming timing;
        timing.nPort = nPort;
        CMainConfigDlg dialog(timing);
        QCOMPARE(dialog.DoModal(), int(QDialog::Accepted));
        QVERIFY(dialog.EndedAtInit());
        QVERIFY(!dialog.HasSocket());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].startsWith(QStringLiteral("通信端口被占用！（velmora-cli (pid ")), qPrintable(m_messages[0]));
        // Once the other program has gone, the window owns the port.
        other.Release();
        m_messages.clear();
        CMainConfigDlg second(timing);
        QTimer::singleShot(0, &second, [&] { second.done(QDialog::Rejected); });
        second.DoModal();
        QVERIFY(!second.EndedAtInit());
    }

    void aboutCommandRunsTheAboutBox() {
        QList<CMainConfigDlg::EChildDialog> runs;
        Dlg().m_pfnRunChildDialog = [&](CMainConfigDlg::EChildDialog which) { runs << which; };
        Dlg().OnSysCommand(CMainConfigDlg::kAboutCommand | 0x3);
        Dlg().OnSysCommand(0xF060);
        QCOMPARE(runs, QList<CMainConfigDlg::EChildDialog>{CMainConfigDlg::EChildDialog::About});
    }
};

QTEST_MAIN(CMainConfigDlgTest)
#include "MainConfigDlgTest.moc"
