#include "ScanDlg.h"

#include "EngineHost.h"
#include "Inventory.h"
#include "Words.h"

#include "FileFolders.h"
#include "codec/AddressRange.h"

#include "LocalInterfaces.h"
#include "MainConfigDlg.h"
#include "MessageBox.h"
#include "OutputFiles.h"
#include "SystemSocketApi.h"

#include <QAccessible>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

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

    m_pModel = new CScanTableModel(this);
    m_pTable = new QTableView(this);
    m_pTable->setModel(m_pModel);
    m_pTable->setAccessibleName(QStringLiteral("找到的中控"));
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
    connect(m_pTable, &QTableView::activated, this,
            [this](const QModelIndex& index) { OnActivated(index.row()); });
    resize(640, 420);
}

CScanDlg::~CScanDlg() {
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
        MessageBoxShow(QStringLiteral("扫描范围无效：") + words::RangeErrorText(error));
        return false;
    }
    m_pModel->Clear();
    session::SSessionTiming timing;
    timing.nTickMs = m_options.nTickMs;
    timing.nQueryTicks = m_options.nQueryTicks;
    timing.nMaxRunning = static_cast<int>(std::max<std::size_t>(addresses.size(), 1));
    timing.nStartIntervalMs = 1000 / std::max(1, m_options.nQueriesPerSecond);
    LeaveEngine();
    m_pJob = std::make_unique<session::CScanJob>(std::move(addresses), m_options.nQueriesPerSecond);
    if (m_options.bProbe)
        m_pJob->ProbeSilent(m_options.pEchoApi ? *m_options.pEchoApi : CSystemSocketApi::Instance(),
                            std::chrono::milliseconds(m_options.nEchoTimeoutMs));
    m_pJob->m_pfnFound = [this](const codec::Ip4& address, const session::SReadResult& read) {
        m_pModel->Add({address, read});
    };
    m_pJob->m_pfnEchoed = [this](const codec::Ip4& address) { m_pModel->Add({address, std::nullopt}); };
    CEngineHost& host = m_window.Engines();
    m_nClient = host.AddClient(m_pJob->Observer(), timing);
    m_pJob->Start(host.Engine(), m_nClient, [&host] { return host.Now(); });

    m_bScanning = true;
    const std::size_t nTotal = m_pJob->Counts().nTotal;
    m_pProgress->setRange(0, static_cast<int>(nTotal));
    m_pProgress->setValue(0);
    SetStatus(QStringLiteral("正在扫描 %1 个地址…").arg(nTotal));
    m_pStart->setEnabled(false);
    m_pStop->setEnabled(true);
    m_pRange->setEnabled(false);
    m_pTimer->start();
    return true;
}

void CScanDlg::StopScan() {
    if (!IsScanning() || m_pJob->Stopped())
        return;
    m_pStop->setEnabled(false);
    SetStatus(QStringLiteral("正在停止…"));
    // Queries not yet sent are dropped; those sent finish their wait, so a
    // controller that is answering still gets its row.
    m_pJob->Stop();
}

void CScanDlg::reject() {
    StopScan();
    QDialog::reject();
}

void CScanDlg::SetStatus(const QString& strText) {
    m_pStatus->setText(strText);
    // Screen readers read the status itself, not only the label's name.
    m_pStatus->setAccessibleDescription(strText);
    QAccessibleEvent event(m_pStatus, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

QString CScanDlg::CellText(int nRow, int nColumn) const {
    return m_pModel->index(nRow, nColumn).data().toString();
}

int CScanDlg::RowCount() const {
    return m_pModel->rowCount();
}

void CScanDlg::OnTick() {
    using EPhase = session::CScanJob::EPhase;
    const bool bQuerying = m_pJob->Phase() == EPhase::Querying;
    if (bQuerying)
        m_window.Engines().Advance();
    const EPhase ePhase = m_pJob->Poll();
    if (bQuerying && ePhase != EPhase::Querying) {
        LeaveEngine();
        if (ePhase == EPhase::Probing) {
            const session::SScanCounts counts = m_pJob->Counts();
            m_pProgress->setRange(0, static_cast<int>(counts.nTotal));
            m_pProgress->setValue(0);
            SetStatus(QStringLiteral("找到 %1 个中控；正在探测 %2 个无应答的地址…")
                          .arg(counts.nControllers)
                          .arg(counts.nTotal));
            return;
        }
    }
    if (ePhase == EPhase::Over) {
        Finish();
        return;
    }
    ShowProgress();
}

void CScanDlg::ShowProgress() {
    const session::SScanCounts counts = m_pJob->Counts();
    m_pProgress->setValue(static_cast<int>(std::min(counts.nDone, counts.nTotal)));
}

void CScanDlg::Finish() {
    m_pTimer->stop();
    LeaveEngine();
    m_bScanning = false;
    // Said once per dialog: without the right to probe only controllers are listed.
    if (m_pJob->ProbeRefused() && !m_bProbeRefusalSaid) {
        m_bProbeRefusalSaid = true;
        m_pProbeNote->setText(QStringLiteral("本程序无权发送回显探测（ICMP），只列出应答的中控，"
                                             "无应答的地址不作探测。"));
        m_pProbeNote->show();
    }
    const bool bStopped = m_pJob->Stopped();
    m_pProgress->setValue(m_pProgress->maximum());
    SetStatus(
        (bStopped ? QStringLiteral("已停止，找到 %1 个中控。") : QStringLiteral("扫描完成，找到 %1 个中控。"))
            .arg(m_pJob->Counts().nControllers));
    m_pStart->setEnabled(true);
    m_pStop->setEnabled(false);
    m_pRange->setEnabled(true);
    emit ScanEnded(bStopped);
}

void CScanDlg::OnActivated(int nRow) {
    if (nRow < 0 || nRow >= m_pModel->rowCount())
        return;
    m_window.ReadController(m_pModel->Rows()[static_cast<std::size_t>(nRow)].address);
}

QStringList CScanDlg::ControllerAddresses() const {
    std::vector<int> rows;
    for (const QModelIndex& index : m_pTable->selectionModel()->selectedRows())
        rows.push_back(index.row());
    if (rows.empty())
        for (int nRow = 0; nRow < m_pModel->rowCount(); ++nRow)
            rows.push_back(nRow);
    std::sort(rows.begin(), rows.end());
    QStringList addresses;
    for (int nRow : rows) {
        const CScanTableModel::SRow& row = m_pModel->Rows()[static_cast<std::size_t>(nRow)];
        if (row.read)
            addresses << QString::fromStdString(codec::BytesToAddress(row.address));
    }
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
    std::vector<session::FoundController> found;
    for (const CScanTableModel::SRow& row : m_pModel->Rows())
        if (row.read)
            found.emplace_back(row.address, *row.read);
    const std::string text = session::InventoryCsv(found);
    if (!WriteOutput(strPath, text, QStringLiteral("无法导出清单：")))
        return false;
    SetStatus(QStringLiteral("已导出 %1 个中控到 %2。").arg(found.size()).arg(strPath));
    return true;
}
