#include "MainConfigDlg.h"
#include "MainConfigIds.h"
#include "ReplyQueue.h"
#include "RoomBar.h"

#include "AboutDlg.h"
#include "ControllerSocket.h"
#include "Database.h"
#include "EngineDriver.h"
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
#include "SetQuestions.h"
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

using namespace mainid;

// The fourteen controls that only a successful reading makes available.
constexpr std::array<int, 14> kSettingControls{kServerIp, kControllerIp, kMask,       kGateway,    kDome,
                                               kMic,      kKeyboard,     kProjector1, kProjector2, kSelect1,
                                               kSelect2,  kMicSettings,  kLockType,   kLockTime};

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
    if (auto* pPassword = ControlAs<QLineEdit>(kPassword))
        pPassword->setMaxLength(10);
    session::SSessionTiming engineTiming;
    engineTiming.nTickMs = m_timing.nTimerPeriodMs;
    engineTiming.nQueryTicks = kQueryWaitTicks;
    engineTiming.nReadBackTicks = kSetWaitTicks;
    engineTiming.dPauseScale = 1.0 / std::max(1, m_timing.nPauseDivisor);
    m_pTransport = std::make_unique<CSocketTransport>(*this);
    session::ISessionObserver& observer = *this;
    // Only the Set's pauses are timed by the driver; every other wait goes
    // by the one-second timers.
    m_pDriver = new CEngineDriver(
        *m_pTransport, observer, engineTiming, [this] { return IsSending(); }, this);
    m_receiveBuffer.resize(8000);
    m_pReplies = new CReplyQueue(
        [this](const std::uint8_t* pData, std::size_t nLength) { m_pDriver->OnDatagram(pData, nLength); },
        this);
    Wire();
    m_pRoomBar = std::make_unique<CRoomBar>(*this);
}

CMainConfigDlg::~CMainConfigDlg() {
    // The engine goes before the transport it sends through.
    delete m_pDriver;
    m_pDriver = nullptr;
}

void CMainConfigDlg::PassTime(session::TimeMs nMs) {
    m_pDriver->PassTime(nMs);
}

void CMainConfigDlg::Wire() {
    auto onClick = [this](int nId, void (CMainConfigDlg::*pHandler)()) {
        if (auto* pButton = ControlAs<QPushButton>(nId))
            connect(pButton, &QPushButton::clicked, this, pHandler);
    };
    onClick(kGet, &CMainConfigDlg::OnGetSettings);
    onClick(kSet, &CMainConfigDlg::OnSet);
    onClick(kSelect1, &CMainConfigDlg::OnSelectProjector1);
    onClick(kSelect2, &CMainConfigDlg::OnSelectProjector2);
    onClick(kMicSettings, &CMainConfigDlg::OnMicSettings);
    // "PING" and "帮助" have handlers that do nothing.
    if (auto* pCombo = ControlAs<QComboBox>(kLockType))
        connect(pCombo, &QComboBox::activated, this, &CMainConfigDlg::OnSelchangeLockType);
    // What the installer types or picks is the installer's choice: a Set
    // sends it without asking whether it was read.
    for (int nId : {kServerIp, kControllerIp, kMask, kGateway})
        connect(IpControl(nId), &CIpAddressEdit::Edited, this,
                [this] { m_known[session::kPartNetwork] = true; });
    for (int nId : {kDome, kMic, kKeyboard})
        if (auto* pCombo = ControlAs<QComboBox>(nId))
            connect(pCombo, &QComboBox::activated, this, [this] { m_known[session::kPartDevices] = true; });
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
    auto* pLockTime = ControlAs<QComboBox>(kLockTime);
    SetCurSel(kLockType, 0);
    // "0.5", then "1" to "120": built once, shared by every window.
    static const QStringList times = [] {
        QStringList list{QStringLiteral("0.5")};
        for (int i = 1; i <= 120; ++i)
            list << QString::number(i);
        return list;
    }();
    pLockTime->clear();
    pLockTime->addItems(times);
    SetCurSel(kLockTime, 0);
    DisableSettingControls();

    g_bMicTableFromController = false;
    g_nProjectorSlot = 0;
    g_bProjectorChosen = false;

    // Another Velmora program owns the port (its replies would be split
    // between the two), or another program holds it without sharing: the
    // window ends here, and nothing after the refusal runs.
    if (m_pfnSend) {
        SetTimer(kTimerTakeOver, m_timing.nTimerPeriodMs);
        return true;
    }
    std::string strHolder;
    const bool bOwner = m_portOwner.Acquire(m_timing.nPort, "velmora", strHolder);
    if (!bOwner || !CControllerSocket::PortIsFree(m_timing.nPort)) {
        MessageBoxShow(
            bOwner
                ? QStringLiteral("通信端口被占用！")
                : QStringLiteral("通信端口被占用！（%1 正在使用）").arg(QString::fromStdString(strHolder)));
        UpdateData(true);
        m_bEndedAtInit = true;
        done(QDialog::Accepted);
        return true;
    }
    m_pSocket = std::make_unique<CControllerSocket>([this](CControllerSocket& socket) {
        const long nResult = socket.ReceiveFrom(m_receiveBuffer.data(), m_receiveBuffer.size());
        if (nResult > 0)
            ReceiveDatagram(m_receiveBuffer.data(), static_cast<std::size_t>(nResult));
    });
    m_pSocket->Create(m_timing.nPort);
    SetTimer(kTimerTakeOver, m_timing.nTimerPeriodMs);
    return true;
}

