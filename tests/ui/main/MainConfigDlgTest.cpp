// The main window on a fake transport: datagrams it sends are recorded,
// replies reach it at once, ticks are delivered by hand (each moving the
// window's clock by one period) and the Set's pauses are shortened. A small
// group at the end runs on real sockets.
#include "MainConfigDlg.h"
#include "ControllerSocket.h"
#include "FakeController.h"
#include "IpAddressEdit.h"
#include "MainConfigIds.h"
#include "MessageBox.h"
#include "PortOwner.h"
#include "ProgramValues.h"
#include "Replies.h"
#include "TestDatabase.h"
#include "TestUdpSocket.h"

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

using namespace mainid;

namespace {
constexpr int kPeriodMs = 3600 * 1000; // ticks are delivered by hand
const QString kOnlyProjectorsMissing = QStringLiteral("未收到：投影机1代码、投影机2代码");
} // namespace

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

    void Reply(const Bytes& bytes) { m_pController->Reply(bytes); }
    // Lets real timers run (the Set's shortened pauses).
    void Settle(int nMs = 60) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < nMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    void Tick(int nId) {
        Dlg().PassTime(kPeriodMs);
        Dlg().FireTimer(nId);
    }
    // The ticks a read waits for lost replies.
    void EndReadWait() {
        for (int i = 0; i < CMainConfigDlg::kQueryWaitTicks; ++i)
            Tick(kTimerQuery);
    }
    void EndSetWait() {
        for (int i = 0; i < CMainConfigDlg::kSetWaitTicks; ++i)
            Tick(kTimerSet);
    }

    void FillAddresses(const QString& strController = QStringLiteral("127.0.0.1")) {
        Ip(kInitialIp)->SetText(QStringLiteral("127.0.0.1"));
        Ip(kServerIp)->SetText(QStringLiteral("10.0.0.9"));
        Ip(kControllerIp)->SetText(strController);
        Ip(kMask)->SetText(QStringLiteral("255.255.255.0"));
        Ip(kGateway)->SetText(QStringLiteral("10.0.0.1"));
    }

    // Starts a read of 127.0.0.1, so that its replies reach the window.
    void StartRead() {
        FillAddresses();
        Dlg().OnGetSettings();
        m_pController->m_received.clear();
    }

    // Reads the controller once so that the settings are available: its IP
    // and device settings arrive, its projector replies are lost.
    void CompleteQuery() {
        StartRead();
        Reply(IpReply());
        Reply(AdditionalReply());
        EndReadWait();
        QCOMPARE(m_messages.takeLast(), kOnlyProjectorsMissing);
        m_pController->m_received.clear();
    }

    // Runs a whole Set, its pauses skipped, and returns what it sent.
    std::vector<SReceived> RunSet() {
        Dlg().OnSet();
        while (Dlg().IsSending())
            Dlg().FireSetStep();
        return m_pController->m_received;
    }

