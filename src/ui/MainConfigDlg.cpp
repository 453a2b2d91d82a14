#include "MainConfigDlg.h"
#include "RoomBar.h"

#include "AboutDlg.h"
#include "ControllerSocket.h"
#include "Database.h"
#include "IpAddressEdit.h"
#include "MessageBox.h"
#include "MicSettingsDlg.h"
#include "MicTable.h"
#include "PingWorker.h"
#include "ProgramValues.h"
#include "ProjectorCodeDlg.h"
#include "Resources.h"
#include "Statements.h"
#include "Utf8Path.h"

#include "codec/Requests.h"

#include "History.h"
#include "MicTable.h"
#include "SettingsCheck.h"
#include "Snapshot.h"

#include <filesystem>

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

// Control identifiers of the main window.
enum : int {
    IDC_PROJECTOR1 = 1000,
    IDC_PROJECTOR2 = 1002,
    IDC_SELECT1 = 1003,
    IDC_SELECT2 = 1005,
    IDC_CONTROLLER_IP = 1007,
    IDC_DOME = 1008,
    IDC_MIC = 1009,
    IDC_KEYBOARD = 1010,
    IDC_SET = 1011,
    IDC_GET = 1012,
    IDC_CODE1 = 1013,
    IDC_CODE2 = 1014,
    IDC_SERVER_IP = 1015,
    IDC_MASK = 1019,
    IDC_GATEWAY = 1020,
    IDC_INITIAL_IP = 1021,
    IDC_MIC_SETTINGS = 1028,
    IDC_LOCK_TYPE = 1032,
    IDC_LOCK_TIME = 1034,
    IDC_PING = 1036,
    IDC_PROGRESS = 1038,
    IDC_HELP = 1039,
    IDC_ONE_KEY = 1040,
    IDC_PASSWORD = 1041,
};

enum : int { kTimerTakeOver = 1, kTimerQuery = 3, kTimerSet = 7 };

// The fourteen controls that only a successful reading makes available.
constexpr std::array<int, 14> kSettingControls{
    IDC_SERVER_IP, IDC_CONTROLLER_IP, IDC_MASK,       IDC_GATEWAY,    IDC_DOME,
    IDC_MIC,       IDC_KEYBOARD,      IDC_PROJECTOR1, IDC_PROJECTOR2, IDC_SELECT1,
    IDC_SELECT2,   IDC_MIC_SETTINGS,  IDC_LOCK_TYPE,  IDC_LOCK_TIME};

const QString kUnknownModel = QStringLiteral("未知投影机型号");

// What the controller reports for a microphone value, stored zero-based like
// everything the microphone dialog writes: 0 and 255 mean no choice.
std::string StoredMicValue(std::uint8_t nByte) {
    return nByte == 0 || nByte == 255 ? std::string("-1") : std::to_string(nByte - 1);
}

} // namespace

// The engine's datagrams leave through the window's socket.
class CMainConfigDlg::CSocketTransport : public session::IDatagramTransport {
public:
    explicit CSocketTransport(CMainConfigDlg& dialog) : m_dialog(dialog) {}
    void SendTo(const codec::Datagram& datagram, const codec::Ip4& address) override {
        m_dialog.SendDatagram(datagram, address);
    }

private:
    CMainConfigDlg& m_dialog;
};

CMainConfigDlg::CMainConfigDlg(QWidget* pParent) : CMainConfigDlg(STiming{}, pParent) {}

CMainConfigDlg::CMainConfigDlg(const STiming& timing, QWidget* pParent)
    : CDialogBase(102, pParent), m_timing(timing), m_pingWorker(std::make_unique<CPingWorker>()) {
    if (auto* pPassword = ControlAs<QLineEdit>(IDC_PASSWORD))
        pPassword->setMaxLength(10);
    m_pSetStepTimer = new QTimer(this);
    m_pSetStepTimer->setSingleShot(true);
    // The pauses between the Set's datagrams are never cut short.
    m_pSetStepTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pSetStepTimer, &QTimer::timeout, this, &CMainConfigDlg::AdvanceEngine);
    m_clock.start();
    session::SSessionTiming engineTiming;
    engineTiming.nTickMs = m_timing.nTimerPeriodMs;
    engineTiming.nReadBackTicks = kSetWaitTicks;
    engineTiming.dPauseScale = 1.0 / std::max(1, m_timing.nPauseDivisor);
    m_pTransport = std::make_unique<CSocketTransport>(*this);
    session::ISessionObserver& observer = *this;
    m_pEngine = std::make_unique<session::CSessionEngine>(*m_pTransport, observer, engineTiming);
    // Held datagrams are handled from the event loop once the last message
    // box has closed, never from inside the box.
    m_receiveBuffer.resize(8000);
    m_pDrainTimer = new QTimer(this);
    m_pDrainTimer->setSingleShot(true);
    m_pDrainTimer->setInterval(0);
    connect(m_pDrainTimer, &QTimer::timeout, this, &CMainConfigDlg::DrainReplies);
    m_nBoxesClosedKey = AddBoxesClosedListener([this] { m_pDrainTimer->start(); });
    Wire();
    m_pRoomBar = std::make_unique<CRoomBar>(*this);
}

