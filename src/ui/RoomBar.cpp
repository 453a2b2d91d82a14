#include "RoomBar.h"

#include "BatchDlg.h"
#include "DiagnosisDlg.h"
#include "FileFolders.h"
#include "HistoryDlg.h"
#include "IpAddressEdit.h"
#include "MainConfigDlg.h"
#include "MainConfigIds.h"
#include "MessageBox.h"
#include "OutputFiles.h"
#include "ProgramValues.h"
#include "ScanDlg.h"
#include "SetResultDlg.h"
#include "TrafficLogDlg.h"
#include "Words.h"

#include "Database.h"
#include "History.h"
#include "LoggedProbes.h"
#include "SystemProbes.h"
#include "Utf8Path.h"

#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QPushButton>

using mainid::kControllerIp;
using mainid::kInitialIp;

CRoomBar::CRoomBar(CMainConfigDlg& window) : QWidget(&window), m_window(window) {
    setObjectName(QStringLiteral("roomBar"));
    auto* pLayout = new QGridLayout(this);
    pLayout->setContentsMargins(8, 2, 8, 6);
    AddButton(kFind, QKeySequence(Qt::CTRL | Qt::Key_F), &CRoomBar::OnFind);
    AddButton(kSave, QKeySequence(Qt::CTRL | Qt::Key_S), &CRoomBar::OnSave);
    AddButton(kLoad, QKeySequence(Qt::CTRL | Qt::Key_O), &CRoomBar::OnLoad);
    AddButton(kHistory, QKeySequence(Qt::CTRL | Qt::Key_H), &CRoomBar::OnHistory);
    AddButton(kSetResult, QKeySequence(Qt::CTRL | Qt::Key_R), &CRoomBar::OnSetResult);
    AddButton(kMicSettings, QKeySequence(Qt::CTRL | Qt::Key_M), nullptr);
    AddButton(kBatch, QKeySequence(Qt::CTRL | Qt::Key_B), &CRoomBar::OnBatch);
    AddButton(kDiagnose, QKeySequence(Qt::CTRL | Qt::Key_D), &CRoomBar::OnDiagnose);
    AddButton(kTrafficLog, QKeySequence(Qt::CTRL | Qt::Key_L), &CRoomBar::OnTrafficLog);
    connect(Button(kMicSettings), &QPushButton::clicked, &m_window, &CMainConfigDlg::OnMicSettings);
    Button(kSetResult)->setEnabled(false);

    // The buttons go in one row where the window is wide enough for them,
    // else in two, every text whole.
    const int nWidth = m_window.width();
    int nOneRow = pLayout->contentsMargins().left() + pLayout->contentsMargins().right();
    for (QPushButton* pButton : m_buttons)
        nOneRow += pButton->sizeHint().width() + std::max(0, pLayout->horizontalSpacing());
    const int nColumns =
        nOneRow <= nWidth ? static_cast<int>(m_buttons.size()) : (static_cast<int>(m_buttons.size()) + 1) / 2;
    for (int i = 0; i < static_cast<int>(m_buttons.size()); ++i)
        pLayout->addWidget(m_buttons[static_cast<std::size_t>(i)], i / nColumns, i % nColumns);
    // Below the template's frame: the window grows, its controls stay where
    // they are, and on a short screen they scroll above the buttons.
    m_window.AddBottomRow(this);

    FollowMicButton();
    connect(&m_window, &CMainConfigDlg::SetEnded, this, &CRoomBar::OnSetEnded);

    m_pfnChooseFile = [this](EFileChoice eChoice) {
        const QString strFilter = QStringLiteral("配置文件 (*.json)");
        const QString strStart = CFileFolders::StartPath(CFileFolders::EKind::Snapshot);
        const QString strPath =
            eChoice == EFileChoice::Save
                ? QFileDialog::getSaveFileName(&m_window, QString::fromUtf8(kSave), strStart, strFilter)
                : QFileDialog::getOpenFileName(&m_window, QString::fromUtf8(kLoad), strStart, strFilter);
        CFileFolders::Remember(CFileFolders::EKind::Snapshot, strPath);
        return strPath;
    };
    m_pfnRunHistory = [this](const std::vector<std::filesystem::path>& files) {
        CHistoryDlg dialog(files, m_window.IpControl(kInitialIp)->Text(), &m_window);
        return dialog.exec() == QDialog::Accepted ? dialog.Chosen() : std::nullopt;
    };
    m_pfnDiagnose = [this](const codec::Ip4& address) {
        // The window holds the port: the diagnosis queries beside its socket.
        net::SSystemProbeOptions options;
        options.nLocalPort = m_window.Timing().nPort;
        options.nPeerPort = m_window.Timing().nPeerPort;
        options.bPortHeldHere = true;
        net::CSystemProbes system(options);
        // Its query and replies go into the traffic log like the window's own.
        session::CLoggedProbes probes(system, ProgramTrafficLog());
        return session::Diagnose(address, probes, m_diagnosisTiming);
    };
    m_pfnMakeScanDlg = [](CMainConfigDlg& window, QWidget* pParent) { return new CScanDlg(window, pParent); };
    m_pfnMakeBatchDlg = [](CMainConfigDlg& window, QWidget* pParent) {
        return new CBatchDlg(window, pParent);
    };
}