private slots:
    void init() {
        ResetProgramValues();
        m_pDb = std::make_unique<CTestDatabase>();
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
        timing.nTimerPeriodMs = kPeriodMs;
        timing.nPauseDivisor = 100;
        m_pDlg = std::make_unique<CMainConfigDlg>(timing);
        m_pController = std::make_unique<CFakeController>(*m_pDlg);
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
        QCOMPARE(Combo(kLockType)->currentText(), QStringLiteral("脉冲型"));
        QCOMPARE(Combo(kLockTime)->count(), 121);
        QCOMPARE(Combo(kLockTime)->itemText(0), QStringLiteral("0.5"));
        QCOMPARE(Combo(kLockTime)->itemText(1), QStringLiteral("1"));
        QCOMPARE(Combo(kLockTime)->itemText(120), QStringLiteral("120"));
        QCOMPARE(Combo(kLockTime)->currentText(), QStringLiteral("0.5"));
        for (int nId : {kServerIp, kControllerIp, kMask, kGateway, kDome, kMic, kKeyboard, kProjector1,
                        kProjector2, kSelect1, kSelect2, kMicSettings, kLockType, kLockTime})
            QVERIFY2(!Dlg().IsItemEnabled(nId), qPrintable(QString::number(nId)));
        QVERIFY(!Dlg().IsItemEnabled(kSet));
        QVERIFY(Dlg().IsItemEnabled(kGet) && Dlg().IsItemEnabled(kInitialIp) && Dlg().IsItemEnabled(kOneKey));
        QVERIFY(Dlg().ControlAs<QPushButton>(kGet)->isDefault());
        for (int nId :
             {kDome, kMic, kKeyboard, kCode1, kCode2, kMicSettings, kPing, kProgress, kHelp, kPassword})
            QVERIFY2(!Dlg().Control(nId)->isVisible(), qPrintable(QString::number(nId)));
        QCOMPARE(Dlg().windowTitle(), QStringLiteral("Velmora"));
        QCOMPARE(Ip(kInitialIp)->accessibleName(), QStringLiteral("初始IP："));
        QCOMPARE(Combo(kLockTime)->accessibleName(), QStringLiteral("电控锁时间："));
        QCOMPARE(Dlg().Control(kSelect1)->accessibleName(), QStringLiteral("选择投影机1"));
        QVERIFY(Dlg().IsTimerRunning(kTimerTakeOver));
        QVERIFY(m_messages.isEmpty());
    }

    void lockTypeRules() {
        CompleteQuery();
        QVERIFY(Dlg().IsItemEnabled(kLockTime));
        Combo(kLockType)->setCurrentIndex(1);
        emit Combo(kLockType)->activated(1);
        QVERIFY(!Dlg().IsItemEnabled(kLockTime));
        Dlg().EnableSettingControls();
        QVERIFY(!Dlg().IsItemEnabled(kLockTime));
        Combo(kLockType)->setCurrentIndex(0);
        emit Combo(kLockType)->activated(0);
        QVERIFY(Dlg().IsItemEnabled(kLockTime));
    }

    void projectorTakeOver() {
        // Nothing chosen yet: the tick takes nothing over.
        Tick(kTimerTakeOver);
        QCOMPARE(Combo(kProjector1)->count(), 0);
        for (const char* pszModel : {"A", "B"}) {
            g_nProjectorSlot = 1;
            g_strChosenModel = pszModel;
            g_strChosenCode = std::string("CODE") + pszModel;
            g_bProjectorChosen = true;
            Tick(kTimerTakeOver);
            QVERIFY(!g_bProjectorChosen);
        }
        QStringList items;
        for (int i = 0; i < Combo(kProjector1)->count(); ++i)
            items << Combo(kProjector1)->itemText(i);
        QCOMPARE(items, (QStringList{QStringLiteral("无"), "B", QStringLiteral("无"), "A"}));
        QCOMPARE(Combo(kProjector1)->currentText(), QStringLiteral("B"));
        QCOMPARE(Dlg().GetItemText(kCode1), QStringLiteral("CODEB"));
        QCOMPARE(Combo(kProjector2)->count(), 0);
        QCOMPARE(g_nProjectorSlot, 1);
    }

    // A read ends when its four replies are in, or after three ticks with
    // what came: its message says which replies were lost.
    void queryCompletes_data() {
        QTest::addColumn<int>("silentTicks");
        QTest::addColumn<bool>("allFour");
        QTest::addColumn<QString>("message");
        QTest::newRow("answered before the first tick") << 0 << true << kGetDone;
        QTest::newRow("answered before the third tick") << 2 << true << kGetDone;
        QTest::newRow("only the IP settings came") << 0 << false << kOnlyIpRead;
        QTest::newRow("only the IP settings, late") << 2 << false << kOnlyIpRead;
    }
    void queryCompletes() {
        QFETCH(int, silentTicks);
        QFETCH(bool, allFour);
        QFETCH(QString, message);
        FillAddresses();
        Dlg().OnGetSettings();
        QCOMPARE(m_pController->m_received.size(), std::size_t(1));
        const Bytes& query = m_pController->m_received[0].bytes;
        QCOMPARE(query, (Bytes{'K', 'V', 'M', 'P', 'R', 'H', 'S', 'Z', 127, 0, 0, 1, 0, 5}));
        QCOMPARE(m_pController->m_received[0].to, (codec::Ip4{127, 0, 0, 1}));
        for (int i = 0; i < silentTicks; ++i)
            Tick(kTimerQuery);
        QVERIFY(m_messages.isEmpty());
        if (allFour) {
            Reply(ProjectorReply(1, kSharpVideo));
            Reply(ProjectorReply(2, kEpsonVideo));
            Reply(AdditionalReply());
        }
        Reply(IpReply());
        for (int i = silentTicks; i < CMainConfigDlg::kQueryWaitTicks && !allFour; ++i)
            Tick(kTimerQuery);
        QCOMPARE(m_messages, QStringList{message});
        QVERIFY(!Dlg().IsTimerRunning(kTimerQuery));
        QVERIFY(!Dlg().IsReading());
        QVERIFY(g_bMicTableFromController);
        QVERIFY(Dlg().IsItemEnabled(kSet));
        QVERIFY(Dlg().IsItemEnabled(kProjector1) && Dlg().IsItemEnabled(kLockTime));
        if (allFour) {
            // The library names the codes: several rows share the Epson code
            // and the last one names it.
            QCOMPARE(Combo(kProjector1)->currentText(), QStringLiteral("Sharp XG-NV6XU"));
            QCOMPARE(Combo(kProjector2)->currentText(), QStringLiteral("Epson EB-440W"));
            QCOMPARE(Dlg().Code2().size(), 416);
        }
    }

    // Only an accepted reply from the address being read is an answer:
    // datagrams of a scan, other controllers and 14-byte echoes are not.
    void queryUnanswered_data() {
        QTest::addColumn<QList<Bytes>>("others");
        QTest::newRow("silent") << QList<Bytes>{};
        QTest::newRow("14-byte datagrams only") << QList<Bytes>{Header(14, 5)};
        QTest::newRow("another controller answers a scan")
            << QList<Bytes>{IpReply({127, 0, 0, 9}, 0xAA, 0xAA, 1, 5, {127, 0, 0, 9}),
                            AdditionalReply({127, 0, 0, 9}), Header(14, 5, {127, 0, 0, 9})};
        QTest::newRow("garbage") << QList<Bytes>{Bytes{'K', 'V', 'M'}, Bytes(40, 0)};
    }
    void queryUnanswered() {
        QFETCH(QList<Bytes>, others);
        // An earlier read left the Set available.
        CompleteQuery();
        Ip(kInitialIp)->SetText(QStringLiteral("127.0.0.1"));
        Dlg().OnGetSettings();
        for (const Bytes& bytes : others)
            Reply(bytes);
        Tick(kTimerQuery);
        Tick(kTimerQuery);
        QVERIFY(m_messages.isEmpty());
        Tick(kTimerQuery);
        QCOMPARE(m_messages, QStringList{kNoAnswer});
        QVERIFY(!Dlg().IsTimerRunning(kTimerQuery));
        QVERIFY(!Dlg().IsItemEnabled(kProjector1));
        // Nothing the window shows is this controller's: no Set from it.
        QVERIFY(!Dlg().IsItemEnabled(kSet));
        QVERIFY(Dlg().IsItemEnabled(kGet));
    }

    // A datagram after the read has ended changes nothing of its outcome.
    void lateDatagramsDoNotUndoACompleteRead() {
        StartRead();
        Reply(ProjectorReply(1, kSharpVideo));
        Reply(ProjectorReply(2, kEpsonVideo));
        Reply(IpReply());
        Reply(AdditionalReply());
        QCOMPARE(m_messages, QStringList{kGetDone});
        Reply(Header(14, 5));
        Reply(IpReply({10, 1, 1, 1}));
        EndReadWait();
        QCOMPARE(m_messages, QStringList{kGetDone});
        QVERIFY(Dlg().IsItemEnabled(kSet));
        QCOMPARE(Ip(kControllerIp)->Text(), QStringLiteral("127.0.0.1"));
    }

    void repeatedQueryWaitsItsOwnThreeTicks() {
        FillAddresses();
        Dlg().OnGetSettings();
        Tick(kTimerQuery);
        Tick(kTimerQuery);
        Dlg().OnGetSettings();
        Tick(kTimerQuery);
        Tick(kTimerQuery);
        QVERIFY(m_messages.isEmpty());
        Tick(kTimerQuery);
        QCOMPARE(m_messages, QStringList{kNoAnswer});
        QCOMPARE(m_pController->m_received.size(), std::size_t(2));
    }

    void blankInitialIpIsRefused() {
        Dlg().OnGetSettings();
        QCOMPARE(m_messages, QStringList{QStringLiteral("目标IP不能为空！")});
        QVERIFY(!Dlg().IsTimerRunning(kTimerQuery));
        QVERIFY(m_pController->m_received.empty());
    }

    void setSendsFiveDatagramsInOrderWithPauses() {
        CompleteQuery();
        Ip(kControllerIp)->SetText(QStringLiteral("127.0.0.3"));
        Dlg().ControlAs<QLineEdit>(kCode1)->setText(QStringLiteral("F401030A0B00"));
        QSignalSpy steps(&Dlg(), &CMainConfigDlg::SetStepSent);
        QElapsedTimer clock;
        clock.start();
        std::vector<qint64> sentAt;
        connect(&Dlg(), &CMainConfigDlg::SetStepSent, this, [&] { sentAt.push_back(clock.elapsed()); });
        Dlg().OnSet();
        // Pressing Set disables both buttons and the settings at once.
        QVERIFY(!Dlg().IsItemEnabled(kSet) && !Dlg().IsItemEnabled(kGet) &&
                !Dlg().IsItemEnabled(kProjector1));
        QVERIFY(Dlg().IsSending());
        QVERIFY(Dlg().Control(kProgress)->isVisible());
        // What the window shows after the start is not what this Set sends.
        Dlg().ControlAs<QLineEdit>(kCode1)->setText(QStringLiteral("FFFF"));
        // The controller is to move: its new address is asked first, and
        // only the silence there lets the Set go.
        QVERIFY(m_pController->WaitFor(1));
        QCOMPARE(m_pController->m_received[0].to, (codec::Ip4{127, 0, 0, 3}));
        QCOMPARE(int(m_pController->m_received[0].bytes[13]), 5);
        QCOMPARE(steps.count(), 0);
        Dlg().FireSetStep();
        QVERIFY(m_pController->WaitFor(6));
        const std::vector<SReceived> got(m_pController->m_received.begin() + 1,
                                         m_pController->m_received.end());
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
        QCOMPARE(got[4].to, (codec::Ip4{127, 0, 0, 3}));
        // Pauses of 20, 20, 20 and 40 ms (the program's 2000/2000/2000/4000 scaled down).
        const std::array<qint64, 4> pauses{20, 20, 20, 40};
        for (std::size_t i = 0; i < 4; ++i)
            QVERIFY2(sentAt[i + 1] - sentAt[i] >= pauses[i], qPrintable(QString::number(i)));
        QCOMPARE(steps.count(), 5);
        QVERIFY(!Dlg().IsSending());
        QVERIFY(!Dlg().Control(kProgress)->isVisible());
        QVERIFY(Dlg().IsTimerRunning(kTimerSet));
    }

    void queryWaitEndsWhenASetBegins() {
        CompleteQuery();
        Dlg().OnGetSettings();
        m_pController->m_received.clear();
        Reply(IpReply());
        Dlg().OnSet();
        QVERIFY(Dlg().IsSending());
        // Neither the query's completion nor a second Set breaks into the sending.
        Tick(kTimerQuery);
        Dlg().OnSet();
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!Dlg().IsItemEnabled(kSet) && !Dlg().IsItemEnabled(kProjector1));
        while (Dlg().IsSending())
            Dlg().FireSetStep();
        QCOMPARE(m_pController->m_received.size(), std::size_t(5));
        // The Set took over from the query: nothing becomes available until
        // the Set itself ends.
        QVERIFY(!Dlg().IsTimerRunning(kTimerQuery));
        for (int i = 0; i < 3; ++i)
            Tick(kTimerQuery);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!Dlg().IsItemEnabled(kSet) && !Dlg().IsItemEnabled(kGet));
    }

    // The program's own timing: one-second ticks and the Set's pauses as the
    // wire format gives them, each ended by hand instead of waited for.
    void programTimingIsOneSecondAndTheWrittenPauses() {
        CMainConfigDlg::STiming timing;
        QCOMPARE(timing.nTimerPeriodMs, 1000);
        QCOMPARE(int(timing.nPort), 1550);
        CMainConfigDlg dialog(timing);
        CFakeController controller(dialog);
        dialog.OnInitDialog();
        for (int nId : {kInitialIp, kServerIp, kControllerIp, kGateway})
            dialog.IpControl(nId)->SetText(QStringLiteral("127.0.0.1"));
        dialog.IpControl(kMask)->SetText(QStringLiteral("255.0.0.0"));
        QSignalSpy steps(&dialog, &CMainConfigDlg::SetStepSent);
        dialog.OnSet();
        QCOMPARE(dialog.TimerPeriod(kTimerSet), 1000);
        QList<int> pauses;
        while (dialog.PendingSetPauseMs() > 0) {
            pauses << dialog.PendingSetPauseMs();
            dialog.FireSetStep();
        }
        QCOMPARE(pauses, (QList<int>{2000, 2000, 2000, 4000}));
        QCOMPARE(steps.count(), 5);
        QVERIFY(!dialog.IsSending());
        QCOMPARE(controller.m_received.size(), std::size_t(5));
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

    // The verdict of a Set is the engine's, once its read-back is in (or
    // the wait gave up), whatever order the replies come in: success only
    // when every field reads back as sent.
    void setVerdict_data() {
        QTest::addColumn<QList<int>>("kinds");
        QTest::addColumn<QString>(
            "lockTime"); // what the controller keeps instead of the sent one ("": takes it)
        QTest::addColumn<bool>("otherProjector2"); // projector 2 reads back as another model
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("tableOpens");
        const QString kNotAll = QStringLiteral("设置未完全生效：有%1项读回与发送的不同");
        QTest::newRow("all four, in order") << QList<int>{1, 2, 3, 4} << "" << false << kSent << false;
        QTest::newRow("all four, additional first")
            << QList<int>{4, 3, 2, 1} << "" << false << kSent << false;
        QTest::newRow("all four, projector 2 last")
            << QList<int>{4, 1, 3, 2} << "" << false << kSent << false;
        QTest::newRow("lock time kept") << QList<int>{4, 1, 2, 3} << "9" << false << kNotAll.arg(1) << true;
        QTest::newRow("lock time kept, other order")
            << QList<int>{3, 2, 1, 4} << "9" << false << kNotAll.arg(1) << true;
        QTest::newRow("projector 2 wrong") << QList<int>{1, 3, 4, 2} << "" << true << kWriteError << true;
        QTest::newRow("only projectors came back")
            << QList<int>{1, 2} << "" << false << kNotAll.arg(30) << true;
        QTest::newRow("nothing came back") << QList<int>{} << "" << false << kNoAnswer << false;
    }
    void setVerdict() {
        QFETCH(QList<int>, kinds);
        QFETCH(QString, lockTime);
        QFETCH(bool, otherProjector2);
        QFETCH(QString, message);
        QFETCH(bool, tableOpens);
        CompleteQuery();
        QSignalSpy ended(&Dlg(), &CMainConfigDlg::SetEnded);
        auto got = RunSet();
        QCOMPARE(got.size(), std::size_t(5));
        if (!lockTime.isEmpty())
            got[2].bytes[39] = static_cast<std::uint8_t>(lockTime.toInt());
        if (otherProjector2)
            got[1].bytes = ProjectorReply(2, kEpsonVideo);
        m_pController->m_received = got;
        m_pController->ReadBackAsSent(std::vector<int>(kinds.begin(), kinds.end()));
        if (kinds.size() < 4)
            EndSetWait();
        QCOMPARE(m_messages, QStringList{message});
        QCOMPARE(ended.count(), 1);
        QCOMPARE(Dlg().SetConfirmed(), message == kSent);
        QCOMPARE(!Dlg().LastSetFields().empty() && !session::AllEqual(Dlg().LastSetFields()), tableOpens);
        QVERIFY(!Dlg().IsTimerRunning(kTimerSet));
        QVERIFY(Dlg().IsItemEnabled(kSet) && Dlg().IsItemEnabled(kGet) && Dlg().IsItemEnabled(kControllerIp));
    }

    // What the read-back reports is what the window shows afterwards.
    void readBackFillsTheWindow() {
        CompleteQuery();
        Combo(kProjector2)->setEditText(QStringLiteral("Epson EMP-53"));
        RunSet();
        Reply(ProjectorReply(2, kEpsonVideo));
        Reply(ProjectorReply(1, FromHex("0A1B2C3D")));
        QCOMPARE(Combo(kProjector2)->currentText(), QStringLiteral("Epson EB-440W"));
        QCOMPARE(Combo(kProjector1)->currentText(), QStringLiteral("未知投影机型号"));
        QCOMPARE(Dlg().Code2().size(), 416);
    }

    void setFollowsTheControllerToItsNewAddress() {
        CompleteQuery();
        Ip(kControllerIp)->SetText(QStringLiteral("127.0.0.3"));
        auto got = RunSet();
        // The query at the new address that found it free, then the Set.
        QCOMPARE(got.size(), std::size_t(6));
        // Replies from the old address are not the read-back.
        Reply(IpReply({127, 0, 0, 9}, 0xAA, 0xAA, 1, 0, {127, 0, 0, 1}));
        m_pController->ReadBackAsSent();
        QCOMPARE(m_messages, QStringList{kSent});
        QCOMPARE(Ip(kInitialIp)->Text(), QStringLiteral("127.0.0.3"));
        QCOMPARE(Ip(kControllerIp)->Text(), QStringLiteral("127.0.0.3"));
        // After the Set, nothing but a read of the window's own reaches it.
        Reply(IpReply({127, 0, 0, 9}, 0xAA, 0xAA, 1, 0, {127, 0, 0, 3}));
        QCOMPARE(Ip(kControllerIp)->Text(), QStringLiteral("127.0.0.3"));
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
        StartRead();
        Dlg().ControlAs<QLineEdit>(kCode1)->setText(QStringLiteral("KEEP"));
        const QString strServer = Ip(kServerIp)->Text();
        Reply(datagram);
        QCOMPARE(m_messages, QStringList{message});
        // Nothing of the datagram is applied.
        QCOMPARE(Ip(kServerIp)->Text(), strServer);
        QCOMPARE(m_pDb->Scalar("SELECT tdnum FROM htset WHERE htnum='0'"), std::string("-1"));
        QVERIFY(Combo(kProjector1)->currentText().isEmpty());
        QCOMPARE(Dlg().Code1(), QStringLiteral("KEEP"));
    }

    void ipSettingsApply() {
        StartRead();
        Dlg().ControlAs<QCheckBox>(kOneKey)->setChecked(true);
        Reply(IpReply({192, 168, 1, 50}, 0xAA, 0xA0, 2, 0));
        QCOMPARE(Ip(kControllerIp)->Text(), QStringLiteral("192.168.1.50"));
        QCOMPARE(Ip(kServerIp)->Text(), QStringLiteral("10.0.0.9"));
        QCOMPARE(Ip(kMask)->Text(), QStringLiteral("255.255.255.0"));
        QVERIFY(!Dlg().ControlAs<QCheckBox>(kOneKey)->isChecked());
        QCOMPARE(Combo(kLockType)->currentText(), QStringLiteral("电平型"));
        QCOMPARE(Combo(kLockTime)->currentText(), QStringLiteral("0.5"));
        QVERIFY(Dlg().Code1().isEmpty());
    }

    void additionalSettingsRewriteTheTableZeroBased() {
        StartRead();
        Reply(AdditionalReply());
        QCOMPARE(Combo(kDome)->currentText(), QStringLiteral("SONY"));
        QCOMPARE(Combo(kMic)->currentText(), QStringLiteral("手拉手"));
        QCOMPARE(Combo(kKeyboard)->currentText(), QStringLiteral("无线触摸键盘"));
        QCOMPARE(
            m_pDb->Scalar(
                "SELECT tyjnum || ',' || tdnum || ',' || qjnum || ',' || bitnum FROM htset WHERE htnum='0'"),
            std::string("0,16,3,-1"));
        // Entries of zeros mean no choice.
        QCOMPARE(m_pDb->Scalar("SELECT tdnum FROM htset WHERE htnum='1'"), std::string("-1"));
        QVERIFY(m_messages.isEmpty());
    }

    void oneDatabaseErrorPerReply() {
        StartRead();
        m_pDb->Exec(
            "CREATE TRIGGER deny BEFORE UPDATE ON htset BEGIN SELECT RAISE(ABORT, 'row locked'); END");
        Reply(AdditionalReply());
        QCOMPARE(m_messages, QStringList{QStringLiteral("row locked")});
    }

    // Replies reach the window only for its own read of its own address: a
    // scan's, another controller's, or its own controller's outside a read
    // leave what the installer sees and typed alone.
    void onlyTheWindowsOwnReadFillsIt() {
        CompleteQuery();
        Ip(kServerIp)->SetText(QStringLiteral("10.0.0.77"));
        Reply(IpReply({1, 2, 3, 4})); // its own address, but no read is running
        Reply(AdditionalReply());
        Reply(ProjectorReply(1, kSharpVideo));
        StartRead();
        Reply(IpReply({1, 2, 3, 4}, 0xAA, 0xAA, 2, 3, {127, 0, 0, 2})); // another controller
        Reply(Bytes{'K', 'V', 'M'});
        Reply(Header(14, 5));
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(Ip(kControllerIp)->Text(), QStringLiteral("127.0.0.1"));
        QVERIFY(Dlg().Code1().isEmpty());
        QCOMPARE(Combo(kDome)->currentText(), QStringLiteral("SONY"));
    }

    void repliesWaitWhileABoxIsOpen() {
        StartRead();
        bool bInside = false;
        QString strSeenInside;
        m_onMessage = [&](const QString&) {
            if (bInside)
                return;
            bInside = true;
            // The kind 3 reply arrives while the first box is open ...
            Reply(IpReply({10, 9, 8, 7}));
            strSeenInside = Ip(kControllerIp)->Text();
            bInside = false;
        };
        Bytes bad = ProjectorReply(1, kEpsonVideo);
        bad[0] = 'X';
        Reply(bad);
        Settle(20);
        // ... and is applied only after it closed.
        QCOMPARE(strSeenInside, QStringLiteral("127.0.0.1"));
        QCOMPARE(Ip(kControllerIp)->Text(), QStringLiteral("10.9.8.7"));
        QCOMPARE(m_messages.size(), 1);
    }

    void ticksWaitWhileABoxIsOpen() {
        StartRead();
        Reply(IpReply());
        Tick(kTimerQuery);
        Tick(kTimerQuery);
        int nNested = 0;
        m_onMessage = [&](const QString&) {
            // A tick inside the open box does not open another.
            ++nNested;
            Tick(kTimerQuery);
        };
        Tick(kTimerQuery);
        QCOMPARE(nNested, 1);
        QCOMPARE(m_messages, QStringList{kOnlyIpRead});
    }

    // The real modal box: replies that arrive while a read's error box is
    // open wait until its handler has finished, then apply in order, and the
    // read ends with its own real box.
    void repliesDuringARealBoxWaitForTheHandler() {
        SetMessageRecorder(nullptr);
        StartRead();
        QStringList shown;
        QString strServerInside;
        std::size_t nHeldInside = 0;
        std::function<void()> closeBox = [&] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!pBox) {
                QTimer::singleShot(10, closeBox);
                return;
            }
            shown << pBox->text();
            if (shown.size() == 1) {
                // The rest of the read arrives while the first box is open.
                Reply(ProjectorReply(2, kEpsonVideo));
                Reply(IpReply({127, 0, 0, 1}, 0xAA, 0xA0, 2, 0));
                Reply(AdditionalReply());
                Reply(ProjectorReply(1, kSharpVideo));
                nHeldInside = Dlg().QueuedReplies();
                strServerInside = Ip(kServerIp)->Text();
                QTimer::singleShot(10, closeBox);
            }
            pBox->accept();
        };
        QTimer::singleShot(10, closeBox);
        Bytes bad = ProjectorReply(1, kEpsonVideo);
        bad[7] = 'Z';
        Reply(bad);
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 2, 5000);
        QCOMPARE(shown, (QStringList{QStringLiteral("投影机1代码接受异常"), kGetDone}));
        QCOMPARE(nHeldInside, std::size_t(4));
        QCOMPARE(strServerInside, QStringLiteral("10.0.0.9"));
        // Every reply applied, each to its end, in order of arrival.
        QCOMPARE(Combo(kProjector1)->currentText(), QStringLiteral("Sharp XG-NV6XU"));
        QVERIFY(Combo(kProjector2)->currentText().startsWith(QStringLiteral("Epson")));
        QCOMPARE(Combo(kDome)->currentText(), QStringLiteral("SONY"));
        QCOMPARE(Combo(kLockType)->currentText(), QStringLiteral("电平型"));
        QVERIFY(!Dlg().ControlAs<QCheckBox>(kOneKey)->isChecked());
        QCOMPARE(
            m_pDb->Scalar("SELECT tdnum||','||qjnum||','||bitnum||','||tyjnum FROM htset WHERE htnum='0'"),
            std::string("16,3,-1,0"));
        QCOMPARE(Dlg().QueuedReplies(), std::size_t(0));
        QVERIFY(Dlg().IsItemEnabled(kSet));
    }

    // A late answer to a given-up Set cannot confirm the next Set while it
    // is still sending.
    void lateReplyCannotConfirmASetThatIsSending() {
        CompleteQuery();
        RunSet();
        EndSetWait();
        QCOMPARE(m_messages, QStringList{kNoAnswer});
        m_messages.clear();
        m_pController->m_received.clear();
        Dlg().OnSet();
        Reply(ProjectorReply(2, kSharpVideo));
        Reply(IpReply());
        QVERIFY(Dlg().IsSending());
        Tick(kTimerSet);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!Dlg().IsItemEnabled(kSet) && !Dlg().IsItemEnabled(kGet));
        while (Dlg().IsSending())
            Dlg().FireSetStep();
        Tick(kTimerSet);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!Dlg().IsItemEnabled(kSet));
        // The answer to this Set's own closing query confirms it.
        m_pController->ReadBackAsSent();
        QCOMPARE(m_messages, QStringList{kSent});
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
        StartRead();
        Reply(ProjectorReply(1, kSharpVideo));
        Reply(IpReply({127, 0, 0, 1}));
        Reply(AdditionalReply());
        EndReadWait();
        QCOMPARE(m_messages.takeLast(), QStringLiteral("未收到：投影机2代码"));
        Ip(kGateway)->SetText(QStringLiteral("127.0.0.254"));
        m_bAnswer = answer;
        Dlg().OnSet();
        QCOMPARE(m_questions, QStringList{QStringLiteral(
                                  "投影机2的代码未读取，设置将清除中控中的投影机2代码，是否继续？")});
        if (!answer) {
            QVERIFY(m_pController->m_received.empty());
            QVERIFY(!Dlg().IsSending() && Dlg().IsItemEnabled(kSet) && Dlg().IsItemEnabled(kProjector1));
            return;
        }
        while (Dlg().IsSending())
            Dlg().FireSetStep();
        QCOMPARE(m_pController->m_received.size(), std::size_t(5));
        // Projector 2 went out empty and reads back empty: what was asked for.
        const Bytes& bundle2 = m_pController->m_received[1].bytes;
        QVERIFY(std::all_of(bundle2.begin() + 14, bundle2.end(), [](std::uint8_t b) { return b == 0; }));
        m_pController->ReadBackAsSent();
        QCOMPARE(m_messages, QStringList{kSent});
    }

    // Reading another room after this one: a lost IP-settings reply leaves
    // no address of the first room in the window, and a Set that would send
    // addresses neither read nor typed asks first, No by default.
    void lostIpSettingsLeaveNoAddressOfAnotherRoom_data() {
        QTest::addColumn<bool>("typed");
        QTest::addColumn<bool>("answer");
        QTest::newRow("not typed, No") << false << false;
        QTest::newRow("not typed, Yes") << false << true;
        QTest::newRow("typed by the installer") << true << false;
    }
    void lostIpSettingsLeaveNoAddressOfAnotherRoom() {
        QFETCH(bool, typed);
        QFETCH(bool, answer);
        StartRead();
        Reply(ProjectorReply(1, kSharpVideo));
        Reply(ProjectorReply(2, kEpsonVideo));
        Reply(IpReply({127, 0, 0, 1}));
        Reply(AdditionalReply());
        QCOMPARE(m_messages.takeLast(), kGetDone);
        // The next room: its IP settings never come.
        Ip(kInitialIp)->SetText(QStringLiteral("127.0.0.14"));
        Dlg().OnGetSettings();
        Reply(ProjectorReply(1, kSharpVideo, {127, 0, 0, 14}));
        Reply(ProjectorReply(2, kSharpVideo, {127, 0, 0, 14}));
        Reply(AdditionalReply({127, 0, 0, 14}));
        EndReadWait();
        QCOMPARE(m_messages.takeLast(), QStringLiteral("未收到：IP设置"));
        for (int nId : {kServerIp, kControllerIp, kMask, kGateway})
            QVERIFY2(Ip(nId)->IsBlank(), qPrintable(QString::number(nId)));
        QVERIFY(!Dlg().KnownParts()[session::kPartNetwork]);
        // Whatever lands in the controls without being typed is asked about.
        Dlg().LoadSettings(session::SControllerSettings{}, false, {true, true, false, true});
        Ip(kControllerIp)->SetText(QStringLiteral("127.0.0.14"));
        Ip(kServerIp)->SetText(QStringLiteral("10.0.0.9"));
        Ip(kMask)->SetText(QStringLiteral("255.255.255.0"));
        Ip(kGateway)->SetText(QStringLiteral("127.0.0.254"));
        if (typed) {
            QTest::keyClick(Ip(kServerIp)->Field(3), Qt::Key_Backspace);
            QTest::keyClicks(Ip(kServerIp)->Field(3), "8");
        }
        bool bDefaultNo = false;
        SetQuestionRecorder([&](const QString& strText) {
            m_questions << strText;
            bDefaultNo = true;
            return answer;
        });
        m_questions.clear();
        Dlg().OnSet();
        if (typed) {
            QCOMPARE(m_questions, QStringList{});
            QVERIFY(Dlg().IsSending());
            return;
        }
        QCOMPARE(m_questions.size(), 1);
        QVERIFY(m_questions[0].startsWith(QStringLiteral("IP设置未从该中控读取")));
        QVERIFY(bDefaultNo);
        QCOMPARE(Dlg().IsSending(), answer);
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
        QTest::newRow("gateway in the subnet") << "127.0.0.1"
                                               << "255.255.255.0"
                                               << "127.0.0.254" << false << "" << true;
        QTest::newRow("no gateway") << "127.0.0.1"
                                    << "255.255.255.0"
                                    << "0.0.0.0" << false << "" << true;
        QTest::newRow("gateway elsewhere, No") << "127.0.0.1"
                                               << "255.255.255.0"
                                               << "10.0.0.1" << false << kAsk << false;
        QTest::newRow("gateway elsewhere, Yes") << "127.0.0.1"
                                                << "255.255.255.0"
                                                << "10.0.0.1" << true << kAsk << true;
        QTest::newRow("mask with a hole") << "127.0.0.1"
                                          << "255.0.255.0"
                                          << "0.0.0.0" << true << "子网掩码无效！" << false;
        QTest::newRow("mask without hosts") << "127.0.0.1"
                                            << "255.255.255.254"
                                            << "0.0.0.0" << true << "子网掩码无效！" << false;
        QTest::newRow("subnet broadcast") << "127.0.0.255"
                                          << "255.255.255.0"
                                          << "0.0.0.0" << true << "中控IP不是可用的主机地址！" << false;
        QTest::newRow("multicast") << "224.0.0.1"
                                   << "255.255.255.0"
                                   << "0.0.0.0" << true << "中控IP不是可用的主机地址！" << false;
    }
    void valuesAreCheckedBeforeTheSet() {
        QFETCH(QString, controller);
        QFETCH(QString, mask);
        QFETCH(QString, gateway);
        QFETCH(bool, answer);
        QFETCH(QString, said);
        QFETCH(bool, sent);
        FillAddresses(controller);
        Ip(kMask)->SetText(mask);
        Ip(kGateway)->SetText(gateway);
        // Every other question (unread parts, no backup) is answered Yes.
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
        QCOMPARE(!m_pController->m_received.empty(), sent);
        QCOMPARE(Dlg().IsSending(), sent);
    }

    // Held datagrams keep only their own bytes, within a count and a byte bound.
    void heldDatagramsAreBounded() {
        StartRead();
        std::size_t nHeldSmall = 0, nBytesSmall = 0, nHeldBig = 0, nBytesBig = 0;
        m_onMessage = [&](const QString&) {
            if (nHeldSmall != 0)
                return;
            for (int i = 0; i < 10; ++i)
                Reply(IpReply({10, 0, 0, static_cast<std::uint8_t>(i)}));
            nHeldSmall = Dlg().QueuedReplies();
            nBytesSmall = Dlg().QueuedBytes();
            const std::size_t nCap = 10 + (CMainConfigDlg::kMaxQueuedBytes - 400) / 8000;
            // Big datagrams for the window's read (its address, no kind it knows).
            Bytes big = IpReply({10, 0, 0, 99});
            big.resize(8000, 0x20);
            big[13] = 0x7F;
            for (std::size_t i = 0; i < nCap + 10; ++i)
                Reply(big);
            nHeldBig = Dlg().QueuedReplies();
            nBytesBig = Dlg().QueuedBytes();
        };
        Bytes bad = ProjectorReply(1, kEpsonVideo);
        bad[0] = 'X';
        Reply(bad);
        Settle(20);
        QCOMPARE(nHeldSmall, std::size_t(10));
        QCOMPARE(nBytesSmall, std::size_t(400));
        QVERIFY(nBytesBig <= CMainConfigDlg::kMaxQueuedBytes);
        QCOMPARE(nHeldBig, std::size_t(10 + (CMainConfigDlg::kMaxQueuedBytes - 400) / 8000));
        // The oldest were kept and handled: the last of the ten set the address.
        QCOMPARE(Ip(kControllerIp)->Text(), QStringLiteral("10.0.0.9"));
        QCOMPARE(Dlg().QueuedReplies(), std::size_t(0));
    }

    // Before a Set, what the controller held is kept in the history; when
    // that fails nothing is sent.
    void setKeepsABackupFirst_data() {
        QTest::addColumn<bool>("blocked");
        QTest::addColumn<bool>("halfTyped");
        QTest::newRow("backup written") << false << false;
        QTest::newRow("history folder unusable") << true << false;
        QTest::newRow("refused for a half-typed address") << false << true;
    }
    void setKeepsABackupFirst() {
        QFETCH(bool, blocked);
        QFETCH(bool, halfTyped);
        CompleteQuery();
        const std::filesystem::path history = std::filesystem::current_path() / "history";
        if (blocked)
            std::ofstream(history) << "not a folder";
        Ip(kServerIp)->SetText(QStringLiteral("10.0.0.77"));
        if (halfTyped)
            Ip(kGateway)->Field(3)->clear();
        auto got = RunSet();
        if (halfTyped) {
            // Refused before anything goes out: no backup pushes a real one out of those kept.
            QVERIFY(got.empty());
            QCOMPARE(m_messages.last(), QStringLiteral("请填写完整的IP地址信息！"));
            QVERIFY(!std::filesystem::exists(history));
            return;
        }
        if (blocked) {
            QVERIFY(got.empty());
            QCOMPARE(m_messages.size(), 1);
            QVERIFY(m_messages[0].startsWith(QStringLiteral("设置前的备份未能保存，未发送任何数据：")));
            // The file layer's reason in the window's words, not the system's English.
            QVERIFY2(!m_messages[0].contains(QRegularExpression(QStringLiteral("[A-Za-z]"))),
                     qPrintable(m_messages[0]));
            QVERIFY(Dlg().IsItemEnabled(kSet));
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
        Combo(kLockTime)->setCurrentIndex(7);
        QSignalSpy ended(&Dlg(), &CMainConfigDlg::SetEnded);
        RunSet();
        // The controller kept its old lock time (5) and took everything else;
        // its empty projector 2 comes back as the all-zero bundle it was sent.
        Reply(IpReply());
        Reply(Header(222, 2));
        EndSetWait();
        QCOMPARE(ended.count(), 1);
        QStringList different;
        for (const auto& field : Dlg().LastSetFields())
            if (!field.bEqual && field.strRead != session::kNotReceivedText)
                different << QString::fromStdString(field.strField + ":" + field.strSent + ">" +
                                                    field.strRead);
        QCOMPARE(different, QStringList{QStringLiteral("lock_time:7>5")});
    }

    void aboutCommandRunsTheAboutBox() {
        QList<CMainConfigDlg::EChildDialog> runs;
        Dlg().m_pfnRunChildDialog = [&](CMainConfigDlg::EChildDialog which) {
            runs << which;
            return int(QDialog::Accepted);
        };
        Dlg().OnSysCommand(CMainConfigDlg::kAboutCommand | 0x3);
        Dlg().OnSysCommand(0xF060);
        QCOMPARE(runs, QList<CMainConfigDlg::EChildDialog>{CMainConfigDlg::EChildDialog::About});
    }

    // On real sockets: the port and a whole read and Set through loopback.
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
        QVERIFY(!dialog.IsTimerRunning(kTimerTakeOver));
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
        QVERIFY2(m_messages[0].startsWith(QStringLiteral("通信端口被占用！（velmora-cli (pid ")),
                 qPrintable(m_messages[0]));
        // Once the other program has gone, the window owns the port.
        other.Release();
        m_messages.clear();
        CMainConfigDlg second(timing);
        QTimer::singleShot(0, &second, [&] { second.done(QDialog::Rejected); });
        second.DoModal();
        QVERIFY(!second.EndedAtInit());
    }

    // An emulator sharing the port on a loopback address of its own is no
    // other Velmora and no program holding the port: the window starts.
    void emulatorOnTheSamePortDoesNotStopTheWindow() {
        CTestUdpSocket emulator(0, "127.0.0.2", true);
        QVERIFY(emulator.IsOpen());
        CMainConfigDlg::STiming timing;
        timing.nPort = emulator.Port();
        CMainConfigDlg dialog(timing);
        QTimer::singleShot(0, &dialog, [&] { dialog.done(QDialog::Rejected); });
        dialog.DoModal();
        QVERIFY(!dialog.EndedAtInit());
        QCOMPARE(m_messages, QStringList{});
    }

    void readAndSetThroughRealSockets() {
        CTestUdpSocket controller(0, "127.0.0.1");
        QVERIFY(controller.IsOpen());
        CMainConfigDlg::STiming timing;
        timing.nTimerPeriodMs = 50;
        timing.nPauseDivisor = 100;
        timing.nPort = 0;
        timing.nPeerPort = controller.Port();
        CMainConfigDlg dialog(timing);
        dialog.OnInitDialog();
        QVERIFY(dialog.HasSocket());
        const std::uint16_t nWindowPort = dialog.Socket()->LocalPort();
        dialog.IpControl(kInitialIp)->SetText(QStringLiteral("127.0.0.1"));
        dialog.OnGetSettings();
        auto query = controller.Receive(2000);
        QVERIFY(query && query->bytes.size() == 14);
        for (const Bytes& reply : {ProjectorReply(1, kSharpVideo), ProjectorReply(2, kEpsonVideo),
                                   IpReply({127, 0, 0, 1}, 0xAA, 0xAA, 1, 5), AdditionalReply()})
            controller.SendTo("127.0.0.1", nWindowPort, reply);
        QTRY_COMPARE_WITH_TIMEOUT(m_messages, QStringList{kGetDone}, 3000);
        dialog.IpControl(kGateway)->SetText(QStringLiteral("127.0.0.254"));
        dialog.OnSet();
        std::vector<Bytes> sent;
        QElapsedTimer waited;
        waited.start();
        while (sent.size() < 5 && waited.elapsed() < 3000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (auto datagram = controller.Receive())
                sent.push_back(datagram->bytes);
        }
        QCOMPARE(sent.size(), std::size_t(5));
        for (std::size_t i = 0; i < 4; ++i) {
            Bytes reply = sent[i];
            reply[6] = 'F';
            reply[7] = 'H';
            controller.SendTo("127.0.0.1", nWindowPort, reply);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_messages, (QStringList{kGetDone, kSent}), 3000);
    }
};

QTEST_MAIN(CMainConfigDlgTest)
#include "MainConfigDlgTest.moc"
