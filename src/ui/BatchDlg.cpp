#include "BatchDlg.h"

#include "EngineHost.h"
#include "FileFolders.h"
#include "MainConfigDlg.h"
#include "MessageBox.h"
#include "OutputFiles.h"
#include "ProgramValues.h"
#include "ScreenFit.h"
#include "SetResultDlg.h"
#include "Words.h"

#include "Csv.h"
#include "Database.h"
#include "FileSystem.h"
#include "History.h"
#include "Utf8Path.h"
#include "codec/Address.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QTableView>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace {

using session::EBatchOutcome;
using session::EBatchPhase;
using words::Q;
using ETone = CBatchTableModel::ETone;

ETone ToneOf(const session::SBatchRoom& room) {
    if (room.ePhase != EBatchPhase::Done)
        return ETone::Busy;
    switch (room.eOutcome) {
    case EBatchOutcome::Ok:
        return ETone::Ok;
    case EBatchOutcome::Failed:
        return ETone::Failed;
    default:
        return ETone::NotRun;
    }
}

// Minutes and seconds, for the time a run has left.
QString Duration(double dSeconds) {
    const int nSeconds = static_cast<int>(std::max(0.0, dSeconds) + 0.5);
    return QStringLiteral("%1:%2").arg(nSeconds / 60).arg(nSeconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

CBatchDlg::CBatchDlg(CMainConfigDlg& window, QWidget* pParent) : CBatchDlg(window, SOptions{}, pParent) {}

CBatchDlg::CBatchDlg(CMainConfigDlg& window, const SOptions& options, QWidget* pParent)
    : QDialog(pParent), m_window(window), m_options(options) {
    setWindowTitle(ProgramTitle() + QStringLiteral(" - 批量设置"));
    auto* pLayout = new QVBoxLayout(this);

    auto* pRoomButtons = new QHBoxLayout;
    auto* pRoomsLabel = new QLabel(QStringLiteral("房间："), this);
    pRoomButtons->addWidget(pRoomsLabel);
    m_pFailedOnly = new QCheckBox(QString::fromUtf8(kFailedOnly), this);
    m_pFailedOnly->setAccessibleName(m_pFailedOnly->text());
    pRoomButtons->addWidget(m_pFailedOnly);
    pRoomButtons->addStretch(1);
    for (const char* pszText : {kAdd, kRemove, kOpen, kSave})
        pRoomButtons->addWidget(AddButton(pszText, this));
    pLayout->addLayout(pRoomButtons);

    m_pModel = new CBatchTableModel(this);
    m_pFilter = new CBatchFilterModel(this);
    m_pFilter->setSourceModel(m_pModel);
    m_pTable = new QTableView(this);
    m_pTable->setModel(m_pFilter);
    m_pTable->setAccessibleName(QStringLiteral("房间"));
    pRoomsLabel->setBuddy(m_pTable);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Typing or F2 edits a cell; double-click and Enter open a finished room's result.
    m_pTable->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    m_pTable->verticalHeader()->hide();
    // Rows are one line high whatever their number: with hundreds of rooms
    // nothing measures every row's text.
    m_pTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pTable->setWordWrap(false);
    m_pTable->setTextElideMode(Qt::ElideMiddle);
    QHeaderView* pHeader = m_pTable->horizontalHeader();
    pHeader->setSectionResizeMode(QHeaderView::Interactive);
    pHeader->setSectionResizeMode(kColOutcome, QHeaderView::Stretch);
    pHeader->setSectionResizeMode(kColOwn, QHeaderView::Stretch);
    const QFontMetrics metrics(font());
    // Each column is as wide as the longest text it can show (a state, an
    // address), so nothing is cut to "…" while rooms change.
    const int nPad = 24;
    pHeader->resizeSection(kColRoom, metrics.horizontalAdvance(QStringLiteral("教学楼 A-301 教室")) + nPad);
    for (int nColumn : {kColAddress, kColNewIp})
        pHeader->resizeSection(nColumn, metrics.horizontalAdvance(QStringLiteral("255.255.255.255")) + nPad);
    pHeader->resizeSection(kColState, metrics.horizontalAdvance(QStringLiteral("已成功，不重试")) + nPad);
    pHeader->resizeSection(kColSeconds, metrics.horizontalAdvance(QStringLiteral("用时(秒)")) + nPad);
    // Rows keep the order they came in until a header is clicked.
    m_pTable->setSortingEnabled(true);
    m_pTable->sortByColumn(-1, Qt::AscendingOrder);
    // On a short screen the rooms and the check report give way first, to a few lines each.
    m_pTable->setMinimumHeight(m_pTable->verticalHeader()->defaultSectionSize() * 3);
    pLayout->addWidget(m_pTable, 3);

    m_pFields = new CBatchFields([this] { return m_pfnChooseFile(EFileChoice::Snapshot); }, this);
    pLayout->addWidget(m_pFields);

    auto* pRunRow = new QHBoxLayout;
    auto* pParallelLabel = new QLabel(QStringLiteral("同时设置："), this);
    m_pParallel = new QSpinBox(this);
    m_pParallel->setRange(1, 1024);
    m_pParallel->setValue(16);
    m_pParallel->setAccessibleName(pParallelLabel->text());
    pParallelLabel->setBuddy(m_pParallel);
    auto* pResultsLabel = new QLabel(QStringLiteral("结果文件："), this);
    m_pResults = new QLineEdit(this);
    m_pResults->setAccessibleName(pResultsLabel->text());
    pResultsLabel->setBuddy(m_pResults);
    // Results start in the user's folder for them, never the program's own.
    m_pResults->setText(CFileFolders::StartPath(CFileFolders::EKind::Results, QStringLiteral("results.csv")));
    pRunRow->addWidget(pParallelLabel);
    pRunRow->addWidget(m_pParallel);
    pRunRow->addWidget(pResultsLabel);
    pRunRow->addWidget(m_pResults, 1);
    m_pBrowseResults = new QPushButton(QString::fromUtf8(kBrowseResults), this);
    m_pBrowseResults->setAccessibleName(m_pBrowseResults->text());
    m_pBrowseResults->setAutoDefault(false);
    pRunRow->addWidget(m_pBrowseResults);
    pLayout->addLayout(pRunRow);

    auto* pProgressRow = new QHBoxLayout;
    m_pProgress = new QProgressBar(this);
    m_pProgress->setAccessibleName(QStringLiteral("进度"));
    m_pProgress->setRange(0, 1);
    m_pProgress->setValue(0);
    m_pStatus = new QLabel(this);
    m_pStatus->setAccessibleName(QStringLiteral("状态"));
    m_pStatus->setWordWrap(true);
    m_pStatus->setMinimumWidth(1);
    pProgressRow->addWidget(m_pProgress, 1);
    pProgressRow->addWidget(m_pStatus, 2);
    pLayout->addLayout(pProgressRow);

    auto* pActions = new QHBoxLayout;
    pActions->addStretch(1);
    for (const char* pszText : {kCheck, kStart, kStop, kRetry, kDiagnose})
        pActions->addWidget(AddButton(pszText, this));
    auto* pClose = new QPushButton(QStringLiteral("关闭"), this);
    pClose->setAccessibleName(pClose->text());
    pClose->setAutoDefault(false);
    pActions->addWidget(pClose);
    pLayout->addLayout(pActions);

    auto* pReportLabel = new QLabel(QStringLiteral("检查结果："), this);
    m_pReport = new QPlainTextEdit(this);
    m_pReport->setReadOnly(true);
    m_pReport->setAccessibleName(pReportLabel->text());
    m_pReport->setMinimumHeight(fontMetrics().height() * 2 + 8);
    pReportLabel->setBuddy(m_pReport);
    pLayout->addWidget(pReportLabel);
    pLayout->addWidget(m_pReport, 1);

    connect(Button(kAdd), &QPushButton::clicked, this, [this] {
        const int nRow = AddRoom({}, {});
        const QModelIndex index = m_pFilter->mapFromSource(m_pModel->index(nRow, kColRoom));
        m_pTable->setCurrentIndex(index);
        m_pTable->edit(index);
    });
    connect(Button(kRemove), &QPushButton::clicked, this, &CBatchDlg::RemoveSelectedRooms);
    connect(Button(kOpen), &QPushButton::clicked, this, [this] {
        const QString strPath = m_pfnChooseFile(EFileChoice::OpenPlan);
        if (!strPath.isEmpty())
            OpenPlan(strPath);
    });
    connect(Button(kSave), &QPushButton::clicked, this, [this] {
        const QString strPath = m_pfnChooseFile(EFileChoice::SavePlan);
        if (!strPath.isEmpty())
            SavePlan(strPath);
    });
    connect(m_pBrowseResults, &QPushButton::clicked, this, [this] {
        const QString strPath = m_pfnChooseFile(EFileChoice::Results);
        if (!strPath.isEmpty())
            m_pResults->setText(WithSuffix(strPath, QStringLiteral(".csv")));
    });
    connect(Button(kCheck), &QPushButton::clicked, this, [this] { StartCheck(); });
    connect(Button(kStart), &QPushButton::clicked, this, [this] { StartRun(false); });
    connect(Button(kStop), &QPushButton::clicked, this, &CBatchDlg::Stop);
    connect(Button(kRetry), &QPushButton::clicked, this, [this] { StartRun(true); });
    connect(Button(kDiagnose), &QPushButton::clicked, this, [this] {
        const int nRoom = RoomOfRow(m_pTable->currentIndex().row());
        if (nRoom >= 0)
            emit DiagnoseAddress(
                Q(codec::BytesToAddress(m_rooms[static_cast<std::size_t>(nRoom)].plan.address)));
    });
    connect(pClose, &QPushButton::clicked, this, &CBatchDlg::reject);
    connect(m_pFailedOnly, &QCheckBox::toggled, this, &CBatchDlg::ShowFailedOnly);
    connect(m_pTable, &QTableView::activated, this,
            [this](const QModelIndex& index) { ShowRoomResult(index.row()); });
    connect(m_pTable->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CBatchDlg::FollowCurrentRow);
    connect(m_pModel, &CBatchTableModel::Edited, this, &CBatchDlg::PlanChanged);

    m_pfnChooseFile = [this](EFileChoice eChoice) { return ChooseFile(eChoice); };

    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(m_options.nPollMs);
    connect(m_pTimer, &QTimer::timeout, this, &CBatchDlg::OnTick);
    // Rooms that end close together are written to the results file at
    // once, a moment after the first of them: rewriting the whole file for
    // every room held the window (and the other rooms' replies) up when a
    // hundred rooms ended within a second. A crash loses at most the rows of
    // that last moment; the run's last write reaches the disk before the
    // run is said to have ended.
    m_pResultsTimer = new QTimer(this);
    m_pResultsTimer->setSingleShot(true);
    m_pResultsTimer->setInterval(kResultsDelayMs);
    connect(m_pResultsTimer, &QTimer::timeout, this, [this] { m_job.WriteResults(); });
    m_job.m_pfnRoomChanged = [this](std::size_t nRoom) { OnRoomChanged(nRoom); };
    m_job.m_pfnResultsDue = [this] {
        if (!m_pResultsTimer->isActive())
            m_pResultsTimer->start();
    };
    m_job.m_pfnSaveBackup = [this](session::ExchangeId id, session::SBackup backup) {
        SaveBackup(id, std::move(backup));
    };
    // Backups are flushed to disk side by side, off the window's thread:
    // one after another on it they held back the later rooms' Sets (and the
    // window). A few threads already share the disk's flushes; more only
    // cost memory.
    m_pBackupPool = new QThreadPool(this);
    m_pBackupPool->setMaxThreadCount(4);
    SetBusy(EState::Idle);
    FollowCurrentRow();
    resize(860, 600);
    // A laptop at 150 % or a projector mirror keeps every button in view.
    FitToScreen(*this, AvailableScreenSize(*this));
}

CBatchDlg::~CBatchDlg() {
    // A backup being saved reports to this dialog: it ends first.
    m_pBackupPool->waitForDone();
    m_pTimer->stop();
    LeaveEngine();
}

QPushButton* CBatchDlg::AddButton(const char* pszText, QWidget* pParent) {
    auto* pButton = new QPushButton(QString::fromUtf8(pszText), pParent);
    pButton->setObjectName(QString::fromUtf8(pszText));
    pButton->setAccessibleName(pButton->text());
    pButton->setAutoDefault(false);
    return pButton;
}

QPushButton* CBatchDlg::Button(const QString& strText) const {
    return findChild<QPushButton*>(strText);
}

QString CBatchDlg::ChooseFile(EFileChoice eChoice) {
    const QString strCsv = QStringLiteral("计划文件 (*.csv)");
    using EKind = CFileFolders::EKind;
    const EKind eKind = eChoice == EFileChoice::Snapshot  ? EKind::Snapshot
                        : eChoice == EFileChoice::Results ? EKind::Results
                                                          : EKind::Plan;
    const QString strStart = CFileFolders::StartPath(eKind);
    QString strPath;
    switch (eChoice) {
    case EFileChoice::OpenPlan:
        strPath = QFileDialog::getOpenFileName(this, QString::fromUtf8(kOpen), strStart, strCsv);
        break;
    case EFileChoice::SavePlan:
        strPath = QFileDialog::getSaveFileName(this, QString::fromUtf8(kSave), strStart, strCsv);
        break;
    case EFileChoice::Results:
        // A typed results file starts the dialog where it is.
        strPath = QFileDialog::getSaveFileName(this, QStringLiteral("结果文件"),
                                               m_pResults->text().isEmpty() ? strStart : m_pResults->text(),
                                               QStringLiteral("结果文件 (*.csv)"));
        break;
    case EFileChoice::Snapshot:
        strPath = QFileDialog::getOpenFileName(this, QStringLiteral("配置文件"), strStart,
                                               QStringLiteral("配置文件 (*.json)"));
        break;
    }
    CFileFolders::Remember(eKind, strPath);
    return strPath;
}

int CBatchDlg::AddRoom(const QString& strRoom, const QString& strAddress, const QString& strNewIp) {
    if (IsBusy())
        return -1;
    const int nRow = m_pModel->AddRow({{"room", strRoom.trimmed().toStdString()},
                                       {"address", strAddress.trimmed().toStdString()},
                                       {"controller_ip", strNewIp.trimmed().toStdString()}});
    PlanChanged();
    return m_pFilter->mapFromSource(m_pModel->index(nRow, 0)).row();
}

void CBatchDlg::AddAddresses(const QStringList& addresses) {
    // A controller already in the table is not added twice.
    QSet<QString> known;
    for (const CBatchTableModel::SRow& row : m_pModel->Rows())
        if (row.cells.count("address"))
            known.insert(Q(row.cells.at("address")));
    for (const QString& strAddress : addresses)
        if (!known.contains(strAddress.trimmed()))
            AddRoom({}, strAddress);
    SetStatus(QStringLiteral("房间共 %1 个。").arg(m_pModel->rowCount()));
}

void CBatchDlg::RemoveSelectedRooms() {
    if (IsBusy())
        return;
    std::vector<int> rows;
    for (const QModelIndex& index : m_pTable->selectionModel()->selectedRows())
        rows.push_back(m_pFilter->mapToSource(index).row());
    m_pModel->RemoveRows(rows);
    PlanChanged();
}

void CBatchDlg::PlanChanged() {
    // What was checked or run was another plan: its words go with it.
    if (m_bRoomsAreRows || !m_pReport->toPlainText().isEmpty()) {
        m_bRoomsAreRows = false;
        m_pModel->ClearOutcomes();
        m_pReport->clear();
    }
    m_pProgress->setRange(0, 1);
    m_pProgress->setValue(0);
    FollowCurrentRow();
}

bool CBatchDlg::OpenPlan(const QString& strPath) {
    if (IsBusy())
        return false;
    session::SPlanTable plan;
    session::SPlanFileError error;
    if (!session::ReadPlanFile(strPath.toStdString(), plan, error)) {
        MessageBoxShow(
            QStringLiteral("无法打开计划文件 %1：%2").arg(strPath, words::PlanFileErrorText(error)));
        return false;
    }
    // The table has no place for a cell the header does not name.
    for (const session::SPlanRow& row : plan.rows)
        if (plan.BeyondHeader(row)) {
            MessageBoxShow(QStringLiteral("无法打开计划文件 %1：第 %2 行有 %3 个单元格，标题行只有 %4 列")
                               .arg(strPath)
                               .arg(row.nLine)
                               .arg(row.nCells)
                               .arg(plan.nColumns));
            return false;
        }
    std::vector<CBatchTableModel::Cells> rows;
    for (const session::SPlanRow& row : plan.rows)
        rows.push_back(row.cells);
    m_pModel->SetRows(std::move(rows));
    m_pTable->sortByColumn(-1, Qt::AscendingOrder);
    PlanChanged();
    m_rooms.clear();
    const QFileInfo info(strPath);
    m_strPlanFolder = info.absolutePath();
    m_strPlanPath = info.absoluteFilePath();
    // Each plan has results of its own beside it, so a second plan in the
    // folder does not replace the first one's.
    m_pResults->setText(
        QFileInfo(info.absoluteDir(), info.completeBaseName() + QStringLiteral("-results.csv")).filePath());
    SetStatus(QStringLiteral("已打开计划，房间共 %1 个。").arg(m_pModel->rowCount()));
    return true;
}

std::vector<std::vector<std::string>> CBatchDlg::PlanRows(bool bSaving) const {
    std::vector<std::string> header{"room", "address", "controller_ip"};
    auto addColumn = [&header](const std::string& column) {
        if (std::find(header.begin(), header.end(), column) == header.end())
            header.push_back(column);
    };
    for (const CBatchTableModel::SRow& row : m_pModel->Rows())
        for (const auto& [column, value] : row.cells)
            addColumn(column);
    const std::map<std::string, std::string> ticked = m_pFields->Ticked(bSaving);
    for (const auto& [column, value] : ticked)
        addColumn(column);
    // A run takes the rooms in the model's order (one room a row); a saved
    // plan keeps the order the table shows, hidden rows included.
    std::vector<int> order;
    const bool bFailedOnly = m_pFilter->FailedOnly();
    if (bSaving && bFailedOnly)
        m_pFilter->SetFailedOnly(false);
    for (int nRow = 0; nRow < m_pModel->rowCount(); ++nRow)
        order.push_back(bSaving ? m_pFilter->mapToSource(m_pFilter->index(nRow, 0)).row() : nRow);
    if (bSaving && bFailedOnly)
        m_pFilter->SetFailedOnly(true);
    std::vector<std::vector<std::string>> rows{header};
    for (int nRow : order) {
        const CBatchTableModel::SRow& plan = m_pModel->Rows()[static_cast<std::size_t>(nRow)];
        std::vector<std::string> row;
        for (const std::string& column : header) {
            const auto own = plan.cells.find(column);
            std::string value = own == plan.cells.end() ? std::string() : own->second;
            // The room's own value wins over the ticked one.
            const auto common = ticked.find(column);
            if (value.empty() && common != ticked.end())
                value = common->second;
            row.push_back(value);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

bool CBatchDlg::SavePlan(const QString& strTyped) {
    const QString strPath = AllowedOutput(strTyped, QStringLiteral(".csv"), {m_pResults->text().trimmed()});
    if (strPath.isEmpty())
        return false;
    std::string text = "\xEF\xBB\xBF";
    for (const auto& row : PlanRows(true))
        text += session::CsvLine(row);
    std::string strError;
    if (!base::WriteFileReplacing(PathFromUtf8(strPath.toStdString()), text, true, strError)) {
        MessageBoxShow(QStringLiteral("无法保存计划文件：") + Q(strError));
        return false;
    }
    m_strPlanPath = QFileInfo(strPath).absoluteFilePath();
    SetStatus(QStringLiteral("计划已保存到 %1。").arg(strPath));
    return true;
}

bool CBatchDlg::BuildPlan(session::SPlanTable& plan) {
    if (m_pModel->rowCount() == 0) {
        MessageBoxShow(QStringLiteral("房间列表是空的，请先加入房间！"));
        return false;
    }
    session::SPlanFileError error;
    if (!session::PlanFromRows(PlanRows(false), plan, error)) {
        MessageBoxShow(QStringLiteral("计划无效：") + Q(error.strDetail));
        return false;
    }
    return true;
}

bool CBatchDlg::RefuseBadPlan(const std::vector<session::SPlanProblem>& problems) {
    QStringList lines;
    auto roomName = [this](std::size_t nLine) {
        const std::size_t n = nLine - 2; // the header is line 1, the first room line 2
        return n < m_rooms.size() ? Q(m_rooms[n].strRoom) : QString();
    };
    for (const session::SPlanProblem& p : problems)
        lines << words::PlanProblemText(p, roomName(p.nLine), roomName(p.nOtherLine));
    for (const session::SBatchRoom& room : m_rooms)
        if (room.bRun && !room.bPrepared)
            lines << QStringLiteral("“%1”：%2").arg(Q(room.strRoom), words::ValueProblemText(room.problem));
    if (lines.isEmpty())
        return true;
    m_pReport->setPlainText(lines.join(QLatin1Char('\n')));
    MessageBoxShow(QStringLiteral("计划有误，未发送任何设置：\n") + lines.join(QLatin1Char('\n')));
    return false;
}

void CBatchDlg::JoinEngine(session::ISessionObserver& observer, int nMaxRunning) {
    session::SSessionTiming timing;
    timing.nTickMs = m_options.nTickMs;
    timing.dPauseScale = m_options.dPauseScale;
    timing.nMaxRunning = nMaxRunning;
    timing.nReadAttempts = 2;
    LeaveEngine();
    m_nClient = m_window.Engines().AddClient(observer, timing);
}

void CBatchDlg::LeaveEngine() {
    if (m_nClient)
        m_window.Engines().RemoveClient(m_nClient);
    m_nClient = 0;
}

session::TimeMs CBatchDlg::Now() const {
    return m_window.Engines().Now();
}

bool CBatchDlg::StartCheck() {
    if (IsBusy())
        return false;
    session::SPlanTable plan;
    if (!BuildPlan(plan))
        return false;
    m_job.Prepare(plan, PathFromUtf8(m_strPlanFolder.toStdString()));
    m_bRoomsAreRows = true;
    m_pModel->ClearOutcomes();
    if (!RefuseBadPlan(m_job.PlanProblems()))
        return false;
    m_pCheck = std::make_unique<session::CBatchCheck>(m_rooms);
    JoinEngine(*m_pCheck, std::max(16, m_pParallel->value()));
    m_pReport->clear();
    SetBusy(EState::Checking);
    for (int nRow = 0; nRow < m_pModel->rowCount(); ++nRow)
        m_pModel->SetOutcome(nRow, QStringLiteral("检查中"), {}, {}, ETone::Busy);
    m_pProgress->setRange(0, 0); // reads have no count worth showing: a busy bar
    SetStatus(QStringLiteral("正在读取 %1 个房间（不发送任何设置）…").arg(m_rooms.size()));
    m_pCheck->Start(m_window.Engines().Engine(), m_nClient, Now());
    m_pTimer->start();
    return true;
}

void CBatchDlg::EndCheck() {
    const std::vector<session::SRoomCheck> checks = m_pCheck->Results({});
    QStringList report;
    std::size_t nWritable = 0;
    for (std::size_t i = 0; i < m_rooms.size(); ++i) {
        const session::SBatchRoom& room = m_rooms[i];
        const session::SRoomCheck& c = checks[i];
        const QStringList problems = words::CheckProblems(c);
        const bool bWritable = problems.isEmpty();
        nWritable += bWritable;
        report << QStringLiteral("%1（%2）：%3")
                      .arg(Q(room.strRoom), Q(room.strAddress),
                           bWritable ? QStringLiteral("可以设置") : QStringLiteral("不能设置"));
        if (!c.strAlreadyAt.empty())
            report << QStringLiteral("    已在新地址 %1").arg(Q(c.strAlreadyAt));
        for (const session::SFieldResult& f : c.changes)
            report << QStringLiteral("    %1：%2 → %3")
                          .arg(CSetResultDlg::FieldLabel(f.strField), CSetResultDlg::ValueText(f.strRead),
                               CSetResultDlg::ValueText(f.strSent));
        if (bWritable && c.changes.empty())
            report << QStringLiteral("    （无变化）");
        for (const QString& strProblem : problems)
            report << QStringLiteral("    问题：") + strProblem;
        m_pModel->SetOutcome(static_cast<int>(i), QStringLiteral("已检查"),
                             bWritable ? QStringLiteral("可以设置")
                                       : QStringLiteral("不能设置：") + problems.join(QStringLiteral("；")),
                             {}, bWritable ? ETone::Ok : ETone::Failed);
    }
    m_pReport->setPlainText(report.join(QLatin1Char('\n')));
    m_pProgress->setRange(0, 1);
    m_pProgress->setValue(1);
    SetStatus(QStringLiteral("检查完成：%1 个房间可以设置，%2 个不能。")
                  .arg(nWritable)
                  .arg(m_rooms.size() - nWritable));
    emit CheckEnded();
    if (m_bCloseWhenIdle)
        QMetaObject::invokeMethod(this, &CBatchDlg::reject, Qt::QueuedConnection);
}

bool CBatchDlg::StartRun(bool bRetry) {
    if (IsBusy())
        return false;
    session::SPlanTable plan;
    if (!BuildPlan(plan))
        return false;
    if (bRetry && (m_rooms.empty() || !m_job.HasResults() || !m_bRoomsAreRows)) {
        MessageBoxShow(QStringLiteral("还没有设置过，没有可重试的房间！"));
        return false;
    }
    const QString strTyped = m_pResults->text().trimmed();
    if (strTyped.isEmpty()) {
        MessageBoxShow(QStringLiteral("请填写结果文件！"));
        return false;
    }
    const std::filesystem::path planFolder = PathFromUtf8(m_strPlanFolder.toStdString());
    if (!bRetry) {
        m_job.Prepare(plan, planFolder);
    } else if (m_job.PrepareRetry(plan, planFolder) == session::CBatchJob::EPrepare::NothingToRetry) {
        MessageBoxShow(QStringLiteral("每个房间都已设置成功，没有要重试的房间。"));
        return false;
    }
    m_bRoomsAreRows = true;
    if (!RefuseBadPlan(m_job.PlanProblems()))
        return false;
    // The results never replace the library, a database, the plan or a
    // snapshot the rooms take; another plan's results only when the
    // installer says so. A retry rewrites this run's own results.
    QStringList inputs;
    for (const std::string& strInput : m_job.Inputs(m_strPlanPath.toStdString()))
        inputs << Q(strInput);
    const QString strResults = AllowedOutput(strTyped, QStringLiteral(".csv"), inputs);
    if (strResults.isEmpty())
        return false;
    m_pResults->setText(strResults);
    const std::filesystem::path resultsPath = PathFromUtf8(strResults.toStdString());
    if (!bRetry && !m_job.ResultsOfThisPlan(resultsPath) &&
        !MessageBoxAsk(QStringLiteral("结果文件%1已有其他计划的结果。是否替换？").arg(strResults), true))
        return false;
    // The results file explains a failure in the window's words; its
    // outcome column keeps the codes a retry reads.
    const bool bCreated = m_job.CreateResults(resultsPath, [](const session::SBatchRoom& room) {
        if (room.ePhase == session::EBatchPhase::Setting)
            return std::string("设置进行中");
        return room.eOutcome == EBatchOutcome::Failed || !room.strMovedTo.empty()
                   ? words::RoomOutcomeText(room).toStdString()
                   : std::string();
    });
    if (!bCreated) {
        MessageBoxShow(QStringLiteral("无法写入结果文件：") + Q(m_job.ResultsError()));
        return false;
    }

    ++m_nRunSerial;
    m_pHistory = std::make_shared<session::CHistory>(CDatabase::Folder());
    JoinEngine(m_job.Observer(), m_pParallel->value());
    SetBusy(EState::Running);
    for (std::size_t i = 0; i < m_rooms.size(); ++i)
        OnRoomChanged(i);
    m_job.Start(m_window.Engines().Engine(), m_nClient, m_pHistory);
    ShowProgress();
    m_pTimer->start();
    return true;
}

void CBatchDlg::Stop() {
    if (m_eState == EState::Running && !m_job.Stopped()) {
        m_job.Stop();
        ShowProgress();
    } else if (m_eState == EState::Checking && m_nClient) {
        m_window.Engines().Engine().CancelNotStarted(m_nClient);
    }
}

bool CBatchDlg::AskToStop() {
    if (m_eState == EState::Running && !m_job.Stopped() &&
        !MessageBoxAsk(QStringLiteral("批量设置正在进行。停止后，已开始设置的房间会先完成设置。是否停止？"),
                       true))
        return false;
    Stop();
    return true;
}

void CBatchDlg::reject() {
    // Closing asks while rooms are being set; the rooms under way finish
    // their Set and the dialog closes once the run has ended.
    if (IsBusy()) {
        if (!m_bCloseWhenIdle && AskToStop())
            m_bCloseWhenIdle = true;
        return;
    }
    m_bCloseWhenIdle = false;
    QDialog::reject();
}

void CBatchDlg::OnTick() {
    if (!m_nClient)
        return;
    m_window.Engines().Advance();
    if (m_eState == EState::Running)
        ShowProgress();
    if (!m_window.Engines().Engine().Idle(m_nClient))
        return;
    m_pTimer->stop();
    // The engine is left before anything is told: a handler of the end may start the next run.
    LeaveEngine();
    const EState eState = m_eState;
    SetBusy(EState::Idle);
    if (eState == EState::Checking)
        EndCheck();
    else
        EndRun();
}

void CBatchDlg::ShowProgress() {
    const session::SBatchCounts c = m_job.Counts();
    m_pProgress->setRange(0, static_cast<int>(std::max<std::size_t>(c.nRooms, 1)));
    m_pProgress->setValue(static_cast<int>(c.nEnded));
    QString strText = QStringLiteral("%1/%2 个房间已结束：成功 %3，失败 %4")
                          .arg(c.nEnded)
                          .arg(c.nRooms)
                          .arg(c.nOk)
                          .arg(c.nFailed);
    if (c.nNotRun)
        strText += QStringLiteral("，未执行 %1").arg(c.nNotRun);
    if (m_eState != EState::Running) {
        SetStatus(QStringLiteral("%1：").arg(m_job.Stopped() ? QStringLiteral("已停止")
                                                             : QStringLiteral("设置完成")) +
                  strText + QStringLiteral("。"));
        return;
    }
    if (m_job.Stopped())
        strText = QStringLiteral("正在停止：已开始的设置将完成。") + strText;
    else if (c.dSecondsLeft)
        strText += QStringLiteral("；预计还需 %1").arg(Duration(*c.dSecondsLeft));
    SetStatus(strText + QStringLiteral("。"));
}

void CBatchDlg::SaveBackup(session::ExchangeId id, session::SBackup backup) {
    // Each room has an address of its own, so no two backups share a folder.
    m_pBackupPool->start(
        [this, id, backup = std::move(backup), history = m_pHistory, nSerial = m_nRunSerial] {
            std::string strError;
            std::filesystem::path saved;
            history->Save(backup, strError, &saved);
            QMetaObject::invokeMethod(
                this,
                [this, id, strError, saved, nSerial] {
                    if (nSerial == m_nRunSerial)
                        m_job.BackupSaved(id, strError, saved);
                },
                Qt::QueuedConnection);
        });
}

void CBatchDlg::EndRun() {
    m_pResultsTimer->stop();
    // A results file that could not be replaced is said once, now.
    const bool bWritten =
        m_job.WriteResults(true) == session::CBatchJob::EWrite::Written && !m_job.ResultsFailed();
    ShowProgress();
    FollowCurrentRow();
    emit RunEnded();
    if (m_bCloseWhenIdle)
        QMetaObject::invokeMethod(this, &CBatchDlg::reject, Qt::QueuedConnection);
    if (!bWritten)
        MessageBoxShow(QStringLiteral("结果文件无法写入：") + Q(m_job.ResultsError()));
}

int CBatchDlg::RoomOfRow(int nRow) const {
    const QModelIndex index = m_pFilter->index(nRow, 0);
    if (!m_bRoomsAreRows || !index.isValid())
        return -1;
    const int nRoom = m_pFilter->mapToSource(index).row();
    return nRoom >= 0 && static_cast<std::size_t>(nRoom) < m_rooms.size() ? nRoom : -1;
}

QString CBatchDlg::CellText(int nRow, int nColumn) const {
    return m_pFilter->index(nRow, nColumn).data().toString();
}

int CBatchDlg::RowCount() const {
    return m_pFilter->rowCount();
}

void CBatchDlg::ShowFailedOnly(bool bFailedOnly) {
    if (m_pFailedOnly->isChecked() != bFailedOnly)
        m_pFailedOnly->setChecked(bFailedOnly);
    m_pFilter->SetFailedOnly(bFailedOnly);
}

void CBatchDlg::OnRoomChanged(std::size_t nRoom) {
    if (!m_bRoomsAreRows || nRoom >= m_rooms.size())
        return;
    const session::SBatchRoom& room = m_rooms[nRoom];
    const bool bEnded = room.ePhase == EBatchPhase::Done;
    m_pModel->SetOutcome(
        static_cast<int>(nRoom), room.bRun ? words::PhaseText(room) : QStringLiteral("已成功，不重试"),
        bEnded ? words::RoomOutcomeText(room) : QString(),
        bEnded && room.bRun && room.result ? QString::number(room.dSeconds, 'f', 1) : QString(),
        room.bRun ? ToneOf(room) : ETone::Ok);
}

// "诊断" serves a finished room that did not answer.
void CBatchDlg::FollowCurrentRow() {
    const int nRoom = RoomOfRow(m_pTable->currentIndex().row());
    bool bSilent = false;
    if (nRoom >= 0 && !IsBusy())
        bSilent = session::FailedWithoutReply(m_rooms[static_cast<std::size_t>(nRoom)]);
    Button(kDiagnose)->setEnabled(bSilent);
}

void CBatchDlg::ShowRoomResult(int nRow) {
    const int nRoom = RoomOfRow(nRow);
    if (nRoom < 0)
        return;
    const session::SBatchRoom& room = m_rooms[static_cast<std::size_t>(nRoom)];
    if (room.ePhase != EBatchPhase::Done && room.bRun)
        return;
    if (!room.result || room.result->fields.empty()) {
        MessageBoxShow(
            QStringLiteral("“%1”没有读回结果：%2").arg(Q(room.strRoom), words::RoomOutcomeText(room)));
        return;
    }
    delete m_pResultDlg;
    m_pResultDlg = new CSetResultDlg(room.result->fields, Q(room.strAddress), this);
    m_pResultDlg->show();
}

void CBatchDlg::SetBusy(EState eState) {
    m_eState = eState;
    const bool bIdle = eState == EState::Idle;
    for (const char* pszText : {kAdd, kRemove, kOpen, kCheck, kStart, kRetry})
        Button(pszText)->setEnabled(bIdle);
    Button(kStop)->setEnabled(!bIdle);
    // The table is the plan being run: while busy nothing of it changes.
    m_pModel->SetEditable(bIdle);
    m_pTable->setSortingEnabled(bIdle);
    m_pFields->SetLocked(!bIdle);
    m_pParallel->setEnabled(bIdle);
    m_pResults->setEnabled(bIdle);
    m_pBrowseResults->setEnabled(bIdle);
    FollowCurrentRow();
}

void CBatchDlg::SetStatus(const QString& strText) {
    m_pStatus->setText(strText);
    m_pStatus->setAccessibleDescription(strText);
}
