#pragma once

#include "DialogBase.h"

#include "codec/Address.h"
#include "codec/Reply.h"
#include "codec/Requests.h"

#include "Comparison.h"
#include "ControllerSettings.h"
#include "PortOwner.h"
#include "SessionEngine.h"

#include <QElapsedTimer>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CControllerSocket;
class CIpAddressEdit;
class CPingWorker;
class CRoomBar;
class QTimer;

// The program's only top-level window: every controller setting the tool can
// read and write, the controller socket, and the one-second timers that drive
// every wait (1: projector take-over, 3: query wait, 7: Set confirmation).
class CMainConfigDlg : public CDialogBase, private session::ISessionObserver {
    Q_OBJECT
public:
    // Timer period, the pauses of a Set and the UDP port; tests shorten the
    // times and use a free port, the program keeps these.
    struct STiming {
        int nTimerPeriodMs = 1000;
        // The Set's pauses are the wire format's own, divided by this.
        int nPauseDivisor = 1;
        std::uint16_t nPort = codec::kControllerPort;     // local port
        std::uint16_t nPeerPort = codec::kControllerPort; // the controller's port
    };
    // Ticks of timer 7 after the closing query before a Set is given up.
    static constexpr int kSetWaitTicks = 5;
    // Datagrams held while a message box is open or a reply is being
    // handled, at most, and their bytes at most; later ones are dropped.
    static constexpr std::size_t kMaxQueuedReplies = 4096;
    static constexpr std::size_t kMaxQueuedBytes = 1024 * 1024;

    explicit CMainConfigDlg(QWidget* pParent = nullptr);
    CMainConfigDlg(const STiming& timing, QWidget* pParent = nullptr);
    ~CMainConfigDlg() override;

    // Initialises the window; when the port is taken it says so and the
    // window ends at once (DoModal then returns without showing it).
    int DoModal();
    bool OnInitDialog();
    bool EndedAtInit() const { return m_bEndedAtInit; }
    bool HasSocket() const { return m_pSocket != nullptr; }

    // Handlers.
    void OnGetSettings();
    void OnSet();
    void OnSelectProjector1();
    void OnSelectProjector2();
    void OnMicSettings();
    void OnSelchangeLockType();
    void OnSysCommand(int nCommand);
    void OnSocketReceive(CControllerSocket& socket);
    // Close box and Escape; held while a Set is sending.
    void reject() override;
    void HandleReply(const std::uint8_t* pData, std::size_t nLength);
    // Handles the held datagrams in order of arrival, each to its end; does
    // nothing while a message box is open or a datagram is being handled.
    void DrainReplies();
    void DisableSettingControls();
    void EnableSettingControls();

    // State, for the window's own logic and its tests.
    bool IsSending() const { return m_nSetStep >= 0; }
    CControllerSocket* Socket() const { return m_pSocket.get(); }
    CIpAddressEdit* IpControl(int nId) const;
    const QString& Code1() const { return m_strCode1; }
    const QString& Code2() const { return m_strCode2; }
    const QString& ReplyCode1() const { return m_strReplyCode1; }
    const QString& ReplyCode2() const { return m_strReplyCode2; }
    bool VerifySet() const { return m_bVerifySet; }
    bool SetConfirmed() const { return m_bSetConfirmed; }
    std::size_t QueuedReplies() const { return m_replyQueue.size(); }
    std::size_t QueuedBytes() const { return m_nQueuedBytes; }
    // The pause running after the Set's last datagram (0: none), and a test
    // hook that ends it at once.
    int PendingSetPauseMs() const;
    void FireSetStep();

    // What the window holds now, as a controller value: the controls, the
    // two code texts and the microphone table in data.mdb.
    session::SControllerSettings CurrentSettings();
    // Puts settings into the window as if they had been read: controls,
    // code texts and the microphone table; "设置" and the settings become
    // available. The initial IP is replaced only when asked to.
    // `received` tells which parts the file holds from a read; projector
    // codes it lacks count as unread, so a Set asks before it clears them.
    void LoadSettings(const session::SControllerSettings& settings, bool bApplyInitialIp,
                      const std::array<bool, session::kReplyParts>& received = {true, true, true, true});
    // Which parts of what the window holds came from its controller's read
    // or the installer's choice of codes: what a saved file may claim.
    std::array<bool, session::kReplyParts> KnownParts() const;
    // Types the address into "初始IP：" and reads that controller.
    void ReadController(const codec::Ip4& address);
    // What the last read of the controller at the initial IP gave (parts not
    // received stay default), and whether there was one.
    const session::SReadResult& LastRead() const { return m_lastRead; }
    bool HasLastRead() const { return m_bHasLastRead; }
    // Field by field, what the last Set sent against what its read-back
    // reported; empty before the first Set ends.
    const std::vector<session::SFieldResult>& LastSetFields() const { return m_lastSetFields; }

    // Other parts of the program (the controller scan) share the window's
    // socket: they send through it and hear every datagram it receives.
    using DatagramListener = std::function<void(const std::uint8_t*, std::size_t)>;
    int AddDatagramListener(DatagramListener listener);
    void RemoveDatagramListener(int nKey);
    void SendDatagram(const codec::Datagram& datagram, const codec::Ip4& address);

