#include "ScanDlg.h"

#include "EngineHost.h"
#include "Fields.h"

#include "FileFolders.h"
#include "codec/AddressRange.h"

#include "Csv.h"
#include "FileSystem.h"
#include "Overrides.h"
#include "Utf8Path.h"

#include "EchoSweep.h"
#include "LocalInterfaces.h"
#include "MainConfigDlg.h"
#include "MessageBox.h"
#include "OutputFiles.h"

#include <QAccessible>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Why the range was refused, in the window's words.
QString RangeErrorText(const codec::SRangeError& error) {
    const QString strPiece = QString::fromStdString(error.strPiece);
    switch (error.eProblem) {
    case codec::ERangeProblem::TooMany:
        return QStringLiteral("地址超过%1个").arg(error.nMaxCount);
    case codec::ERangeProblem::NotCidr:
        return QStringLiteral("“%1”不是网段（如 192.168.1.0/24）").arg(strPiece);
    case codec::ERangeProblem::NotRange:
        return QStringLiteral("“%1”不是地址范围（如 192.168.1.10-192.168.1.50）").arg(strPiece);
    case codec::ERangeProblem::NotAddress:
        return QStringLiteral("“%1”不是IP地址").arg(strPiece);
    case codec::ERangeProblem::None:
        break;
    }
    return QString();
}
// How often the scan looks at its engine and its echo probes.
constexpr int kPollMs = 5;
} // namespace

CScanDlg::CScanDlg(CMainConfigDlg& window, QWidget* pParent) : CScanDlg(window, SOptions{}, pParent) {}

CScanDlg::CScanDlg(CMainConfigDlg& window, const SOptions& options, QWidget* pParent)
    : QDialog(pParent), m_window(window), m_options(options) {
    setWindowTitle(ProgramTitle() + QStringLiteral(" - 查找中控"));
    auto* pLayout = new QVBoxLayout(this);

    auto* pRangeRow = new QHBoxLayout;
    auto* pRangeLabel = new QLabel(QStringLiteral("扫描范围："), this);
    m_pRange = new QLineEdit(this);
    m_pRange->setAccessibleName(pRangeLabel->text());
    m_pRange->setPlaceholderText(QStringLiteral("192.168.1.0/24 或 192.168.1.1-192.168.1.254"));
    m_pRange->setText(QString::fromStdString(DefaultScanRanges(LocalIpv4Interfaces())));
    pRangeLabel->setBuddy(m_pRange);
    m_pStart = new QPushButton(QStringLiteral("开始扫描"), this);
    m_pStart->setAccessibleName(m_pStart->text());
    m_pStop = new QPushButton(QStringLiteral("停止"), this);
    m_pStop->setAccessibleName(m_pStop->text());
    m_pStop->setEnabled(false);
    pRangeRow->addWidget(pRangeLabel);
    pRangeRow->addWidget(m_pRange, 1);
    pRangeRow->addWidget(m_pStart);
    pRangeRow->addWidget(m_pStop);
    pLayout->addLayout(pRangeRow);

    m_pProgress = new QProgressBar(this);
    m_pProgress->setAccessibleName(QStringLiteral("扫描进度"));
    m_pProgress->setRange(0, 1);
    m_pProgress->setValue(0);
    pLayout->addWidget(m_pProgress);
    m_pStatus = new QLabel(this);
    m_pStatus->setAccessibleName(QStringLiteral("扫描状态"));
    pLayout->addWidget(m_pStatus);
    m_pProbeNote = new QLabel(this);
    m_pProbeNote->setAccessibleName(QStringLiteral("探测说明"));
    m_pProbeNote->setWordWrap(true);
    m_pProbeNote->hide();
    pLayout->addWidget(m_pProbeNote);

    m_pTable = new QTableWidget(0, kColumns, this);
    m_pTable->setAccessibleName(QStringLiteral("找到的中控"));
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("地址"), QStringLiteral("服务器IP"),
                                         QStringLiteral("投影机1"), QStringLiteral("投影机2"),
                                         QStringLiteral("应答时间")});
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several rows may be chosen for the batch; activating one reads it.
    m_pTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pTable->verticalHeader()->hide();
    // The models take the width; addresses and times keep what they need.
    for (int nCol = 0; nCol < kColumns; ++nCol)
        m_pTable->horizontalHeader()->setSectionResizeMode(
            nCol, nCol == 2 || nCol == 3 ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    pLayout->addWidget(m_pTable, 1);

    auto* pHint = new QLabel(QStringLiteral("双击一行（或按回车）即获取该中控的原有设置。"), this);
    pLayout->addWidget(pHint);
    auto* pBottom = new QHBoxLayout;
    auto* pClose = new QPushButton(QStringLiteral("关闭"), this);
    pClose->setAccessibleName(pClose->text());
    m_pAddToBatch = new QPushButton(QStringLiteral("加入批量"), this);
    m_pAddToBatch->setAccessibleName(m_pAddToBatch->text());
    m_pExport = new QPushButton(QStringLiteral("导出清单"), this);
    m_pExport->setAccessibleName(m_pExport->text());
    pBottom->addWidget(m_pAddToBatch);
    pBottom->addWidget(m_pExport);
    pBottom->addStretch(1);
    pBottom->addWidget(pClose);
    pLayout->addLayout(pBottom);

    // Enter in the table reads the row's controller; no button may take it
    // as well and start another scan. Enter in the range starts one.
    for (QPushButton* pButton : {m_pStart, m_pStop, pClose, m_pAddToBatch, m_pExport})
        pButton->setAutoDefault(false);
    connect(m_pRange, &QLineEdit::returnPressed, this, [this] { StartScan(); });

    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(kPollMs);
    connect(m_pTimer, &QTimer::timeout, this, &CScanDlg::OnTick);
    connect(m_pStart, &QPushButton::clicked, this, [this] { StartScan(); });
    connect(m_pStop, &QPushButton::clicked, this, &CScanDlg::StopScan);
    connect(pClose, &QPushButton::clicked, this, &CScanDlg::reject);
    connect(m_pAddToBatch, &QPushButton::clicked, this, &CScanDlg::OnAddToBatch);
    connect(m_pExport, &QPushButton::clicked, this, [this] {
        const QString strPath = m_pfnChooseExportFile();
        if (!strPath.isEmpty())
            ExportInventory(strPath);
    });
    m_pfnChooseExportFile = [this] {
        // The inventory is a plan file: it starts where plans are kept.
        const QString strPath = QFileDialog::getSaveFileName(
            this, QStringLiteral("导出清单"), CFileFolders::StartPath(CFileFolders::EKind::Plan),
            QStringLiteral("计划文件 (*.csv)"));
        CFileFolders::Remember(CFileFolders::EKind::Plan, strPath);
        return strPath;
    };
    connect(m_pTable, &QTableWidget::activated, this,
            [this](const QModelIndex& index) { OnActivated(index.row()); });
    resize(640, 420);
}

