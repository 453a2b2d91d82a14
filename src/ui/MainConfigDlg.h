#pragma once

#include "DialogBase.h"
#include "ReplyQueue.h"

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
class CEngineHost;
class CIpAddressEdit;
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
    // Ticks after a query before a read is given up, and after the Set's
    // closing query before its read-back is.
    static constexpr int kQueryWaitTicks = 3;
    static constexpr int kSetWaitTicks = 5;
    // Datagrams held while a message box is open or a reply is being
    // handled, at most, and their bytes at most; later ones are dropped.
    static constexpr std::size_t kMaxQueuedReplies = CReplyQueue::kMaxCount;
    static constexpr std::size_t kMaxQueuedBytes = CReplyQueue::kMaxBytes;

    explicit CMainConfigDlg(QWidget* pParent = nullptr);
    CMainConfigDlg(const STiming& timing, QWidget* pParent = nullptr);
    ~CMainConfigDlg() override;

    // Initialises the window; when the port is taken it says so and the
    // window ends at once (DoModal then returns without showing it).
    int DoModal();
    bool OnInitDialog();
    bool EndedAtInit() const { return m_bEndedAtInit; }
    const STiming& Timing() const { return m_timing; }
    bool HasSocket() const { return m_pSocket != nullptr; }

    // Handlers.
    void OnGetSettings();
    void OnSet();
    void OnSelectProjector1();
    void OnSelectProjector2();
    void OnMicSettings();
    void OnSelchangeLockType();
    void OnSysCommand(int nCommand);
    // Close box and Escape; held while a Set is sending.
    void reject() override;
    // A datagram that reached the window: whoever shares the socket hears it
    // at once; the engine takes it in order, never while a message box is open.
    void ReceiveDatagram(const std::uint8_t* pData, std::size_t nLength);
    // Hands the held datagrams to the engine in order of arrival, each to
    // its end; does nothing while a message box is open or a datagram is
    // being handled.
    void DrainReplies();
    void DisableSettingControls();
    void EnableSettingControls();

    // Where the window's datagrams go instead of its socket (tests); set
    // before OnInitDialog, which then opens no socket and takes no port.
    using SendFn = std::function<void(const codec::Datagram&, const codec::Ip4&)>;
    void UseTransport(SendFn pfnSend) { m_pfnSend = std::move(pfnSend); }
    // Moves the window's clock on (tests deliver ticks by hand).
    void PassTime(session::TimeMs nMs);

    // State, for the window's own logic and its tests.
    bool IsSending() const { return m_nSetStep >= 0; }
    bool IsReading() const { return m_nReadId != 0; }
    CControllerSocket* Socket() const { return m_pSocket.get(); }
    CIpAddressEdit* IpControl(int nId) const;
    QString Code1() const { return QString::fromStdString(m_value.projectors[0].strCode); }
    QString Code2() const { return QString::fromStdString(m_value.projectors[1].strCode); }
    std::size_t QueuedReplies() const { return m_pReplies->Count(); }
    std::size_t QueuedBytes() const { return m_pReplies->Bytes(); }
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
    // `received` tells which parts the file holds from a read; parts it
    // lacks count as unread, so a Set asks before it sends them.
    void LoadSettings(const session::SControllerSettings& settings, bool bApplyInitialIp,
                      const std::array<bool, session::kReplyParts>& received = {true, true, true, true});
    // Which parts of what the window holds came from its controller's read,
    // a file's, or the installer's own choice: what a saved file may claim,
    // and what a Set sends without asking.
    std::array<bool, session::kReplyParts> KnownParts() const { return m_known; }
    // Types the address into "初始IP：" and reads that controller.
    void ReadController(const codec::Ip4& address);
    // What the last read of the controller at the initial IP gave (parts not
    // received stay default), and whether there was one.
    const session::SReadResult& LastRead() const { return m_lastRead; }
    bool HasLastRead() const { return m_bHasLastRead; }
    // The last Set as the engine judged it; its fields are empty before the
    // first Set ends and when its read-back brought nothing.
    const session::SWriteResult& LastWrite() const { return m_lastWrite; }
    const std::vector<session::SFieldResult>& LastSetFields() const { return m_lastWrite.fields; }
    bool SetConfirmed() const { return m_lastWrite.eOutcome == session::EWriteOutcome::Confirmed; }

    // Sends through the window's socket (or the test hook in its place).
    void SendDatagram(const codec::Datagram& datagram, const codec::Ip4& address);
    // The program's one engine: the scan and the batch are its clients beside
    // the window, so a controller is in one exchange at a time across them.
    CEngineHost& Engines() const { return *m_pHost; }

    // The about box; the test hook replaces the modal runs of other dialogs
    // and returns what the dialog would (QDialog::Accepted or Rejected).
    static constexpr int kAboutCommand = 16;
    enum class EChildDialog { About, ProjectorCode, MicSettings };
    std::function<int(EChildDialog)> m_pfnRunChildDialog;