void CMainConfigDlg::DoDataExchange(bool bSave) {
    if (bSave) {
        m_strMicType = ComboText(kMic);
        m_strKeyboardType = ComboText(kKeyboard);
        m_strDomeType = ComboText(kDome);
        m_strModel1 = ComboText(kProjector1);
        m_strModel2 = ComboText(kProjector2);
        m_strCode1 = GetItemText(kCode1);
        m_strCode2 = GetItemText(kCode2);
        m_strPassword = GetItemText(kPassword).left(10);
    } else {
        SetComboText(kMic, m_strMicType);
        SetComboText(kKeyboard, m_strKeyboardType);
        SetComboText(kDome, m_strDomeType);
        SetComboTextExact(kProjector1, m_strModel1);
        SetComboTextExact(kProjector2, m_strModel2);
        SetItemText(kCode1, m_strCode1);
        SetItemText(kCode2, m_strCode2);
        SetItemText(kPassword, m_strPassword);
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
        if (nId == kLockTime) {
            if (GetCurSel(kLockType) == 0)
                EnableItem(kLockTime, true);
            continue;
        }
        EnableItem(nId, true);
    }
}

void CMainConfigDlg::OnSelchangeLockType() {
    EnableItem(kLockTime, GetCurSel(kLockType) == 0);
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
    // The microphone table is now the installer's.
    m_known[session::kPartDevices] = true;
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
    UpdateData(true);
    switch (nId) {
    case kTimerTakeOver:
        // A projector chosen while a Set sends waits for the Set to end.
        if (!IsSending())
            TakeOverProjector();
        break;
    case kTimerQuery:
    case kTimerSet:
        // The waits of a read and of a Set's read-back are the engine's; the
        // timers only let it see the time.
        m_pDriver->Advance();
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
        m_known[bFirst ? session::kPartProjector1 : session::kPartProjector2] = true;
    }
    auto* pCombo = ControlAs<QComboBox>(bFirst ? kProjector1 : kProjector2);
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
    CIpAddressEdit* pInitial = IpControl(kInitialIp);
    if (pInitial->Text() == QLatin1String("0.0.0.0")) {
        MessageBoxShow(QStringLiteral("目标IP不能为空！"));
        return;
    }
    // A new read replaces one under way, and waits its own three ticks.
    DropRead();
    m_lastRead = session::SReadResult{};
    m_bHasLastRead = false;
    SetTimer(kTimerQuery, m_timing.nTimerPeriodMs);
    m_nReadId = m_pDriver->StartRead(pInitial->Address());
}

void CMainConfigDlg::DropRead() {
    if (m_nReadId == 0)
        return;
    m_pDriver->Engine().Cancel(m_nReadId);
    m_nReadId = 0;
    KillTimer(kTimerQuery);
}