CScanDlg::~CScanDlg() {
    m_pSweep.reset();
    LeaveEngine();
}

void CScanDlg::LeaveEngine() {
    if (m_nClient)
        m_window.Engines().RemoveClient(m_nClient);
    m_nClient = 0;
}

bool CScanDlg::StartScan() {
    if (IsScanning())
        return false;
    std::vector<codec::Ip4> addresses;
    codec::SRangeError error;
    if (!codec::ParseAddressRange(m_pRange->text().trimmed().toStdString(), addresses, error)) {
        MessageBoxShow(QStringLiteral("扫描范围无效：") + RangeErrorText(error));
        return false;
    }
    m_pTable->setRowCount(0);
    m_rowAddresses.clear();
    m_rowReads.clear();
    m_reads.clear();
    m_silent.clear();
    m_nTotal = addresses.size();
    m_nDone = m_nQueriesSent = m_nControllers = 0;
    m_bStopped = false;

    session::SSessionTiming timing;
    timing.nTickMs = m_options.nTickMs;
    timing.nQueryTicks = m_options.nQueryTicks;
    timing.nMaxRunning = static_cast<int>(std::max<std::size_t>(addresses.size(), 1));
    timing.nStartIntervalMs = 1000 / std::max(1, m_options.nQueriesPerSecond);
    LeaveEngine();
    m_nClient = m_window.Engines().AddClient(static_cast<session::ISessionObserver&>(*this), timing);
    for (const codec::Ip4& address : addresses)
        m_reads.emplace(m_window.Engines().StartRead(m_nClient, address), address);

    m_eState = EState::Querying;
    m_pProgress->setRange(0, static_cast<int>(m_nTotal));
    m_pProgress->setValue(0);
    SetStatus(QStringLiteral("正在扫描 %1 个地址…").arg(m_nTotal));
    m_pStart->setEnabled(false);
    m_pStop->setEnabled(true);
    m_pRange->setEnabled(false);
    m_pTimer->start();
    return true;
}