signals:
    // A Set sent its datagram number n (1 to 5).
    void SetStepSent(int nStep);
    // A Set ended: confirmed, or given up or refused; LastSetFields() says
    // what the controller took.
    void SetEnded(bool bConfirmed);
    // A read's wait ended (answered or not).
    void ReadEnded(bool bAnswered);

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnTimer(int nId) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;
    // The about entry of the system menu (Windows) arrives as a system command.
    bool nativeEvent(const QByteArray& eventType, void* pMessage, qintptr* pResult) override;

private:
    void Wire();
    int RunChildDialog(EChildDialog which);
    void SelectProjector(int nSlot);
    void TakeOverProjector();
    // Back to the idle-read state: both buttons and the settings enabled.
    void EndSetState();
    // Ends a read of the window's own that is under way, without a report.
    void DropRead();

    // The engine's reports: replies and the end of the window's read, the
    // steps and the verdict of its Set.
    void OnReply(session::ExchangeId id, const session::SReplyEvent& event) override;
    void OnReadDone(session::ExchangeId id, const session::SReadResult& result) override;
    void OnSetStep(session::ExchangeId id, int nSent) override;
    void OnWriteDone(session::ExchangeId id, const session::SWriteResult& result) override;
    // The microphone table by htnum, saying when it is empty or unreadable.
    std::array<session::SMicEntry, codec::kMicEntries> ReadMicRows();
    // Arranges that what the controller held is saved just before the Set's
    // first datagram (the Set stops, nothing sent, when that fails); false
    // when there is no read to keep and the installer does not go on.
    bool PrepareBackup(session::SWriteRequest& request);

    // Empties every field of the parts a read did not bring.
    void ClearUnreadParts(const std::array<bool, session::kReplyParts>& received);
    // Puts a controller's microphone rows into htset, saying when that failed.
    void StoreMicRows(const std::array<session::SMicEntry, codec::kMicEntries>& rows);

    STiming m_timing;
    CPortOwner m_portOwner; // before the socket: it is released after the socket closes
    std::unique_ptr<CControllerSocket> m_pSocket;
    SendFn m_pfnSend;

    // What the window shows, as one value, moved to and from the controls
    // by the data exchange alone: the five addresses (初始IP is initialIp),
    // 一键通, the lock, the devices by item, the projectors' models and
    // codes. Handlers change it, never a control. The microphone rows live
    // in htset, where their dialog edits them.
    session::SControllerSettings m_value;
    // Whether each address control (初始IP, 服务器IP, 中控IP, 子网掩码, 网关)
    // shows all four fields: a half-typed or emptied one is never sent.
    std::array<bool, 5> m_addressWhole{};
    // The device lists' texts, taken from the selection when saving only.
    QString m_strMicType, m_strKeyboardType, m_strDomeType;
    QString m_strPassword;

    // The Set in progress: the models it sends, its next step (-1: none).
    QString m_strBackupError; // why the Set's backup could not be saved
    bool m_bStartingWrite = false, m_bWriteEnded = false;
    int m_nSetStep = -1;
    bool m_bCloseRequested = false;
    bool m_bCloseAfterBatch = false; // closed during a batch run: ends once the run has
    bool m_bEndedAtInit = false;

    // Datagrams on their way to the engine.
    CReplyQueue* m_pReplies = nullptr;
    std::vector<std::uint8_t> m_receiveBuffer;

    // Which parts of what the window shows this controller's read (or a
    // file, or the installer) gave.
    std::array<bool, session::kReplyParts> m_known{};

    // The last read as a controller value and the last Set's verdict.
    session::SReadResult m_lastRead;
    bool m_bHasLastRead = false;
    session::SWriteResult m_lastWrite;
    // The engine reads and writes: its datagrams, their waits and pauses,
    // the read-back's comparison. Times are the window's monotonic clock.
    class CSocketTransport;
    std::unique_ptr<CSocketTransport> m_pTransport;
    CEngineHost* m_pHost = nullptr;
    session::ClientId m_nClient = 0;
    session::ExchangeId m_nReadId = 0;
    session::ExchangeId m_nWriteId = 0;

public:
    // The row of buttons for many rooms under the window's controls.
    CRoomBar* RoomBar() const { return m_pRoomBar.get(); }

private:
    // Declared last, so it goes first: its dialogs still reach the socket's listeners.
    std::unique_ptr<CRoomBar> m_pRoomBar;
};