    // The about box; the test hook replaces the modal runs of other dialogs.
    static constexpr int kAboutCommand = 16;
    enum class EChildDialog { About, ProjectorCode, MicSettings };
    std::function<void(EChildDialog)> m_pfnRunChildDialog;

signals:
    // A Set sent its datagram number n (1 to 5).
    void SetStepSent(int nStep);
    // A Set ended: confirmed, or given up or refused; LastSetFields() says
    // what the controller took.
    void SetEnded(bool bConfirmed);
    // A read's wait ended (answered or not).
    void ReadEnded(bool bAnswered);

protected:
    void DoDataExchange(bool bSaveAndValidate) override;
    void OnTimer(int nId) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;

private:
    void Wire();
    void RunChildDialog(EChildDialog which);
    void SelectProjector(int nSlot);
    void TakeOverProjector();
    void OnQueryWaitTick();
    void OnSetWaitTick();
    // Back to the idle-read state: both buttons and the settings enabled.
    void EndSetState();

    // The Set, one datagram per step with a pause between steps.
    void SendSettings();
    // Lets the engine do what is due and arms the timer for its next step.
    void AdvanceEngine();
    void ScheduleEngine();
    session::TimeMs Now() const { return m_clock.elapsed() + m_nClockSkewMs; }
    // The engine's reports about the window's Set.
    void OnSetStep(session::ExchangeId id, int nSent) override;
    void OnWriteDone(session::ExchangeId id, const session::SWriteResult& result) override;
    // The microphone table by htnum, saying when it is empty or unreadable.
    std::array<session::SMicEntry, codec::kMicEntries> ReadMicRows();
    // Asks before a Set sends a projector bundle that was neither read from
    // the controller nor chosen from the library; false: do not send.
    bool ConfirmUnreadBundles();
    QString MissingRepliesText() const;
    // Keeps what the controller held before it is changed; false when the
    // backup failed and nothing may be sent.
    // The values pass the one check of every program, or the installer says go on.
    bool ConfirmValues();
    bool SaveBackupBeforeSet();
    // The window's wait for the Set ended; SetEnded follows once the engine
    // has compared the read-back too.
    void EndSetWait(bool bConfirmed);

    void ApplyProjectorReply(const codec::Reply& reply);
    void ApplyIpReply(const codec::Reply& reply);
    void ApplyAdditionalReply(const codec::Reply& reply);
    void FinalStep(bool bProjector, int nKind, bool bAccepted);
    QString LookUpModel(const std::string& strVideo, bool* pbGood, const QString& strRecorded);
    void SetComboTextExact(int nId, const QString& strText);
    void SetIp(int nId, const codec::Ip4& address);

    STiming m_timing;
    std::unique_ptr<CPingWorker> m_pingWorker;
    CPortOwner m_portOwner; // before the socket: it is released after the socket closes
    std::unique_ptr<CControllerSocket> m_pSocket;
    bool m_bVerifySet = false;
    bool m_bReplyReceived = false;
    QString m_strReplyCode1, m_strReplyCode2;
    std::int32_t m_nQueryTicks = 0;
    bool m_bSetConfirmed = false;

    // Fields moved to and from the controls by data exchange.
    QString m_strMicType, m_strKeyboardType, m_strDomeType;
    QString m_strModel1, m_strModel2;
    QString m_strCode1, m_strCode2;
    QString m_strPassword;

    // The Set in progress: its snapshot, the next step (-1: none) and the
    // address its closing query went to.
    QString m_strSnapshotModel1, m_strSnapshotModel2;
    int m_nSetStep = -1;
    QTimer* m_pSetStepTimer = nullptr;
    bool m_bCloseRequested = false;
    bool m_bClosingQuerySent = false;
    codec::Ip4 m_verifyAddress{};
    int m_nSetWaitTicks = 0;
    bool m_bSetReplyReceived = false;
    bool m_bSetMismatchSaid = false;
    bool m_bEndedAtInit = false;

    // Datagrams waiting to be handled, exactly as received.
    std::deque<std::vector<std::uint8_t>> m_replyQueue;
    std::size_t m_nQueuedBytes = 0;
    std::vector<std::uint8_t> m_receiveBuffer;
    bool m_bHandlingReply = false;
    QTimer* m_pDrainTimer = nullptr;
    int m_nBoxesClosedKey = 0;

    // Replies of the last read, one bit per kind (1 << kind), and whether
    // each projector's code text came from the controller or the library.
    unsigned m_nReadKinds = 0;
    std::array<bool, 2> m_bCodeKnown{false, false};

    // The last read as a controller value, what the running Set sent, what
    // its read-back reported, and the comparison of the two.
    session::SReadResult m_lastRead;
    bool m_bHasLastRead = false;
    session::SControllerSettings m_setSent;
    // The engine runs the Set: its datagrams, their pauses and the
    // read-back's comparison. Times are the window's monotonic clock; tests
    // skip a pause by moving the clock on.
    class CSocketTransport;
    std::unique_ptr<CSocketTransport> m_pTransport;
    std::unique_ptr<session::CSessionEngine> m_pEngine;
    QElapsedTimer m_clock;
    session::TimeMs m_nClockSkewMs = 0;
    session::TimeMs m_tLastAdvance = 0;
    bool m_bStepSent = false; // the engine sent a datagram of the Set in its last call
    session::ExchangeId m_nWriteId = 0;
    bool m_bSetWaitEnded = false;
    bool m_bWriteDone = false;
    bool m_bLastSetConfirmed = false;
    std::vector<session::SFieldResult> m_lastSetFields;
    std::map<int, DatagramListener> m_listeners;
    int m_nNextListenerKey = 1;

public:
    // The row of buttons for many rooms under the window's controls.
    CRoomBar* RoomBar() const { return m_pRoomBar.get(); }

private:
    // Declared last, so it goes first: its dialogs still reach the socket's listeners.
    std::unique_ptr<CRoomBar> m_pRoomBar;
};