void CScanDlg::StopScan() {
    if (!IsScanning() || m_bStopped)
        return;
    m_bStopped = true;
    m_pStop->setEnabled(false);
    SetStatus(QStringLiteral("正在停止…"));
    // Queries not yet sent are dropped; those sent finish their wait, so a
    // controller that is answering still gets its row.
    if (m_nClient)
        m_window.Engines().Engine().CancelNotStarted(m_nClient);
    if (m_pSweep)
        m_pSweep->Stop();
}

void CScanDlg::reject() {
    StopScan();
    QDialog::reject();
}

void CScanDlg::OnReadDone(session::ExchangeId id, const session::SReadResult& result) {
    ++m_nDone;
    const auto it = m_reads.find(id);
    if (it == m_reads.end())
        return;
    const codec::Ip4 address = it->second;
    m_reads.erase(it);
    if (!result.Any()) {
        m_silent.push_back(address);
        return;
    }
    ++m_nControllers;
    const session::SControllerSettings& s = result.settings;
    const bool bNetwork = result.received[session::kPartNetwork];
    auto model = [&](std::size_t nSlot) {
        if (!result.received[nSlot])
            return QStringLiteral("（未收到）");
        return QString::fromStdString(s.projectors[nSlot].strModel);
    };
    AddRow(
        address,
        {bNetwork ? QString::fromStdString(codec::BytesToAddress(s.serverIp)) : QStringLiteral("（未收到）"),
         model(0), model(1), QStringLiteral("%1 ms").arg(result.nAnswerMs)},
        result);
}

void CScanDlg::OnNotRun(session::ExchangeId id) {
    ++m_nDone;
    m_reads.erase(id);
}