CMainConfigDlg::~CMainConfigDlg() {
    RemoveBoxesClosedListener(m_nBoxesClosedKey);
    m_pEngine->CancelAll();
    m_pEngine.reset();
}

void CMainConfigDlg::Wire() {
    auto onClick = [this](int nId, void (CMainConfigDlg::*pHandler)()) {
        if (auto* pButton = ControlAs<QPushButton>(nId))
            connect(pButton, &QPushButton::clicked, this, pHandler);
    };
    onClick(IDC_GET, &CMainConfigDlg::OnGetSettings);
    onClick(IDC_SET, &CMainConfigDlg::OnSet);
    onClick(IDC_SELECT1, &CMainConfigDlg::OnSelectProjector1);
    onClick(IDC_SELECT2, &CMainConfigDlg::OnSelectProjector2);
    onClick(IDC_MIC_SETTINGS, &CMainConfigDlg::OnMicSettings);
    // "PING" and "帮助" have handlers that do nothing.
    if (auto* pCombo = ControlAs<QComboBox>(IDC_LOCK_TYPE))
        connect(pCombo, &QComboBox::activated, this, &CMainConfigDlg::OnSelchangeLockType);
}

CIpAddressEdit* CMainConfigDlg::IpControl(int nId) const {
    return ControlAs<CIpAddressEdit>(nId);
}

int CMainConfigDlg::DoModal() {
    OnInitDialog();
    if (m_bEndedAtInit)
        return QDialog::Accepted;
    return exec();
}

bool CMainConfigDlg::OnInitDialog() {
    auto* pLockTime = ControlAs<QComboBox>(IDC_LOCK_TIME);
    SetCurSel(IDC_LOCK_TYPE, 0);
    // "0.5", then "1" to "120": built once, shared by every window.
    static const QStringList times = [] {
        QStringList list{QStringLiteral("0.5")};
        for (int i = 1; i <= 120; ++i)
            list << QString::number(i);
        return list;
    }();
    pLockTime->clear();
    pLockTime->addItems(times);
    SetCurSel(IDC_LOCK_TIME, 0);
    DisableSettingControls();

    g_bMicTableFromController = false;
    m_bSetConfirmed = false;
    m_nQueryTicks = 0;
    g_nProjectorSlot = 0;
    g_bProjectorChosen = false;
    m_bVerifySet = false;

    // Another Velmora program owns the port (its replies would be split
    // between the two), or another program holds it without sharing: the
    // window ends here, and nothing after the refusal runs.
    std::string strHolder;
    const bool bOwner = m_portOwner.Acquire(m_timing.nPort, "velmora", strHolder);
    if (!bOwner || !CControllerSocket::PortIsFree(m_timing.nPort)) {
        MessageBoxShow(bOwner ? QStringLiteral("通信端口被占用！")
                              : QStringLiteral("通信端口被占用！（%1 正在使用）").arg(QString::fromStdString(strHolder)));
        UpdateData(true);
        m_bEndedAtInit = true;
        done(QDialog::Accepted);
        return true;
    }
    m_pSocket =
        std::make_unique<CControllerSocket>([this](CControllerSocket& socket) { OnSocketReceive(socket); });
    m_pSocket->Create(m_timing.nPort);
    SetTimer(kTimerTakeOver, m_timing.nTimerPeriodMs);
    return true;
}

void CMainConfigDlg::DoDataExchange(bool bSave) {
    if (bSave) {
        m_strMicType = ComboText(IDC_MIC);
        m_strKeyboardType = ComboText(IDC_KEYBOARD);
        m_strDomeType = ComboText(IDC_DOME);
        m_strModel1 = ComboText(IDC_PROJECTOR1);
        m_strModel2 = ComboText(IDC_PROJECTOR2);
        m_strCode1 = GetItemText(IDC_CODE1);
        m_strCode2 = GetItemText(IDC_CODE2);
        m_strPassword = GetItemText(IDC_PASSWORD).left(10);
    } else {
        SetComboText(IDC_MIC, m_strMicType);
        SetComboText(IDC_KEYBOARD, m_strKeyboardType);
        SetComboText(IDC_DOME, m_strDomeType);
        SetComboTextExact(IDC_PROJECTOR1, m_strModel1);
        SetComboTextExact(IDC_PROJECTOR2, m_strModel2);
        SetItemText(IDC_CODE1, m_strCode1);
        SetItemText(IDC_CODE2, m_strCode2);
        SetItemText(IDC_PASSWORD, m_strPassword);
    }
}

