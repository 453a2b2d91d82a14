#include "MainConfigDlg.h"
#include "MainConfigIds.h"
#include "ReplyQueue.h"
#include "RoomBar.h"

#include "AboutDlg.h"
#include "BatchDlg.h"
#include "ControllerSocket.h"
#include "DataExchange.h"
#include "Database.h"
#include "EngineHost.h"
#include "IpAddressEdit.h"
#include "MessageBox.h"
#include "MicSettingsDlg.h"
#include "ProgramValues.h"
#include "ProjectorCodeDlg.h"
#include "Resources.h"
#include "SystemMenu.h"
#include "Words.h"

#include "Fields.h"
#include "History.h"
#include "MicTable.h"
#include "RoomPlan.h"
#include "SetQuestions.h"
#include "Snapshot.h"

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

// The address controls in the order of the window's value.
constexpr std::array<int, 5> kAddressIds{kInitialIp, kServerIp, kControllerIp, kMask, kGateway};

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
    : CDialogBase(102, pParent), m_timing(timing) {
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
    m_pHost = new CEngineHost(*m_pTransport, this);
    // The window is told nothing while a message box is open, so no box of
    // it ever opens inside another; the scan and the batch go on meanwhile.
    m_nClient = m_pHost->AddClient(
        observer, engineTiming, [this] { return IsSending(); }, [] { return IsMessageBoxOpen(); });
    m_receiveBuffer.resize(8000);
    m_pReplies = new CReplyQueue(
        [this](const std::uint8_t* pData, std::size_t nLength) { m_pHost->OnDatagram(pData, nLength); },
        this);
    m_pReplies->SetMayWait([this](const std::uint8_t* pData, std::size_t nLength) {
        return m_pHost->IsFor(m_nClient, pData, nLength);
    });
    Wire();
    m_pRoomBar = std::make_unique<CRoomBar>(*this);
}

CMainConfigDlg::~CMainConfigDlg() {
    // The scan and the batch are clients of the engine: they go first; the
    // engine goes before the transport it sends through.
    m_pRoomBar.reset();
    delete m_pHost;
    m_pHost = nullptr;
}

void CMainConfigDlg::PassTime(session::TimeMs nMs) {
    m_pHost->PassTime(nMs);
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
        connect(pCombo, &QComboBox::activated, this, [this] {
            m_known[session::kPartNetwork] = true;
            OnSelchangeLockType();
        });
    // What the installer types or picks is the installer's choice: a Set
    // sends it without asking whether it was read.
    for (int nId : {kServerIp, kControllerIp, kMask, kGateway})
        connect(IpControl(nId), &CIpAddressEdit::Edited, this,
                [this] { m_known[session::kPartNetwork] = true; });
    if (auto* pOneKey = ControlAs<QCheckBox>(kOneKey))
        connect(pOneKey, &QCheckBox::clicked, this, [this] { m_known[session::kPartNetwork] = true; });
    if (auto* pCombo = ControlAs<QComboBox>(kLockTime))
        connect(pCombo, &QComboBox::activated, this, [this] { m_known[session::kPartNetwork] = true; });
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
    // "0.5", then "1" to "120": built once, shared by every window.
    static const QStringList times = [] {
        QStringList list{QStringLiteral("0.5")};
        for (int i = 1; i <= 120; ++i)
            list << QString::number(i);
        return list;
    }();
    pLockTime->clear();
    pLockTime->addItems(times);
    m_value.nLockType = 0;
    m_value.nLockTime = 0;
    UpdateData(false);
    DisableSettingControls();

    g_bMicTableFromController = false;
    g_nProjectorSlot = 0;
    g_bProjectorChosen = false;

    // Another Velmora program owns the port (its replies would be split
    // between the two), or a program that does not share the port holds it
    // (the window's own bind fails): the window ends here, and nothing after
    // the refusal runs. An emulator sharing the port on an address of its
    // own is neither.
    if (m_pfnSend) {
        SetTimer(kTimerTakeOver, m_timing.nTimerPeriodMs);
        return true;
    }
    AddToSystemMenu(*this, LoadResourceString(101), kAboutCommand);
    std::string strHolder;
    const bool bOwner = m_portOwner.Acquire(m_timing.nPort, "velmora", strHolder);
    if (bOwner) {
        m_pSocket = std::make_unique<CControllerSocket>([this](CControllerSocket& socket) {
            const long nResult = socket.ReceiveFrom(m_receiveBuffer.data(), m_receiveBuffer.size());
            if (nResult > 0)
                ReceiveDatagram(m_receiveBuffer.data(), static_cast<std::size_t>(nResult));
        });
        if (!m_pSocket->Create(m_timing.nPort))
            m_pSocket.reset();
    }
    if (!m_pSocket) {
        MessageBoxShow(
            bOwner
                ? QStringLiteral("通信端口被占用！")
                : QStringLiteral("通信端口被占用！（%1 正在使用）").arg(QString::fromStdString(strHolder)));
        m_portOwner.Release();
        UpdateData(true);
        m_bEndedAtInit = true;
        done(QDialog::Accepted);
        return true;
    }
    SetTimer(kTimerTakeOver, m_timing.nTimerPeriodMs);
    return true;
}