void CScanDlg::SetStatus(const QString& strText) {
    m_pStatus->setText(strText);
    // Screen readers read the status itself, not only the label's name.
    m_pStatus->setAccessibleDescription(strText);
    QAccessibleEvent event(m_pStatus, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

void CScanDlg::AddRow(const codec::Ip4& address, const QStringList& cells,
                      std::optional<session::SReadResult> read) {
    // Rows stay in address order, whatever order the answers come in.
    const auto it = std::upper_bound(m_rowAddresses.begin(), m_rowAddresses.end(), address);
    const int nRow = static_cast<int>(it - m_rowAddresses.begin());
    m_pTable->insertRow(nRow);
    m_pTable->setItem(nRow, kColAddress,
                      new QTableWidgetItem(QString::fromStdString(codec::BytesToAddress(address))));
    for (int nCol = 0; nCol < cells.size() && nCol + 1 < kColumns; ++nCol)
        m_pTable->setItem(nRow, nCol + 1, new QTableWidgetItem(cells[nCol]));
    m_rowAddresses.insert(m_rowAddresses.begin() + nRow, address);
    m_rowReads.insert(m_rowReads.begin() + nRow, std::move(read));
}

void CScanDlg::OnTick() {
    if (m_eState == EState::Querying && m_nClient) {
        m_window.Engines().Advance();
        m_pProgress->setValue(static_cast<int>(std::min(m_nDone, m_nTotal)));
        if (!m_window.Engines().Engine().Idle(m_nClient))
            return;
        LeaveEngine();
        if (m_bStopped || m_silent.empty() || !m_options.bProbe) {
            Finish();
            return;
        }
        StartProbing();
        return;
    }
    if (m_eState == EState::Probing && m_pSweep) {
        for (const CEchoSweep::SResult& r : m_pSweep->TakeResults()) {
            ++m_nDone;
            if (r.bAnswered)
                AddRow(r.address, {QStringLiteral("非中控或无响应")});
        }
        m_pProgress->setValue(static_cast<int>(std::min(m_nDone, m_nTotal)));
        if (m_pSweep->Finished())
            Finish();
    }
}

void CScanDlg::StartProbing() {
    CSocketApi& api = m_options.pEchoApi ? *m_options.pEchoApi : CSystemSocketApi::Instance();
    if (!CEchoSweep::ProbingAllowed(api)) {
        // Said once per dialog: without the right to probe only controllers are listed.
        if (!m_bProbeRefusalSaid) {
            m_bProbeRefusalSaid = true;
            m_pProbeNote->setText(QStringLiteral("本程序无权发送回显探测（ICMP），只列出应答的中控，"
                                                 "无应答的地址不作探测。"));
            m_pProbeNote->show();
        }
        Finish();
        return;
    }
    std::sort(m_silent.begin(), m_silent.end());
    m_eState = EState::Probing;
    m_nDone = 0;
    m_nTotal = m_silent.size();
    m_pProgress->setRange(0, static_cast<int>(m_nTotal));
    m_pProgress->setValue(0);
    SetStatus(QStringLiteral("找到 %1 个中控；正在探测 %2 个无应答的地址…")
                  .arg(m_nControllers)
                  .arg(m_silent.size()));
    m_pSweep =
        std::make_unique<CEchoSweep>(m_silent, api, std::chrono::milliseconds(m_options.nEchoTimeoutMs));
}

void CScanDlg::Finish() {
    m_pTimer->stop();
    m_pSweep.reset();
    LeaveEngine();
    m_eState = EState::Idle;
    m_pProgress->setValue(m_pProgress->maximum());
    SetStatus((m_bStopped ? QStringLiteral("已停止，找到 %1 个中控。")
                          : QStringLiteral("扫描完成，找到 %1 个中控。"))
                  .arg(m_nControllers));
    m_pStart->setEnabled(true);
    m_pStop->setEnabled(false);
    m_pRange->setEnabled(true);
    emit ScanEnded(m_bStopped);
}

void CScanDlg::OnActivated(int nRow) {
    if (nRow < 0 || nRow >= static_cast<int>(m_rowAddresses.size()))
        return;
    m_window.ReadController(m_rowAddresses[static_cast<std::size_t>(nRow)]);
}

QStringList CScanDlg::ControllerAddresses() const {
    std::vector<int> rows;
    for (const QModelIndex& index : m_pTable->selectionModel()->selectedRows())
        rows.push_back(index.row());
    if (rows.empty())
        for (int nRow = 0; nRow < static_cast<int>(m_rowAddresses.size()); ++nRow)
            rows.push_back(nRow);
    std::sort(rows.begin(), rows.end());
    QStringList addresses;
    for (int nRow : rows)
        if (nRow < static_cast<int>(m_rowReads.size()) && m_rowReads[static_cast<std::size_t>(nRow)])
            addresses << QString::fromStdString(
                codec::BytesToAddress(m_rowAddresses[static_cast<std::size_t>(nRow)]));
    return addresses;
}

void CScanDlg::OnAddToBatch() {
    const QStringList addresses = ControllerAddresses();
    if (addresses.isEmpty()) {
        MessageBoxShow(QStringLiteral("没有找到中控，无可加入批量的房间！"));
        return;
    }
    emit AddToBatch(addresses);
}

bool CScanDlg::ExportInventory(const QString& strTyped) {
    const QString strPath = AllowedOutput(strTyped, QStringLiteral(".csv"));
    if (strPath.isEmpty())
        return false;
    std::string text =
        "\xEF\xBB\xBF" + session::CsvLine({"room", "address", "server_ip", "mask", "gateway", "lock_type",
                                           "lock_time", "projector1", "projector2"});
    std::size_t nRows = 0;
    for (std::size_t i = 0; i < m_rowAddresses.size(); ++i) {
        if (!m_rowReads[i])
            continue;
        const session::SReadResult& read = *m_rowReads[i];
        const session::SControllerSettings& s = read.settings;
        std::vector<std::string> row{"", codec::BytesToAddress(m_rowAddresses[i])};
        // A part that did not come is left empty: the plan keeps what the
        // controller holds. Each field is filed under the reply that carries it.
        for (const char* pszKey : {"server_ip", "mask", "gateway", "lock_type", "lock_time"}) {
            const session::SFieldDef& field = *session::FindField(pszKey);
            // A level lock has no lock time; a plan that named one would be refused.
            const bool bNoTime = field.strKey == "lock_time" && s.nLockType != 0;
            row.push_back(read.received[field.nPart] && !bNoTime ? field.pfnText(s) : std::string());
        }
        for (std::size_t nSlot = 0; nSlot < 2; ++nSlot) {
            // Only a model the library can write back is named; an empty
            // slot, an unknown or ambiguous code leaves the cell empty.
            std::string strModel = read.received[nSlot] ? s.projectors[nSlot].strModel : std::string();
            session::SProjectorSlot slot;
            std::string strIgnored;
            if (!strModel.empty() && !session::ProjectorFromLibrary(strModel, slot, strIgnored))
                strModel.clear();
            row.push_back(strModel);
        }
        text += session::CsvLine(row);
        ++nRows;
    }
    std::string strError;
    if (!base::WriteFileReplacing(PathFromUtf8(strPath.toStdString()), text, true, strError)) {
        MessageBoxShow(QStringLiteral("无法导出清单：") + QString::fromStdString(strError));
        return false;
    }
    SetStatus(QStringLiteral("已导出 %1 个中控到 %2。").arg(nRows).arg(strPath));
    return true;
}