void CMainConfigDlg::OnReply(session::ExchangeId id, const session::SReplyEvent& event) {
    // Only the window's own read and its Set's read-back reach the controls;
    // what a Set's datagrams meet on their way cannot.
    const bool bRead = id == m_nReadId && id != 0 && event.eStage == session::EStage::Read;
    const bool bReadBack = id == m_nWriteId && id != 0 && event.eStage == session::EStage::ReadBack;
    if (!bRead && !bReadBack)
        return;
    UpdateData(true);
    const codec::Reply& reply = event.reply;
    switch (reply.outcome) {
    case codec::ReplyOutcome::ReceptionError:
        MessageBoxShow(QString::fromUtf8(codec::ReceptionErrorMessage(reply.kind)));
        return;
    case codec::ReplyOutcome::Projector:
        ApplyProjectorReply(event);
        break;
    case codec::ReplyOutcome::IpSettings:
        ApplyIpReply(reply);
        break;
    case codec::ReplyOutcome::Additional:
        ApplyAdditionalReply(reply);
        break;
    default:
        return;
    }
    if (bRead)
        m_known[static_cast<std::size_t>(reply.kind - 1)] = true;
    // A Set that moved the controller is followed to its new address.
    if (bReadBack)
        SetIp(kInitialIp, reply.address);
    UpdateData(false);
}

void CMainConfigDlg::OnReadDone(session::ExchangeId id, const session::SReadResult& result) {
    if (id != m_nReadId || id == 0)
        return;
    m_nReadId = 0;
    KillTimer(kTimerQuery);
    m_lastRead = result;
    m_bHasLastRead = result.Any();
    if (!result.Any()) {
        // Nothing the window shows is this controller's: nothing may be set from it.
        m_known = {};
        MessageBoxShow(QStringLiteral("该中控无信息返回！"));
        EnableItem(kSet, false);
        DisableSettingControls();
        emit ReadEnded(false);
        return;
    }
    // A lost datagram is ordinary on a classroom network: what it would have
    // brought is emptied rather than left from another controller, and the
    // message says which replies did not come.
    m_known = result.received;
    ClearUnreadParts(result.received);
    MessageBoxShow(result.Complete() ? QStringLiteral("获取完成！")
                                     : QString::fromStdString(result.MissingText()));
    g_bMicTableFromController = true;
    EnableItem(kSet, true);
    EnableSettingControls();
    emit ReadEnded(true);
}

void CMainConfigDlg::ClearUnreadParts(const std::array<bool, session::kReplyParts>& received) {
    UpdateData(true);
    for (std::size_t nSlot = 0; nSlot < 2; ++nSlot) {
        if (received[nSlot])
            continue;
        (nSlot == 0 ? m_strCode1 : m_strCode2).clear();
        (nSlot == 0 ? m_strModel1 : m_strModel2).clear();
    }
    if (!received[session::kPartNetwork]) {
        for (int nId : {kServerIp, kControllerIp, kMask, kGateway})
            IpControl(nId)->Clear();
        ControlAs<QCheckBox>(kOneKey)->setChecked(false);
    }
    if (!received[session::kPartDevices])
        for (int nId : {kDome, kMic, kKeyboard})
            SetCurSel(nId, -1);
    UpdateData(false);
}

void CMainConfigDlg::OnSet() {
    if (IsSending())
        return;
    UpdateData(true);
    if (!AskAboutUnreadParts(m_known, m_strCode1, m_strCode2) || !ConfirmValues())
        return;
    UpdateData(true);
    const std::array<int, 5> addressIds{kInitialIp, kServerIp, kControllerIp, kMask, kGateway};
    for (int nId : addressIds) {
        // A half-typed address counts as empty: it is never sent.
        if (!IpControl(nId)->IsComplete()) {
            MessageBoxShow(QStringLiteral("请填写完整的IP地址信息！"));
            m_lastWrite = session::SWriteResult{};
            emit SetEnded(false);
            return;
        }
    }
    // Backed up only when the Set will go out.
    if (!SaveBackupBeforeSet())
        return;
    // A read still waiting must not make the settings available mid-Set.
    DropRead();
    EnableItem(kSet, false);
    EnableItem(kGet, false);
    DisableSettingControls();
    // The Set sends what the window shows now, whatever changes meanwhile.
    m_strSnapshotModel1 = ComboText(kProjector1);
    m_strSnapshotModel2 = ComboText(kProjector2);
    session::SWriteRequest request;
    request.settings = CurrentSettings();
    request.bReadFirst = false;
    auto* pProgress = ControlAs<QProgressBar>(kProgress);
    pProgress->setRange(0, 5);
    pProgress->setValue(0);
    pProgress->show();
    m_nSetStep = 0;
    m_lastWrite = session::SWriteResult{};
    SetTimer(kTimerSet, m_timing.nTimerPeriodMs);
    // The engine sends the five datagrams with their pauses, waits for the
    // read-back and compares it.
    m_nWriteId = m_pDriver->StartWrite(std::move(request));
}