void CMainConfigDlg::DoDataExchange(CDataExchange& dx) {
    codec::Ip4* const addresses[] = {&m_value.initialIp, &m_value.serverIp, &m_value.controllerIp,
                                     &m_value.maskIp, &m_value.gatewayIp};
    for (std::size_t i = 0; i < kAddressIds.size(); ++i)
        dx.Address(kAddressIds[i], *addresses[i], m_addressWhole[i]);
    dx.Check(kOneKey, m_value.bOneKey);
    dx.Index(kLockType, m_value.nLockType);
    dx.Index(kLockTime, m_value.nLockTime);
    dx.Index(kDome, m_value.nDome);
    dx.Index(kMic, m_value.nMic);
    dx.Index(kKeyboard, m_value.nKeyboard);
    // The device texts are what the lists show, never written back: the
    // index is the value.
    if (dx.Saving()) {
        m_strDomeType = ComboText(kDome);
        m_strMicType = ComboText(kMic);
        m_strKeyboardType = ComboText(kKeyboard);
    }
    const std::array<std::pair<int, int>, 2> projectorIds{{{kProjector1, kCode1}, {kProjector2, kCode2}}};
    for (std::size_t nSlot = 0; nSlot < 2; ++nSlot) {
        session::SProjectorSlot& slot = m_value.projectors[nSlot];
        QString strModel = QString::fromStdString(slot.strModel);
        QString strCode = QString::fromStdString(slot.strCode);
        dx.ExactText(projectorIds[nSlot].first, strModel);
        dx.Text(projectorIds[nSlot].second, strCode);
        slot = {strCode.toStdString(), strModel.toStdString()};
    }
    dx.Text(kPassword, m_strPassword);
    m_strPassword = m_strPassword.left(10);
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

int CMainConfigDlg::RunChildDialog(EChildDialog which) {
    if (m_pfnRunChildDialog)
        return m_pfnRunChildDialog(which);
    switch (which) {
    case EChildDialog::About: {
        CAboutDlg dialog(this);
        return dialog.DoModal();
    }
    case EChildDialog::ProjectorCode: {
        CProjectorCodeDlg dialog;
        return dialog.DoModal();
    }
    case EChildDialog::MicSettings: {
        CMicSettingsDlg dialog;
        return dialog.DoModal();
    }
    }
    return QDialog::Rejected;
}

void CMainConfigDlg::OnSysCommand(int nCommand) {
    if ((nCommand & 0xFFF0) == kAboutCommand)
        RunChildDialog(EChildDialog::About);
}

bool CMainConfigDlg::nativeEvent(const QByteArray& eventType, void* pMessage, qintptr* pResult) {
    const int nCommand = SystemCommandOf(pMessage);
    if ((nCommand & 0xFFF0) == kAboutCommand) {
        OnSysCommand(nCommand);
        *pResult = 0;
        return true;
    }
    return CDialogBase::nativeEvent(eventType, pMessage, pResult);
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
    // A microphone table saved with 确定 is the installer's choice; a
    // cancelled dialog chooses nothing.
    if (RunChildDialog(EChildDialog::MicSettings) == QDialog::Accepted)
        m_known[session::kPartDevices] = true;
}

void CMainConfigDlg::reject() {
    // A close while the Set is sending waits for its closing query.
    if (IsSending()) {
        m_bCloseRequested = true;
        return;
    }
    // A batch with rooms under way asks first; those rooms finish their Set
    // before the program ends, so none is left half written.
    CBatchDlg* pBatch = m_pRoomBar ? m_pRoomBar->BatchDialog() : nullptr;
    if (pBatch && pBatch->IsBusy()) {
        if (m_bCloseAfterBatch || !pBatch->AskToStop())
            return;
        m_bCloseAfterBatch = true;
        for (auto signal : {&CBatchDlg::RunEnded, &CBatchDlg::CheckEnded})
            connect(pBatch, signal, this, &CMainConfigDlg::reject, Qt::QueuedConnection);
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
        m_pHost->Advance();
        break;
    default:
        break;
    }
}

void CMainConfigDlg::TakeOverProjector() {
    if (!g_bProjectorChosen || (g_nProjectorSlot != 1 && g_nProjectorSlot != 2))
        return;
    const std::size_t nSlot = g_nProjectorSlot == 1 ? 0 : 1;
    session::SProjectorSlot& slot = m_value.projectors[nSlot];
    if (!g_strChosenModel.empty()) {
        slot = {g_strChosenCode, g_strChosenModel};
        m_known[nSlot] = true;
    }
    auto* pCombo = ControlAs<QComboBox>(nSlot == 0 ? kProjector1 : kProjector2);
    pCombo->insertItem(0, QStringLiteral("无"));
    pCombo->insertItem(1, QString::fromStdString(slot.strModel));
    UpdateData(false);
    g_bProjectorChosen = false;
}

void CMainConfigDlg::OnGetSettings() {
    if (IsSending())
        return;
    UpdateData(true);
    if (m_value.initialIp == codec::Ip4{}) {
        MessageBoxShow(QStringLiteral("目标IP不能为空！"));
        return;
    }
    // A new read replaces one under way, and waits its own three ticks.
    DropRead();
    m_lastRead = session::SReadResult{};
    m_bHasLastRead = false;
    SetTimer(kTimerQuery, m_timing.nTimerPeriodMs);
    m_nReadId = m_pHost->StartRead(m_nClient, m_value.initialIp);
}

void CMainConfigDlg::DropRead() {
    if (m_nReadId == 0)
        return;
    m_pHost->Engine().Cancel(m_nReadId);
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
    if (event.reply.outcome == codec::ReplyOutcome::ReceptionError) {
        MessageBoxShow(words::ReceptionErrorText(event.reply.kind));
        return;
    }
    if (event.nPart < 0)
        return;
    const auto nPart = static_cast<std::size_t>(event.nPart);
    session::SControllerSettings values = event.values;
    if (nPart == session::kPartProjector1 || nPart == session::kPartProjector2) {
        if (!event.lookup.strError.empty())
            MessageBoxShow(QString::fromStdString(event.lookup.strError));
        // An empty slot shows as the unknown model, as a code no library row names.
        if (values.projectors[nPart].strModel.empty())
            values.projectors[nPart].strModel = session::kUnknownModel;
    }
    session::TakePart(values, nPart, m_value);
    if (nPart == session::kPartNetwork)
        m_addressWhole.fill(true);
    if (nPart == session::kPartDevices)
        StoreMicRows(values.mics);
    if (bRead)
        m_known[nPart] = true;
    // A Set that moved the controller is followed to its new address.
    if (bReadBack) {
        m_value.initialIp = event.reply.address;
        m_addressWhole[0] = true;
    }
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
        const codec::Ip4 address = m_value.initialIp;
        const bool bDiagnose =
            MessageBoxOffer(QStringLiteral("该中控无信息返回！"), QString::fromUtf8(CRoomBar::kDiagnose));
        EnableItem(kSet, false);
        DisableSettingControls();
        emit ReadEnded(false);
        // The diagnosis opens once the read's own work is done.
        if (bDiagnose && m_pRoomBar)
            m_pRoomBar->DiagnoseAddress(address);
        return;
    }
    // A lost datagram is ordinary on a classroom network: what it would have
    // brought is emptied rather than left from another controller, and the
    // message says which replies did not come.
    m_known = result.received;
    ClearUnreadParts(result.received);
    const codec::Ip4 address = m_value.initialIp;
    bool bDiagnose = false;
    if (result.Complete())
        MessageBoxShow(QStringLiteral("获取完成！"));
    else
        bDiagnose = MessageBoxOffer(words::MissingText(result.MissingParts()),
                                    QString::fromUtf8(CRoomBar::kDiagnose));
    g_bMicTableFromController = true;
    EnableItem(kSet, true);
    EnableSettingControls();
    emit ReadEnded(true);
    if (bDiagnose && m_pRoomBar)
        m_pRoomBar->DiagnoseAddress(address);
}