// A model name shows as it is: an item equal to it is selected, otherwise the
// edit part shows the text. (Selecting the first item that merely begins with
// the text would show another model whose name is longer.)
void CMainConfigDlg::SetComboTextExact(int nId, const QString& strText) {
    auto* pCombo = ControlAs<QComboBox>(nId);
    int nIndex =
        strText.isEmpty() ? -1 : pCombo->findText(strText, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (nIndex >= 0) {
        if (pCombo->currentIndex() != nIndex)
            pCombo->setCurrentIndex(nIndex);
        if (pCombo->currentText() != strText)
            pCombo->setEditText(strText);
    } else if (pCombo->currentText() != strText) {
        pCombo->setEditText(strText);
    }
}

void CMainConfigDlg::SetIp(int nId, const codec::Ip4& address) {
    if (auto* pIp = IpControl(nId))
        pIp->SetAddress(address);
}

void CMainConfigDlg::DisableSettingControls() {
    for (int nId : kSettingControls)
        EnableItem(nId, false);
}

void CMainConfigDlg::EnableSettingControls() {
    for (int nId : kSettingControls) {
        if (nId == IDC_LOCK_TIME) {
            if (GetCurSel(IDC_LOCK_TYPE) == 0)
                EnableItem(IDC_LOCK_TIME, true);
            continue;
        }
        EnableItem(nId, true);
    }
}

void CMainConfigDlg::OnSelchangeLockType() {
    EnableItem(IDC_LOCK_TIME, GetCurSel(IDC_LOCK_TYPE) == 0);
}

void CMainConfigDlg::RunChildDialog(EChildDialog which) {
    if (m_pfnRunChildDialog) {
        m_pfnRunChildDialog(which);
        return;
    }
    switch (which) {
    case EChildDialog::About: {
        CAboutDlg dialog(this);
        dialog.DoModal();
        break;
    }
    case EChildDialog::ProjectorCode: {
        CProjectorCodeDlg dialog;
        dialog.DoModal();
        break;
    }
    case EChildDialog::MicSettings: {
        CMicSettingsDlg dialog;
        dialog.DoModal();
        break;
    }
    }
}

void CMainConfigDlg::OnSysCommand(int nCommand) {
    if ((nCommand & 0xFFF0) == kAboutCommand)
        RunChildDialog(EChildDialog::About);
}

void CMainConfigDlg::contextMenuEvent(QContextMenuEvent* pEvent) {
    // Where the window manager owns the title bar, the about entry of the
    // system menu lives in the window's context menu.
    QString strAbout = LoadResourceString(101);
    if (strAbout.isEmpty())
        return;
    QMenu menu(this);
    QAction* pAbout = menu.addAction(strAbout);
    if (menu.exec(pEvent->globalPos()) == pAbout)
        OnSysCommand(kAboutCommand);
}

void CMainConfigDlg::SelectProjector(int nSlot) {
    g_nProjectorSlot = nSlot;
    RunChildDialog(EChildDialog::ProjectorCode);
}

void CMainConfigDlg::OnSelectProjector1() {
    SelectProjector(1);
}
void CMainConfigDlg::OnSelectProjector2() {
    SelectProjector(2);
}
void CMainConfigDlg::OnMicSettings() {
    RunChildDialog(EChildDialog::MicSettings);
}

void CMainConfigDlg::reject() {
    // A close while the Set is sending waits for its closing query.
    if (IsSending()) {
        m_bCloseRequested = true;
        return;
    }
    CDialogBase::reject();
}

void CMainConfigDlg::OnTimer(int nId) {
    // A tick that comes while a message box is open waits for the next one,
    // so no box ever opens inside another.
    if (IsMessageBoxOpen())
        return;
    // While a Set is sending, the window is in its setting state: a query
    // that completes now must not make the settings available mid-Set, so
    // only the Set's own wait goes on.
    if (IsSending() && nId != kTimerSet)
        return;
    UpdateData(true);
    switch (nId) {
    case kTimerTakeOver:
        TakeOverProjector();
        break;
    case kTimerQuery:
        OnQueryWaitTick();
        break;
    case kTimerSet:
        OnSetWaitTick();
        break;
    default:
        break;
    }
}

void CMainConfigDlg::TakeOverProjector() {
    if (!g_bProjectorChosen || (g_nProjectorSlot != 1 && g_nProjectorSlot != 2))
        return;
    const bool bFirst = g_nProjectorSlot == 1;
    QString& strModel = bFirst ? m_strModel1 : m_strModel2;
    QString& strCode = bFirst ? m_strCode1 : m_strCode2;
    if (!g_strChosenModel.empty()) {
        strModel = QString::fromStdString(g_strChosenModel);
        strCode = QString::fromStdString(g_strChosenCode);
        m_bCodeKnown[bFirst ? 0 : 1] = true;
    }
    auto* pCombo = ControlAs<QComboBox>(bFirst ? IDC_PROJECTOR1 : IDC_PROJECTOR2);
    // The clear command empties the selected text of the edit part.
    if (QLineEdit* pEdit = pCombo->lineEdit())
        pEdit->del();
    pCombo->insertItem(0, QStringLiteral("无"));
    pCombo->insertItem(1, strModel);
    UpdateData(false);
    g_bProjectorChosen = false;
}

void CMainConfigDlg::OnGetSettings() {
    if (IsSending())
        return;
    CIpAddressEdit* pInitial = IpControl(IDC_INITIAL_IP);
    if (pInitial->Text() == QLatin1String("0.0.0.0")) {
        MessageBoxShow(QStringLiteral("目标IP不能为空！"));
        return;
    }
    m_bVerifySet = false;
    m_nReadKinds = 0;
    m_bCodeKnown = {false, false};
    m_lastRead = session::SReadResult{};
    m_bHasLastRead = false;
    codec::Datagram query = codec::BuildQuery(pInitial->Address());
    m_pSocket->SendTo(query.data(), query.size(), m_timing.nPeerPort, pInitial->Text().toStdString());
    m_bReplyReceived = false;
    m_nQueryTicks = 0;
    SetTimer(kTimerQuery, m_timing.nTimerPeriodMs);
}

void CMainConfigDlg::OnQueryWaitTick() {
    if (m_bReplyReceived) {
        KillTimer(kTimerQuery);
        // A lost datagram is ordinary on a classroom network: say which
        // replies did not come, so no one sets from a half-read controller
        // unawares.
        const QString strMissing = MissingRepliesText();
        MessageBoxShow(strMissing.isEmpty() ? QStringLiteral("获取完成！") : strMissing);
        g_bMicTableFromController = true;
        EnableItem(IDC_SET, true);
        EnableSettingControls();
        emit ReadEnded(true);
        return;
    }
    if (++m_nQueryTicks >= 3) {
        KillTimer(kTimerQuery);
        m_nQueryTicks = 0;
        MessageBoxShow(QStringLiteral("该中控无信息返回！"));
        DisableSettingControls();
        emit ReadEnded(false);
    }
}

QString CMainConfigDlg::MissingRepliesText() const {
    static const std::array<const char*, 4> names{"投影机1代码", "投影机2代码", "IP设置", "附加设置"};
    QStringList missing;
    for (unsigned nKind = 1; nKind <= 4; ++nKind)
        if (!(m_nReadKinds & (1u << nKind)))
            missing << QString::fromUtf8(names[nKind - 1]);
    if (missing.isEmpty())
        return QString();
    return QStringLiteral("未收到：") + missing.join(QStringLiteral("、"));
}

bool CMainConfigDlg::ConfirmUnreadBundles() {
    for (int nSlot = 1; nSlot <= 2; ++nSlot) {
        if (m_bCodeKnown[static_cast<std::size_t>(nSlot - 1)])
            continue;
        const QString& strCode = nSlot == 1 ? m_strCode1 : m_strCode2;
        const QString strText =
            strCode.trimmed().isEmpty()
                ? QStringLiteral("投影机%1的代码未读取，设置将清除中控中的投影机%1代码，是否继续？")
                      .arg(nSlot)
                : QStringLiteral(
                      "投影机%1的代码未读取，设置将以窗口中的投影机%1代码覆盖中控中的代码，是否继续？")
                      .arg(nSlot);
        if (!MessageBoxAsk(strText))
            return false;
    }
    return true;
}

void CMainConfigDlg::OnSet() {
    if (IsSending())
        return;
    UpdateData(true);
    if (!ConfirmUnreadBundles() || !ConfirmValues() || !SaveBackupBeforeSet())
        return;
    UpdateData(true);
    EnableItem(IDC_SET, false);
    EnableItem(IDC_GET, false);
    DisableSettingControls();
    m_bSetConfirmed = false;
    // The read-back of an earlier Set is over, and a query still waiting
    // must not make the settings available while this Set runs.
    m_bVerifySet = false;
    m_bClosingQuerySent = false;
    KillTimer(kTimerQuery);
    SetTimer(kTimerSet, m_timing.nTimerPeriodMs);
    SendSettings();
}

void CMainConfigDlg::EndSetState() {
    EnableItem(IDC_SET, true);
    EnableItem(IDC_GET, true);
    EnableSettingControls();
}

void CMainConfigDlg::OnSetWaitTick() {
    if (!m_bClosingQuerySent)
        return;
    if (m_bSetConfirmed) {
        KillTimer(kTimerSet);
        MessageBoxShow(QStringLiteral("发送成功！"));
        EndSetState();
        EndSetWait(true);
        return;
    }
    if (++m_nSetWaitTicks < kSetWaitTicks)
        return;
    // No confirmation: give the window back to the installer. A late reply
    // must not confirm this Set, nor the next one while it is sending.
    KillTimer(kTimerSet);
    m_bVerifySet = false;
    if (!m_bSetReplyReceived && !m_bSetMismatchSaid)
        MessageBoxShow(QStringLiteral("该中控无信息返回！"));
    EndSetState();
    EndSetWait(false);
}

bool CMainConfigDlg::ConfirmValues() {
    // A half-typed address gets the Set's own message when it is sent.
    for (int nId : {IDC_INITIAL_IP, IDC_SERVER_IP, IDC_CONTROLLER_IP, IDC_MASK, IDC_GATEWAY})
        if (!IpControl(nId)->IsComplete())
            return true;
    // The same rules as every Velmora program's; the lock time is the
    // window's own choice, so a level lock is no problem here.
    for (const session::SSettingIssue& issue : session::CheckSettings(CurrentSettings(), false)) {
        switch (issue.eProblem) {
        case session::ESettingProblem::GatewayOutsideSubnet:
            if (!MessageBoxAsk(QStringLiteral("网关不在中控IP所在网段内，是否继续？"), true))
                return false;
            continue;
        case session::ESettingProblem::MaskNotContiguous:
        case session::ESettingProblem::MaskPrefixOutOfRange:
            MessageBoxShow(QStringLiteral("子网掩码无效！"));
            return false;
        case session::ESettingProblem::LockTimeWithLevelLock:
        case session::ESettingProblem::None:
            continue;
        default:
            MessageBoxShow(QStringLiteral("中控IP不是可用的主机地址！"));
            return false;
        }
    }
    return true;
}

bool CMainConfigDlg::SaveBackupBeforeSet() {
    const codec::Ip4 initial = IpControl(IDC_INITIAL_IP)->Address();
    if (!m_bHasLastRead || m_lastRead.settings.initialIp != initial)
        return MessageBoxAsk(QStringLiteral("尚未获取该中控的原有设置，设置前无法备份。是否继续？"));
    const session::SSnapshot snapshot{m_lastRead, session::UtcNowText(), session::ProgramVersion()};
    std::string strError;
    // Kept beside data.mdb, which is not always in the working folder (a
    // per-user copy when the program's folder may not be written).
    if (session::CHistory(CDatabase::Folder()).Save(snapshot, strError))
        return true;
    MessageBoxShow(QStringLiteral("设置前的备份未能保存，未发送任何数据：") +
                   QString::fromStdString(strError));
    return false;
}

void CMainConfigDlg::EndSetWait(bool bConfirmed) {
    m_bSetWaitEnded = true;
    m_bLastSetConfirmed = bConfirmed;
    if (m_bWriteDone) {
        emit SetEnded(bConfirmed);
        return;
    }
    // The read-back is over for the window, so it is for the engine, which
    // then reports the comparison (and SetEnded follows from there).
    m_pEngine->EndReadBackNow(m_nWriteId);
    if (!m_bWriteDone) {
        m_bWriteDone = true;
        m_lastSetFields.clear();
        emit SetEnded(bConfirmed);
    }
}

void CMainConfigDlg::OnWriteDone(session::ExchangeId, const session::SWriteResult& result) {
    m_bWriteDone = true;
    m_lastSetFields = result.fields;
    if (result.readBack.Any()) {
        // What the controller reported is now what it holds: the backup of
        // the next Set.
        m_lastRead = result.readBack;
        m_bHasLastRead = true;
    }
    if (m_bSetWaitEnded)
        emit SetEnded(m_bLastSetConfirmed);
}

void CMainConfigDlg::SendSettings() {
    UpdateData(true);
    const std::array<int, 5> addressIds{IDC_INITIAL_IP, IDC_SERVER_IP, IDC_CONTROLLER_IP, IDC_MASK,
                                        IDC_GATEWAY};
    for (int nId : addressIds) {
        // A half-typed address counts as empty: it is never sent.
        if (!IpControl(nId)->IsComplete()) {
            MessageBoxShow(QStringLiteral("请填写完整的IP地址信息！"));
            KillTimer(kTimerSet);
            EndSetState();
            m_lastSetFields.clear();
            emit SetEnded(false);
            return;
        }
    }
    // The Set sends what the window shows now, whatever changes meanwhile.
    m_strSnapshotModel1 = ComboText(IDC_PROJECTOR1);
    m_strSnapshotModel2 = ComboText(IDC_PROJECTOR2);
    m_setSent = CurrentSettings();

    m_bClosingQuerySent = false;
    m_nSetWaitTicks = 0;
    m_bSetReplyReceived = false;
    m_bSetMismatchSaid = false;
    m_bSetWaitEnded = false;
    m_bWriteDone = false;
    auto* pProgress = ControlAs<QProgressBar>(IDC_PROGRESS);
    pProgress->setRange(0, 5);
    pProgress->setValue(0);
    pProgress->show();
    m_nSetStep = 0;
    // The engine sends the five datagrams with their pauses and compares the
    // read-back; the window keeps its own waits and messages.
    session::SWriteRequest request;
    request.settings = m_setSent;
    request.bReadFirst = false;
    m_tLastAdvance = Now();
    m_nWriteId = m_pEngine->StartWrite(std::move(request), m_tLastAdvance);
    ScheduleEngine();
}

// The window's engine runs one write at a time and nothing else, so every
// report is about the Set in hand (the first step is reported before
// StartWrite has returned its id).
void CMainConfigDlg::OnSetStep(session::ExchangeId, int nSent) {
    if (nSent == 1) {
        g_strSentModel1 = m_strSnapshotModel1.toStdString();
        g_strSentModel2 = m_strSnapshotModel2.toStdString();
    }
    const bool bClosingQuery = nSent == 5;
    if (bClosingQuery) {
        m_verifyAddress = m_setSent.controllerIp;
        m_bVerifySet = true;
    }
    m_bStepSent = true;
    emit SetStepSent(nSent);
    ControlAs<QProgressBar>(IDC_PROGRESS)->setValue(nSent);
    if (!bClosingQuery) {
        m_nSetStep = nSent;
        return;
    }
    // The closing query is out: the wait for its answer is timer 7's.
    m_nSetStep = -1;
    m_bClosingQuerySent = true;
    ControlAs<QProgressBar>(IDC_PROGRESS)->hide();
    if (m_bCloseRequested) {
        m_bCloseRequested = false;
        reject();
    }
}

void CMainConfigDlg::AdvanceEngine() {
    m_tLastAdvance = Now();
    m_bStepSent = false;
    m_pEngine->Advance(m_tLastAdvance);
    ScheduleEngine();
}

void CMainConfigDlg::ScheduleEngine() {
    // Only the Set's pauses are the window's to time; the read-back's end
    // is decided by timer 7.
    const std::optional<session::TimeMs> next = m_pEngine->NextDeadline();
    if (!next || !IsSending()) {
        m_pSetStepTimer->stop();
        return;
    }
    // A pause runs whole from the moment its datagram left, however long
    // building and sending it took; the clock counts whole milliseconds, so
    // one more keeps a fraction of one from cutting it short.
    const session::TimeMs nPause = m_bStepSent ? *next - m_tLastAdvance : *next - Now();
    m_bStepSent = false;
    m_pSetStepTimer->start(static_cast<int>(std::max<session::TimeMs>(0, nPause) + 1));
}

std::array<session::SMicEntry, codec::kMicEntries> CMainConfigDlg::ReadMicRows() {
    // Each record goes to the microphone its htnum names, whatever order the
    // table returns them in; a microphone without a record has no choices.
    const session::SMicTableLoad load = session::LoadMicTable();
    if (load.bEmpty)
        MessageBoxShow(QStringLiteral("表内数据为空"));
    if (!load.strError.empty())
        MessageBoxShow(QString::fromStdString(load.strError));
    return load.rows;
}

void CMainConfigDlg::OnSocketReceive(CControllerSocket& socket) {
    long nResult = socket.ReceiveFrom(m_receiveBuffer.data(), m_receiveBuffer.size());
    if (nResult <= 0)
        return;
    const auto nLength = static_cast<std::size_t>(nResult);
    // Whoever shares the socket hears every datagram at once; a listener may
    // remove itself meanwhile.
    const auto listeners = m_listeners;
    for (const auto& [nKey, listener] : listeners)
        if (m_listeners.count(nKey))
            listener(m_receiveBuffer.data(), nLength);
    m_pEngine->OnDatagram(m_receiveBuffer.data(), nLength, Now());
    // Past the bounds the newest datagrams are dropped and the held ones kept.
    if (m_replyQueue.size() >= kMaxQueuedReplies || m_nQueuedBytes + nLength > kMaxQueuedBytes)
        return;
    m_replyQueue.emplace_back(m_receiveBuffer.begin(), m_receiveBuffer.begin() + nResult);
    m_nQueuedBytes += nLength;
    DrainReplies();
}

void CMainConfigDlg::DrainReplies() {
    // A handler suspended in a message box is not re-entered: what arrives
    // meanwhile waits until it has finished, final data exchange included.
    if (m_bHandlingReply)
        return;
    m_bHandlingReply = true;
    while (!IsMessageBoxOpen() && !m_replyQueue.empty()) {
        std::vector<std::uint8_t> data = std::move(m_replyQueue.front());
        m_replyQueue.pop_front();
        m_nQueuedBytes -= data.size();
        UpdateData(true);
        m_bReplyReceived = data.size() != 14;
        HandleReply(data.data(), data.size());
    }
    m_bHandlingReply = false;
}

int CMainConfigDlg::PendingSetPauseMs() const {
    const std::optional<session::TimeMs> next = m_pEngine->NextDeadline();
    return IsSending() && next ? static_cast<int>(*next - m_tLastAdvance) : 0;
}

void CMainConfigDlg::FireSetStep() {
    const std::optional<session::TimeMs> next = m_pEngine->NextDeadline();
    if (!IsSending() || !next)
        return;
    // The pause is over as far as the engine can tell.
    m_nClockSkewMs += std::max<session::TimeMs>(0, *next - Now());
    AdvanceEngine();
}

void CMainConfigDlg::HandleReply(const std::uint8_t* pData, std::size_t nLength) {
    codec::Ip4 initial = codec::AddressToBytes(IpControl(IDC_INITIAL_IP)->Text().toStdString());
    codec::Reply reply = codec::ReadReply(pData, nLength, initial);
    // A Set that moved the controller is read back from its new address.
    if (reply.outcome == codec::ReplyOutcome::Dropped && m_bVerifySet && m_verifyAddress != initial)
        reply = codec::ReadReply(pData, nLength, m_verifyAddress);

    switch (reply.outcome) {
    case codec::ReplyOutcome::Projector:
    case codec::ReplyOutcome::IpSettings:
    case codec::ReplyOutcome::Additional:
        // Only an accepted reply tells that a controller answered.
        m_nReadKinds |= 1u << reply.kind;
        if (m_bClosingQuerySent)
            m_bSetReplyReceived = true;
        if (reply.outcome == codec::ReplyOutcome::Projector)
            m_bCodeKnown[reply.kind == 1 ? 0 : 1] = true;
        // The Set's read-back is the engine's; anything else is a read.
        if (!(m_bClosingQuerySent && IsTimerRunning(kTimerSet))) {
            session::ApplyReply(reply, m_lastRead);
            m_bHasLastRead = true;
        }
        break;
    default:
        break;
    }

    switch (reply.outcome) {
    case codec::ReplyOutcome::Dropped:
        return;
    case codec::ReplyOutcome::OtherKind:
        FinalStep(false, reply.kind, false);
        return;
    case codec::ReplyOutcome::ReceptionError:
        MessageBoxShow(QString::fromUtf8(codec::ReceptionErrorMessage(reply.kind)));
        if (reply.kind == 4)
            return;
        FinalStep(reply.kind == 1 || reply.kind == 2, reply.kind, false);
        return;
    case codec::ReplyOutcome::Projector: {
        ApplyProjectorReply(reply);
        FinalStep(true, reply.kind, true);
        // The model the library names, "" for an empty slot.
        if (!(m_bClosingQuerySent && IsTimerRunning(kTimerSet))) {
            const std::size_t nSlot = reply.kind == 1 ? 0 : 1;
            const QString& strModel = nSlot == 0 ? m_strModel1 : m_strModel2;
            m_lastRead.settings.projectors[nSlot].strModel =
                codec::VideoTextFromCode(reply.projector.codeText).empty() ? std::string()
                                                                           : strModel.toStdString();
        }
        return;
    }
    case codec::ReplyOutcome::IpSettings:
        ApplyIpReply(reply);
        FinalStep(false, reply.kind, true);
        return;
    case codec::ReplyOutcome::Additional:
        ApplyAdditionalReply(reply);
        return;
    }
}

void CMainConfigDlg::ApplyProjectorReply(const codec::Reply& reply) {
    if (reply.kind == 2)
        SetIp(IDC_INITIAL_IP, reply.address);
    QString& strStored = reply.kind == 1 ? m_strReplyCode1 : m_strReplyCode2;
    QString& strCode = reply.kind == 1 ? m_strCode1 : m_strCode2;
    strStored = QString::fromStdString(reply.projector.storedBundle);
    strCode = QString::fromStdString(reply.projector.codeText);
}

void CMainConfigDlg::ApplyIpReply(const codec::Reply& reply) {
    SetIp(IDC_INITIAL_IP, reply.address);
    SetIp(IDC_SERVER_IP, reply.ip.server);
    SetIp(IDC_CONTROLLER_IP, reply.ip.controller);
    SetIp(IDC_MASK, reply.ip.mask);
    SetIp(IDC_GATEWAY, reply.ip.gateway);
    SetCurSel(IDC_LOCK_TYPE, reply.ip.lockTypeIndex);
    SetCurSel(IDC_LOCK_TIME, reply.ip.lockTimeIndex);
    ControlAs<QCheckBox>(IDC_ONE_KEY)->setChecked(reply.ip.oneKey);
}

void CMainConfigDlg::ApplyAdditionalReply(const codec::Reply& reply) {
    SetIp(IDC_INITIAL_IP, reply.address);
    SetCurSel(IDC_DOME, reply.additional.domeIndex);
    SetCurSel(IDC_MIC, reply.additional.micIndex);
    SetCurSel(IDC_KEYBOARD, reply.additional.keyboardIndex);
    // All twenty rows are attempted; one box at most says what went wrong.
    bool bReported = false;
    for (std::size_t i = 0; i < codec::kMicEntries; ++i) {
        const auto& entry = reply.additional.mic[i];
        try {
            CDatabase::ExecuteWrite(stmt::StoreMicRow(StoredMicValue(entry[1]), StoredMicValue(entry[2]),
                                                      StoredMicValue(entry[3]), StoredMicValue(entry[0]),
                                                      std::to_string(i)));
        } catch (const CDatabaseError& error) {
            if (!bReported)
                ReportDatabaseError(error);
            bReported = true;
        }
    }
    m_bVerifySet = false;
}

QString CMainConfigDlg::LookUpModel(const std::string& strVideo, bool* pbGood, const QString& strRecorded) {
    *pbGood = false;
    QString strModel = kUnknownModel;
    if (strVideo.empty()) {
        *pbGood = strRecorded == strModel;
        return strModel;
    }
    try {
        auto pRecords = CDatabase::OpenRead(stmt::SelectByVideo(strVideo));
        while (!pRecords->AtEnd()) {
            QString strRow = QString::fromStdString(pRecords->FieldOr("投影机型号", std::string()));
            // A row without a model name cannot name the projector.
            strModel = strRow.isEmpty() ? kUnknownModel : strRow;
            *pbGood = *pbGood || strModel == strRecorded;
            pRecords->MoveNext();
        }
    } catch (const CDatabaseError& error) {
        ReportDatabaseError(error);
        strModel = kUnknownModel;
    }
    if (strModel == kUnknownModel && strModel == strRecorded)
        *pbGood = true;
    return strModel;
}

void CMainConfigDlg::FinalStep(bool bProjector, int nKind, bool bAccepted) {
    UpdateData(false);
    if (bProjector) {
        UpdateData(true);
        if (!bAccepted)
            return;
        const bool bFirst = nKind == 1;
        QString& strModel = bFirst ? m_strModel1 : m_strModel2;
        const QString& strCode = bFirst ? m_strCode1 : m_strCode2;
        const QString strRecorded = QString::fromStdString(bFirst ? g_strSentModel1 : g_strSentModel2);
        bool bGood = false;
        const std::string strVideo = codec::VideoTextFromCode(strCode.toStdString());
        strModel = LookUpModel(strVideo, &bGood, strRecorded);
        // A slot the Set left empty on purpose reads back empty: that is
        // what was asked for, not a write error.
        const std::string& strSent = m_setSent.projectors[bFirst ? 0 : 1].strCode;
        if (strVideo.empty() && QString::fromStdString(strSent).trimmed().isEmpty())
            bGood = true;
        // Only the read-back of a Set whose closing query is out can confirm it.
        if (m_bVerifySet && m_bClosingQuerySent && !IsSending()) {
            if (!bGood) {
                m_bSetMismatchSaid = true;
                MessageBoxShow(QStringLiteral("投影机写入出错！"));
            } else if (nKind == 2) {
                m_bSetConfirmed = true;
            }
        }
        UpdateData(false);
    }
    m_strCode1 = m_strReplyCode1;
    m_strCode2 = m_strReplyCode2;
    UpdateData(false);
}

session::SControllerSettings CMainConfigDlg::CurrentSettings() {
    UpdateData(true);
    session::SControllerSettings s;
    auto address = [this](int nId) { return codec::AddressToBytes(IpControl(nId)->Text().toStdString()); };
    s.initialIp = address(IDC_INITIAL_IP);
    s.serverIp = address(IDC_SERVER_IP);
    s.controllerIp = address(IDC_CONTROLLER_IP);
    s.maskIp = address(IDC_MASK);
    s.gatewayIp = address(IDC_GATEWAY);
    s.bOneKey = ControlAs<QCheckBox>(IDC_ONE_KEY)->isChecked();
    s.nLockType = GetCurSel(IDC_LOCK_TYPE);
    s.nLockTime = GetCurSel(IDC_LOCK_TIME);
    s.nDome = GetCurSel(IDC_DOME);
    s.nMic = GetCurSel(IDC_MIC);
    s.nKeyboard = GetCurSel(IDC_KEYBOARD);
    s.projectors[0] = {m_strCode1.toStdString(), m_strModel1.toStdString()};
    s.projectors[1] = {m_strCode2.toStdString(), m_strModel2.toStdString()};
    s.mics = ReadMicRows();
    return s;
}

std::array<bool, session::kReplyParts> CMainConfigDlg::KnownParts() const {
    std::array<bool, session::kReplyParts> known{};
    if (m_bHasLastRead)
        known = m_lastRead.received;
    known[session::kPartProjector1] = m_bCodeKnown[0];
    known[session::kPartProjector2] = m_bCodeKnown[1];
    return known;
}

void CMainConfigDlg::LoadSettings(const session::SControllerSettings& s, bool bApplyInitialIp,
                                  const std::array<bool, session::kReplyParts>& received) {
    UpdateData(true);
    if (bApplyInitialIp)
        SetIp(IDC_INITIAL_IP, s.initialIp);
    SetIp(IDC_SERVER_IP, s.serverIp);
    SetIp(IDC_CONTROLLER_IP, s.controllerIp);
    SetIp(IDC_MASK, s.maskIp);
    SetIp(IDC_GATEWAY, s.gatewayIp);
    ControlAs<QCheckBox>(IDC_ONE_KEY)->setChecked(s.bOneKey);
    SetCurSel(IDC_LOCK_TYPE, s.nLockType);
    SetCurSel(IDC_LOCK_TIME, s.nLockTime);
    SetCurSel(IDC_DOME, s.nDome);
    SetCurSel(IDC_MIC, s.nMic);
    SetCurSel(IDC_KEYBOARD, s.nKeyboard);
    UpdateData(true);
    m_strCode1 = QString::fromStdString(s.projectors[0].strCode);
    m_strCode2 = QString::fromStdString(s.projectors[1].strCode);
    m_strModel1 = QString::fromStdString(s.projectors[0].strModel);
    m_strModel2 = QString::fromStdString(s.projectors[1].strModel);
    UpdateData(false);
    // Codes the file holds are the installer's choice now, as if picked from
    // the library; codes it never read are not.
    m_bCodeKnown = {received[session::kPartProjector1], received[session::kPartProjector2]};
    const std::string strError = session::StoreMicTable(s.mics);
    if (!strError.empty())
        MessageBoxShow(QString::fromStdString(strError));
    g_bMicTableFromController = true;
    EnableItem(IDC_SET, true);
    EnableItem(IDC_GET, true);
    EnableSettingControls();
}

void CMainConfigDlg::ReadController(const codec::Ip4& address) {
    if (IsSending())
        return;
    SetIp(IDC_INITIAL_IP, address);
    OnGetSettings();
}

int CMainConfigDlg::AddDatagramListener(DatagramListener listener) {
    const int nKey = m_nNextListenerKey++;
    m_listeners.emplace(nKey, std::move(listener));
    return nKey;
}

void CMainConfigDlg::RemoveDatagramListener(int nKey) {
    m_listeners.erase(nKey);
}

void CMainConfigDlg::SendDatagram(const codec::Datagram& datagram, const codec::Ip4& address) {
    if (m_pSocket)
        m_pSocket->SendTo(datagram.data(), datagram.size(), m_timing.nPeerPort,
                          codec::BytesToAddress(address));
}