CRoomBar::~CRoomBar() = default;

QPushButton* CRoomBar::AddButton(const char* pszText, const QKeySequence& shortcut,
                                 void (CRoomBar::*pHandler)()) {
    auto* pButton = new QPushButton(QString::fromUtf8(pszText), this);
    pButton->setObjectName(QString::fromUtf8(pszText));
    pButton->setAccessibleName(pButton->text());
    pButton->setShortcut(shortcut);
    pButton->setToolTip(pButton->text() + QStringLiteral(" (") + shortcut.toString(QKeySequence::NativeText) +
                        QLatin1Char(')'));
    pButton->setAutoDefault(false);
    if (pHandler)
        connect(pButton, &QPushButton::clicked, this, pHandler);
    m_buttons.push_back(pButton);
    return pButton;
}

QPushButton* CRoomBar::Button(const char* pszText) const {
    return findChild<QPushButton*>(QString::fromUtf8(pszText), Qt::FindDirectChildrenOnly);
}

// "话筒具体设置" and "保存配置" are available exactly when the window's own
// (hidden) microphone button is: after a successful read.
void CRoomBar::FollowMicButton() {
    m_pMicButton = m_window.Control(mainid::kMicSettings);
    if (!m_pMicButton)
        return;
    m_pMicButton->installEventFilter(this);
    Button(kMicSettings)->setEnabled(m_pMicButton->isEnabled());
    Button(kSave)->setEnabled(m_pMicButton->isEnabled());
}