void CMainConfigDlg::ClearUnreadParts(const std::array<bool, session::kReplyParts>& received) {
    UpdateData(true);
    for (std::size_t nPart = 0; nPart < session::kReplyParts; ++nPart) {
        if (received[nPart])
            continue;
        session::ClearPart(nPart, m_value);
        if (nPart == session::kPartNetwork)
            std::fill(m_addressWhole.begin() + 1, m_addressWhole.end(), false);
        // The microphone rows came with the devices: they are not this room's either.
        if (nPart == session::kPartDevices)
            StoreMicRows(m_value.mics);
    }
    UpdateData(false);
}

void CMainConfigDlg::StoreMicRows(const std::array<session::SMicEntry, codec::kMicEntries>& rows) {
    const std::string strError = session::StoreMicTable(rows);
    if (!strError.empty())
        MessageBoxShow(QString::fromStdString(strError));
}

void CMainConfigDlg::OnSet() {
    if (IsSending())
        return;
    UpdateData(true);
    // A half-typed address counts as empty: it is never sent, and nothing
    // is asked or backed up for a Set that cannot go.
    for (bool bWhole : m_addressWhole) {
        if (!bWhole) {
            MessageBoxShow(QStringLiteral("请填写完整的IP地址信息！"));
            m_lastWrite = session::SWriteResult{};
            emit SetEnded(false);
            return;
        }
    }
    session::SWriteRequest request = session::MakeShownWriteRequest(CurrentSettings());
    if (!AskAboutUnreadParts(m_known, Code1(), Code2()) || !AskAboutValues(request.settings) ||
        !PrepareBackup(request))
        return;
    // A read still waiting must not make the settings available mid-Set.
    DropRead();
    EnableItem(kSet, false);
    EnableItem(kGet, false);
    DisableSettingControls();
    // The Set sends what the window shows now, whatever changes meanwhile.
    auto* pProgress = ControlAs<QProgressBar>(kProgress);
    pProgress->setRange(0, 5);
    pProgress->setValue(0);
    pProgress->show();
    m_nSetStep = 0;
    m_bWriteEnded = false;
    m_lastWrite = session::SWriteResult{};
    SetTimer(kTimerSet, m_timing.nTimerPeriodMs);
    // The engine sends the five datagrams with their pauses, waits for the
    // read-back and compares it.
    // A write can end before StartWrite returns its id (its backup refused).
    m_bStartingWrite = true;
    const session::ExchangeId id = m_pHost->StartWrite(m_nClient, std::move(request));
    m_bStartingWrite = false;
    m_nWriteId = m_bWriteEnded ? 0 : id;
}