void CMainConfigDlg::EndSetState() {
    EnableItem(kSet, true);
    EnableItem(kGet, true);
    EnableSettingControls();
}

bool CMainConfigDlg::ConfirmValues() {
    // A half-typed address gets the Set's own message when it is sent.
    for (int nId : {kInitialIp, kServerIp, kControllerIp, kMask, kGateway})
        if (!IpControl(nId)->IsComplete())
            return true;
    return AskAboutValues(CurrentSettings());
}

bool CMainConfigDlg::SaveBackupBeforeSet() {
    const codec::Ip4 initial = IpControl(kInitialIp)->Address();
    if (!m_bHasLastRead || m_lastRead.settings.initialIp != initial)
        return MessageBoxAsk(QStringLiteral("尚未获取该中控的原有设置，设置前无法备份。是否继续？"));
    const session::SSnapshot snapshot{m_lastRead, session::UtcNowText(), session::ProgramVersion()};
    std::string strError;
    // Kept beside data.mdb, which is not always in the working folder (a
    // per-user copy when the program's folder may not be written).
    if (session::CHistory(CDatabase::Folder()).Save({snapshot, CurrentSettings().controllerIp}, strError))
        return true;
    MessageBoxShow(QStringLiteral("设置前的备份未能保存，未发送任何数据：") +
                   QString::fromStdString(strError));
    return false;
}

// The window's engine runs its Set and at most one read, never both, so
// every step is the Set's (the first is reported before StartWrite has
// returned its id).
void CMainConfigDlg::OnSetStep(session::ExchangeId, int nSent) {
    if (nSent == 1) {
        g_strSentModel1 = m_strSnapshotModel1.toStdString();
        g_strSentModel2 = m_strSnapshotModel2.toStdString();
    }
    emit SetStepSent(nSent);
    ControlAs<QProgressBar>(kProgress)->setValue(nSent);
    if (nSent < 5) {
        m_nSetStep = nSent;
        return;
    }
    // The closing query is out: the read-back's wait goes by timer 7.
    m_nSetStep = -1;
    ControlAs<QProgressBar>(kProgress)->hide();
    if (m_bCloseRequested) {
        m_bCloseRequested = false;
        reject();
    }
}