bool CRoomBar::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pMicButton && pEvent->type() == QEvent::EnabledChange) {
        Button(kMicSettings)->setEnabled(m_pMicButton->isEnabled());
        Button(kSave)->setEnabled(m_pMicButton->isEnabled());
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void CRoomBar::OnFind() {
    if (!m_pScan) {
        m_pScan = m_pfnMakeScanDlg(m_window, this);
        // 加入批量 opens the batch with the scan's controllers.
        connect(m_pScan, &CScanDlg::AddToBatch, this, [this](const QStringList& addresses) {
            OnBatch();
            m_pBatch->AddAddresses(addresses);
        });
    }
    m_pScan->show();
    m_pScan->raise();
    m_pScan->activateWindow();
}

void CRoomBar::OnSave() {
    if (!m_pMicButton || !m_pMicButton->isEnabled() || m_window.IsSending())
        return;
    QString strPath = m_pfnChooseFile(EFileChoice::Save);
    if (strPath.isEmpty())
        return;
    // A name typed without the suffix gets it, so 载入配置's filter shows the file.
    strPath = AllowedOutput(strPath, QStringLiteral(".json"));
    if (strPath.isEmpty())
        return;
    session::SSnapshot snapshot;
    snapshot.read.settings = m_window.CurrentSettings();
    // The file claims only what this controller's read gave or the installer
    // chose: codes left over from another room's read are not passed off as read.
    snapshot.read.received = m_window.KnownParts();
    snapshot.read.nAnswerMs = m_window.HasLastRead() ? m_window.LastRead().nAnswerMs : -1;
    snapshot.strTime = session::UtcNowText();
    snapshot.strProgram = session::ProgramVersion();
    std::string strError;
    base::SFileError cause;
    if (!session::SaveSnapshot(PathFromUtf8(strPath.toStdString()), snapshot, strError, &cause)) {
        MessageBoxShow(QStringLiteral("配置未能保存：") + words::FileErrorText(cause));
        return;
    }
    MessageBoxShow(QStringLiteral("配置已保存！"));
}

void CRoomBar::OnLoad() {
    if (m_window.IsSending())
        return;
    const QString strPath = m_pfnChooseFile(EFileChoice::Open);
    if (!strPath.isEmpty())
        LoadFile(strPath);
}

bool CRoomBar::LoadFile(const QString& strPath) {
    if (m_window.IsSending())
        return false;
    session::SSnapshot snapshot;
    session::SSnapshotError error;
    if (!session::LoadSnapshot(PathFromUtf8(strPath.toStdString()), snapshot, error)) {
        MessageBoxShow(QStringLiteral("配置文件无法载入，窗口未作改动：") + words::SnapshotErrorText(error));
        return false;
    }
    // The file's controller address replaces "初始IP：" only when the installer says so:
    // loading one room's settings for another controller is the usual case.
    const codec::Ip4 fileIp = snapshot.read.settings.initialIp;
    const codec::Ip4 current = m_window.IpControl(kInitialIp)->Address();
    bool bApplyIp = false;
    if (fileIp != current) {
        const QString strFile = QString::fromStdString(codec::BytesToAddress(fileIp));
        bApplyIp = MessageBoxAsk(QStringLiteral("配置文件来自中控 %1，当前初始IP为 %2。是否把初始IP改为 %1？")
                                     .arg(strFile, m_window.IpControl(kInitialIp)->Text()));
        // The file was saved from another room: this room keeps its own
        // address unless the installer takes the file's on purpose, or a Set
        // would move this controller onto the other room's address.
        CIpAddressEdit* pController = m_window.IpControl(kControllerIp);
        if (!bApplyIp && snapshot.read.settings.controllerIp != pController->Address()) {
            const QString strFileController =
                QString::fromStdString(codec::BytesToAddress(snapshot.read.settings.controllerIp));
            const bool bTakeController = MessageBoxAsk(
                QStringLiteral("配置文件中的中控IP为 %1，本中控的中控IP为 %2。是否把中控IP改为 %1？")
                    .arg(strFileController, pController->Text()),
                true);
            if (!bTakeController)
                snapshot.read.settings.controllerIp = pController->Address();
        }
    }
    m_window.LoadSettings(snapshot.read.settings, bApplyIp, snapshot.read.received);
    MessageBoxShow(QStringLiteral("载入完成！"));
    return true;
}

void CRoomBar::OnHistory() {
    CIpAddressEdit* pInitial = m_window.IpControl(kInitialIp);
    if (pInitial->Text() == QLatin1String("0.0.0.0")) {
        MessageBoxShow(QStringLiteral("目标IP不能为空！"));
        return;
    }
    const auto files = session::CHistory(CDatabase::Folder()).List(pInitial->Address());
    if (files.empty()) {
        MessageBoxShow(QStringLiteral("该中控没有历史记录！"));
        return;
    }
    if (const auto chosen = m_pfnRunHistory(files))
        LoadFile(QString::fromStdString(Utf8FromPath(*chosen)));
}

void CRoomBar::OnSetResult() {
    if (m_window.LastSetFields().empty()) {
        MessageBoxShow(QStringLiteral("还没有设置结果！"));
        return;
    }
    ShowSetResult();
}

void CRoomBar::OnSetEnded() {
    const auto& fields = m_window.LastSetFields();
    m_strLastSetAddress = m_window.IpControl(kInitialIp)->Text();
    Button(kSetResult)->setEnabled(!fields.empty());
    // The table comes by itself only when the controller did not take everything.
    if (!fields.empty() && !session::AllEqual(fields))
        ShowSetResult();
}

void CRoomBar::ShowSetResult() {
    delete m_pSetResult;
    m_pSetResult = new CSetResultDlg(m_window.LastSetFields(), m_strLastSetAddress, this);
    // Window-modal without a nested loop: the window's handler that ended the Set has returned.
    m_pSetResult->open();
}

void CRoomBar::OnBatch() {
    if (!m_pBatch) {
        m_pBatch = m_pfnMakeBatchDlg(m_window, this);
        connect(m_pBatch, &CBatchDlg::DiagnoseAddress, this, [this](const QString& strAddress) {
            DiagnoseAddress(codec::AddressToBytes(strAddress.toStdString()));
        });
    }
    m_pBatch->show();
    m_pBatch->raise();
    m_pBatch->activateWindow();
}

void CRoomBar::OnDiagnose() {
    CIpAddressEdit* pInitial = m_window.IpControl(kInitialIp);
    if (!pInitial->IsComplete()) {
        MessageBoxShow(QStringLiteral("请填写完整的IP地址信息！"));
        return;
    }
    DiagnoseAddress(pInitial->Address());
}

void CRoomBar::DiagnoseAddress(const codec::Ip4& address) {
    // One diagnosis at a time: a running one is shown, not started again.
    if (m_pDiagnosis && m_pDiagnosis->Running()) {
        m_pDiagnosis->raise();
        return;
    }
    delete m_pDiagnosis;
    m_pDiagnosis = new CDiagnosisDlg(address, m_pfnDiagnose, this);
    m_pDiagnosis->show();
    m_pDiagnosis->raise();
    m_pDiagnosis->activateWindow();
    m_pDiagnosis->Start();
}

void CRoomBar::OnTrafficLog() {
    if (!m_pTrafficLog)
        m_pTrafficLog = new CTrafficLogDlg(ProgramTrafficLog(), this);
    m_pTrafficLog->show();
    m_pTrafficLog->raise();
    m_pTrafficLog->activateWindow();
}