void CMainConfigDlg::EndSetState() {
    EnableItem(kSet, true);
    EnableItem(kGet, true);
    EnableSettingControls();
}

bool CMainConfigDlg::PrepareBackup(session::SWriteRequest& request) {
    m_strBackupError.clear();
    if (!m_bHasLastRead || m_lastRead.settings.initialIp != m_value.initialIp)
        return MessageBoxAsk(QStringLiteral("尚未获取该中控的原有设置，设置前无法备份。是否继续？"));
    const session::SSnapshot snapshot{m_lastRead, session::UtcNowText(), session::ProgramVersion()};
    const codec::Ip4 after = request.settings.controllerIp;
    // Saved the moment nothing else can stop the Set (a new address found
    // taken keeps no backup), beside data.mdb, which is not always in the
    // working folder (a per-user copy when the program's folder may not be
    // written).
    request.pfnLastBeforeSend = [this, snapshot, after]() -> std::string {
        std::string strError;
        base::SFileError cause{base::EFileError::Other, {}};
        if (session::CHistory(CDatabase::Folder()).Save({snapshot, after}, strError, nullptr, &cause))
            return std::string();
        // The window says the file layer's reason in its own words.
        m_strBackupError = words::FileErrorText(cause);
        return strError.empty() ? std::string("?") : strError;
    };
    return true;
}