void CMainConfigDlg::OnWriteDone(session::ExchangeId id, const session::SWriteResult& result) {
    if (id != m_nWriteId)
        return;
    m_nWriteId = 0;
    m_nSetStep = -1;
    KillTimer(kTimerSet);
    m_lastWrite = result;
    if (result.readBack.Any()) {
        // What the controller reported is now what it holds: the backup of
        // the next Set, and what the window may send again.
        m_lastRead = result.readBack;
        m_lastRead.settings.initialIp = result.sent.controllerIp;
        m_bHasLastRead = true;
    }
    MessageBoxShow(VerdictText(result));
    EndSetState();
    emit SetEnded(result.eOutcome == session::EWriteOutcome::Confirmed);
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

void CMainConfigDlg::ReceiveDatagram(const std::uint8_t* pData, std::size_t nLength) {
    m_pReplies->Push(pData, nLength);
}

void CMainConfigDlg::DrainReplies() {
    m_pReplies->Drain();
}

int CMainConfigDlg::PendingSetPauseMs() const {
    return m_pDriver->PendingPauseMs();
}

void CMainConfigDlg::FireSetStep() {
    m_pDriver->EndPause();
}

void CMainConfigDlg::ApplyProjectorReply(const session::SReplyEvent& event) {
    const codec::Reply& reply = event.reply;
    if (!event.lookup.strError.empty())
        MessageBoxShow(QString::fromStdString(event.lookup.strError));
    const bool bFirst = reply.kind == 1;
    (bFirst ? m_strCode1 : m_strCode2) = QString::fromStdString(reply.projector.storedBundle);
    // An empty slot shows as the unknown model, as a code no library row names.
    (bFirst ? m_strModel1 : m_strModel2) =
        QString::fromUtf8(event.strModel.empty() ? session::kUnknownModel : event.strModel.c_str());
}

void CMainConfigDlg::ApplyIpReply(const codec::Reply& reply) {
    SetIp(kServerIp, reply.ip.server);
    SetIp(kControllerIp, reply.ip.controller);
    SetIp(kMask, reply.ip.mask);
    SetIp(kGateway, reply.ip.gateway);
    SetCurSel(kLockType, reply.ip.lockTypeIndex);
    SetCurSel(kLockTime, reply.ip.lockTimeIndex);
    ControlAs<QCheckBox>(kOneKey)->setChecked(reply.ip.oneKey);
}

void CMainConfigDlg::ApplyAdditionalReply(const codec::Reply& reply) {
    SetCurSel(kDome, reply.additional.domeIndex);
    SetCurSel(kMic, reply.additional.micIndex);
    SetCurSel(kKeyboard, reply.additional.keyboardIndex);
    // All twenty rows are attempted; one box at most says what went wrong.
    bool bReported = false;
    for (std::size_t i = 0; i < codec::kMicEntries; ++i) {
        const auto& entry = reply.additional.mic[i];
        try {
            CDatabase::ExecuteWrite(stmt::StoreMicRow(
                session::StoredMicValue(entry[1]), session::StoredMicValue(entry[2]),
                session::StoredMicValue(entry[3]), session::StoredMicValue(entry[0]), std::to_string(i)));
        } catch (const CDatabaseError& error) {
            if (!bReported)
                ReportDatabaseError(error);
            bReported = true;
        }
    }
}

session::SControllerSettings CMainConfigDlg::CurrentSettings() {
    UpdateData(true);
    session::SControllerSettings s;
    auto address = [this](int nId) { return codec::AddressToBytes(IpControl(nId)->Text().toStdString()); };
    s.initialIp = address(kInitialIp);
    s.serverIp = address(kServerIp);
    s.controllerIp = address(kControllerIp);
    s.maskIp = address(kMask);
    s.gatewayIp = address(kGateway);
    s.bOneKey = ControlAs<QCheckBox>(kOneKey)->isChecked();
    s.nLockType = GetCurSel(kLockType);
    s.nLockTime = GetCurSel(kLockTime);
    s.nDome = GetCurSel(kDome);
    s.nMic = GetCurSel(kMic);
    s.nKeyboard = GetCurSel(kKeyboard);
    s.projectors[0] = {m_strCode1.toStdString(), m_strModel1.toStdString()};
    s.projectors[1] = {m_strCode2.toStdString(), m_strModel2.toStdString()};
    s.mics = ReadMicRows();
    return s;
}

void CMainConfigDlg::LoadSettings(const session::SControllerSettings& s, bool bApplyInitialIp,
                                  const std::array<bool, session::kReplyParts>& received) {
    UpdateData(true);
    if (bApplyInitialIp)
        SetIp(kInitialIp, s.initialIp);
    SetIp(kServerIp, s.serverIp);
    SetIp(kControllerIp, s.controllerIp);
    SetIp(kMask, s.maskIp);
    SetIp(kGateway, s.gatewayIp);
    ControlAs<QCheckBox>(kOneKey)->setChecked(s.bOneKey);
    SetCurSel(kLockType, s.nLockType);
    SetCurSel(kLockTime, s.nLockTime);
    SetCurSel(kDome, s.nDome);
    SetCurSel(kMic, s.nMic);
    SetCurSel(kKeyboard, s.nKeyboard);
    UpdateData(true);
    m_strCode1 = QString::fromStdString(s.projectors[0].strCode);
    m_strCode2 = QString::fromStdString(s.projectors[1].strCode);
    m_strModel1 = QString::fromStdString(s.projectors[0].strModel);
    m_strModel2 = QString::fromStdString(s.projectors[1].strModel);
    UpdateData(false);
    // What the file holds from a read is the installer's choice now; what
    // it never read is not.
    m_known = received;
    const std::string strError = session::StoreMicTable(s.mics);
    if (!strError.empty())
        MessageBoxShow(QString::fromStdString(strError));
    g_bMicTableFromController = true;
    EnableItem(kSet, true);
    EnableItem(kGet, true);
    EnableSettingControls();
}

void CMainConfigDlg::ReadController(const codec::Ip4& address) {
    if (IsSending())
        return;
    SetIp(kInitialIp, address);
    OnGetSettings();
}

int CMainConfigDlg::AddDatagramListener(DatagramListener listener) {
    return m_pReplies->AddListener(std::move(listener));
}

void CMainConfigDlg::RemoveDatagramListener(int nKey) {
    m_pReplies->RemoveListener(nKey);
}

void CMainConfigDlg::SendDatagram(const codec::Datagram& datagram, const codec::Ip4& address) {
    if (m_pfnSend)
        m_pfnSend(datagram, address);
    else if (m_pSocket)
        m_pSocket->SendTo(datagram.data(), datagram.size(), m_timing.nPeerPort,
                          codec::BytesToAddress(address));
}