// The window's engine runs its Set and at most one read, never both, so
// every step is the Set's (the first is reported before StartWrite has
// returned its id).
void CMainConfigDlg::OnSetStep(session::ExchangeId, int nSent) {
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
    if (id != m_nWriteId && !m_bStartingWrite)
        return;
    m_bWriteEnded = true;
    m_nWriteId = 0;
    m_nSetStep = -1;
    KillTimer(kTimerSet);
    ControlAs<QProgressBar>(kProgress)->hide();
    m_lastWrite = result;
    if (result.readBack.Any()) {
        // What the controller reported is now what it holds: the backup of
        // the next Set, and what the window may send again.
        m_lastRead = result.readBack;
        m_lastRead.settings.initialIp = result.sent.controllerIp;
        m_bHasLastRead = true;
    }
    // A Set whose read-back heard nothing offers the diagnosis of the
    // address the read-back asked.
    bool bDiagnose = false;
    if (!m_strBackupError.isEmpty())
        MessageBoxShow(QStringLiteral("设置前的备份未能保存，未发送任何数据：") + m_strBackupError);
    else if (result.eOutcome == session::EWriteOutcome::NoReadBack)
        bDiagnose = MessageBoxOffer(words::VerdictText(result), QString::fromUtf8(CRoomBar::kDiagnose));
    else
        MessageBoxShow(words::VerdictText(result));
    EndSetState();
    if (m_bCloseRequested) {
        m_bCloseRequested = false;
        reject();
    }
    emit SetEnded(result.eOutcome == session::EWriteOutcome::Confirmed);
    if (bDiagnose && m_pRoomBar && isVisible())
        m_pRoomBar->DiagnoseAddress(result.sent.controllerIp);
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
    return m_pHost->PendingPauseMs();
}

void CMainConfigDlg::FireSetStep() {
    m_pHost->EndPause();
}

session::SControllerSettings CMainConfigDlg::CurrentSettings() {
    UpdateData(true);
    session::SControllerSettings s = m_value;
    s.mics = ReadMicRows();
    return s;
}

void CMainConfigDlg::LoadSettings(const session::SControllerSettings& s, bool bApplyInitialIp,
                                  const std::array<bool, session::kReplyParts>& received) {
    UpdateData(true);
    const codec::Ip4 initial = m_value.initialIp;
    const bool bInitialWhole = m_addressWhole[0];
    m_value = s;
    m_addressWhole.fill(true);
    if (!bApplyInitialIp) {
        m_value.initialIp = initial;
        m_addressWhole[0] = bInitialWhole;
    }
    UpdateData(false);
    // What the file holds from a read is the installer's choice now; what
    // it never read is not.
    m_known = received;
    StoreMicRows(s.mics);
    g_bMicTableFromController = true;
    EnableItem(kSet, true);
    EnableItem(kGet, true);
    EnableSettingControls();
}

void CMainConfigDlg::ReadController(const codec::Ip4& address) {
    if (IsSending())
        return;
    UpdateData(true);
    m_value.initialIp = address;
    m_addressWhole[0] = true;
    UpdateData(false);
    OnGetSettings();
}

void CMainConfigDlg::SendDatagram(const codec::Datagram& datagram, const codec::Ip4& address) {
    if (m_pfnSend)
        m_pfnSend(datagram, address);
    else if (m_pSocket)
        m_pSocket->SendTo(datagram.data(), datagram.size(), m_timing.nPeerPort,
                          codec::BytesToAddress(address));
}
