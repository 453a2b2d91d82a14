#include "BatchDlg.h"

#include "BackupSaver.h"
#include "EngineHost.h"
#include "MainConfigDlg.h"
#include "MessageBox.h"
#include "OutputFiles.h"
#include "ProgramValues.h"
#include "ScreenFit.h"
#include "SetResultDlg.h"
#include "Words.h"

#include "Csv.h"
#include "Database.h"
#include "History.h"
#include "Utf8Path.h"
#include "codec/Address.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>

#include <algorithm>

using session::EBatchPhase;
using words::Q;

CBatchDlg::CBatchDlg(CMainConfigDlg& window, QWidget* pParent) : CBatchDlg(window, SOptions{}, pParent) {}

CBatchDlg::CBatchDlg(CMainConfigDlg& window, const SOptions& options, QWidget* pParent)
    : QDialog(pParent), m_window(window), m_options(options),
      m_ui(*this, [this] { return m_pfnChooseFile(EFileChoice::Snapshot); }) {
    setWindowTitle(ProgramTitle() + QStringLiteral(" - 批量设置"));
    connect(Button(kAdd), &QPushButton::clicked, this, [this] {
        const int nRow = AddRoom({}, {});
        const QModelIndex index = m_ui.m_pFilter->mapFromSource(m_ui.m_pModel->index(nRow, kColRoom));
        m_ui.m_pTable->setCurrentIndex(index);
        m_ui.m_pTable->edit(index);
    });
    connect(Button(kRemove), &QPushButton::clicked, this, &CBatchDlg::RemoveSelectedRooms);
    for (const auto& [nButton, eChoice, pfnUse] :
         {std::tuple{kOpen, EFileChoice::OpenPlan, &CBatchDlg::OpenPlan},
          std::tuple{kSave, EFileChoice::SavePlan, &CBatchDlg::SavePlan}})
        connect(Button(nButton), &QPushButton::clicked, this, [this, eChoice, pfnUse] {
            if (const QString strPath = m_pfnChooseFile(eChoice); !strPath.isEmpty())
                (this->*pfnUse)(strPath);
        });
    connect(m_ui.m_pBrowseResults, &QPushButton::clicked, this, [this] {
        const QString strPath = m_pfnChooseFile(EFileChoice::Results);
        if (!strPath.isEmpty())
            m_ui.m_pResults->setText(WithSuffix(strPath, QStringLiteral(".csv")));
    });
    connect(Button(kCheck), &QPushButton::clicked, this, [this] { StartCheck(); });
    connect(Button(kStart), &QPushButton::clicked, this, [this] { StartRun(false); });
    connect(Button(kStop), &QPushButton::clicked, this, &CBatchDlg::Stop);
    connect(Button(kRetry), &QPushButton::clicked, this, [this] { StartRun(true); });
    connect(Button(kDiagnose), &QPushButton::clicked, this, [this] {
        const int nRoom = RoomOfRow(m_ui.m_pTable->currentIndex().row());
        if (nRoom >= 0)
            emit DiagnoseAddress(
                Q(codec::BytesToAddress(m_rooms[static_cast<std::size_t>(nRoom)].plan.address)));
    });
    connect(m_ui.m_pClose, &QPushButton::clicked, this, &CBatchDlg::reject);
    connect(m_ui.m_pFailedOnly, &QCheckBox::toggled, this, &CBatchDlg::ShowFailedOnly);
    connect(m_ui.m_pTable, &QTableView::activated, this,
            [this](const QModelIndex& index) { ShowRoomResult(index.row()); });
    connect(m_ui.m_pTable->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CBatchDlg::FollowCurrentRow);
    connect(m_ui.m_pModel, &CBatchTableModel::Edited, this, &CBatchDlg::PlanChanged);

    m_pfnChooseFile = [this](EFileChoice eChoice) { return m_ui.ChooseFile(eChoice); };

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
    m_pBackups = new CBackupSaver(
        [this](session::ExchangeId id, const std::string& strError, const std::filesystem::path& saved) {
            m_job.BackupSaved(id, strError, saved);
        },
        this);
    m_job.m_pfnSaveBackup = [this](session::ExchangeId id, session::SBackup backup) {
        m_pBackups->Save(id, std::move(backup));
    };
    SetBusy(EState::Idle);
    FollowCurrentRow();
    resize(860, 600);
    // A laptop at 150 % or a projector mirror keeps every button in view.
    FitToScreen(*this, AvailableScreenSize(*this));
}

CBatchDlg::~CBatchDlg() {
    // A backup being saved reports to this dialog: it ends first.
    m_pBackups->WaitForDone();
    m_pTimer->stop();
    LeaveEngine();
}

int CBatchDlg::AddRoom(const QString& strRoom, const QString& strAddress, const QString& strNewIp) {
    if (IsBusy())
        return -1;
    const int nRow = m_ui.m_pModel->AddRow({{"room", strRoom.trimmed().toStdString()},
                                            {"address", strAddress.trimmed().toStdString()},
                                            {"controller_ip", strNewIp.trimmed().toStdString()}});
    PlanChanged();
    return m_ui.m_pFilter->mapFromSource(m_ui.m_pModel->index(nRow, 0)).row();
}

void CBatchDlg::AddAddresses(const QStringList& addresses) {
    // A controller already in the table is not added twice.
    QSet<QString> known;
    for (const CBatchTableModel::SRow& row : m_ui.m_pModel->Rows())
        if (row.cells.count("address"))
            known.insert(Q(row.cells.at("address")));
    for (const QString& strAddress : addresses)
        if (!known.contains(strAddress.trimmed()))
            AddRoom({}, strAddress);
    m_ui.SetStatus(QStringLiteral("房间共 %1 个。").arg(m_ui.m_pModel->rowCount()));
}

void CBatchDlg::RemoveSelectedRooms() {
    if (IsBusy())
        return;
    std::vector<int> rows;
    for (const QModelIndex& index : m_ui.m_pTable->selectionModel()->selectedRows())
        rows.push_back(m_ui.m_pFilter->mapToSource(index).row());
    m_ui.m_pModel->RemoveRows(rows);
    PlanChanged();
}

void CBatchDlg::PlanChanged() {
    // What was checked or run was another plan: its words go with it.
    if (m_bRoomsAreRows || !m_ui.m_pReport->toPlainText().isEmpty()) {
        m_bRoomsAreRows = false;
        m_ui.m_pModel->ClearOutcomes();
        m_ui.m_pReport->clear();
    }
    m_ui.m_pProgress->setRange(0, 1);
    m_ui.m_pProgress->setValue(0);
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
            MessageBoxShow(
                QStringLiteral("无法打开计划文件 %1：%2").arg(strPath, words::BeyondHeaderText(plan, row)));
            return false;
        }
    std::vector<CBatchTableModel::Cells> rows;
    for (const session::SPlanRow& row : plan.rows)
        rows.push_back(row.cells);
    m_ui.m_pModel->SetRows(std::move(rows));
    m_ui.m_pTable->sortByColumn(-1, Qt::AscendingOrder);
    PlanChanged();
    m_rooms.clear();
    const QFileInfo info(strPath);
    m_strPlanFolder = info.absolutePath();
    m_strPlanPath = info.absoluteFilePath();
    // Each plan has results of its own beside it, so a second plan in the
    // folder does not replace the first one's.
    m_ui.m_pResults->setText(
        QFileInfo(info.absoluteDir(), info.completeBaseName() + QStringLiteral("-results.csv")).filePath());
    m_ui.SetStatus(QStringLiteral("已打开计划，房间共 %1 个。").arg(m_ui.m_pModel->rowCount()));
    return true;
}

std::vector<std::vector<std::string>> CBatchDlg::PlanRows(bool bSaving) const {
    // A run takes the rooms in the model's order (one room a row); a saved
    // plan keeps the order the table shows, hidden rows included.
    std::vector<session::PlanCells> cells;
    for (const CBatchTableModel::SRow& row : m_ui.m_pModel->Rows())
        cells.push_back(row.cells);
    std::vector<std::size_t> order;
    const bool bFailedOnly = m_ui.m_pFilter->FailedOnly();
    if (bSaving && bFailedOnly)
        m_ui.m_pFilter->SetFailedOnly(false);
    for (int nRow = 0; nRow < m_ui.m_pModel->rowCount(); ++nRow)
        order.push_back(static_cast<std::size_t>(
            bSaving ? m_ui.m_pFilter->mapToSource(m_ui.m_pFilter->index(nRow, 0)).row() : nRow));
    if (bSaving && bFailedOnly)
        m_ui.m_pFilter->SetFailedOnly(true);
    return session::PlanRowsOf(cells, m_ui.m_pFields->Ticked(bSaving), order);
}

bool CBatchDlg::SavePlan(const QString& strTyped) {
    const QString strPath =
        AllowedOutput(strTyped, QStringLiteral(".csv"), {m_ui.m_pResults->text().trimmed()});
    if (strPath.isEmpty())
        return false;
    std::string text = "\xEF\xBB\xBF";
    for (const auto& row : PlanRows(true))
        text += session::CsvLine(row);
    if (!WriteOutput(strPath, text, QStringLiteral("无法保存计划文件：")))
        return false;
    m_strPlanPath = QFileInfo(strPath).absoluteFilePath();
    m_ui.SetStatus(QStringLiteral("计划已保存到 %1。").arg(strPath));
    return true;
}

bool CBatchDlg::BuildPlan(session::SPlanTable& plan) {
    if (m_ui.m_pModel->rowCount() == 0) {
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
    const QStringList lines = words::PlanRefusalLines(problems, m_rooms);
    if (lines.isEmpty())
        return true;
    m_ui.m_pReport->setPlainText(lines.join(QLatin1Char('\n')));
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
    m_ui.m_pModel->ClearOutcomes();
    if (!RefuseBadPlan(m_job.PlanProblems()))
        return false;
    session::CBatchCheck& check = m_job.NewCheck();
    JoinEngine(check, std::max(16, m_ui.m_pParallel->value()));
    m_ui.m_pReport->clear();
    SetBusy(EState::Checking);
    m_ui.m_pModel->ShowChecking();
    m_ui.m_pProgress->setRange(0, 0); // reads have no count worth showing: a busy bar
    m_ui.SetStatus(QStringLiteral("正在读取 %1 个房间（不发送任何设置）…").arg(m_rooms.size()));
    check.Start(m_window.Engines().Engine(), m_nClient, Now());
    m_pTimer->start();
    return true;
}

void CBatchDlg::EndCheck() {
    const std::vector<session::SRoomCheck> checks = m_job.CheckResults();
    QStringList report;
    std::size_t nWritable = 0;
    for (std::size_t i = 0; i < m_rooms.size(); ++i) {
        const QStringList problems = words::CheckProblems(checks[i]);
        nWritable += problems.isEmpty();
        report << words::CheckReportLines(m_rooms[i], checks[i], problems);
        m_ui.m_pModel->ShowCheck(static_cast<int>(i), problems);
    }
    m_ui.m_pReport->setPlainText(report.join(QLatin1Char('\n')));
    m_ui.m_pProgress->setRange(0, 1);
    m_ui.m_pProgress->setValue(1);
    m_ui.SetStatus(QStringLiteral("检查完成：%1 个房间可以设置，%2 个不能。")
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
    const QString strTyped = m_ui.m_pResults->text().trimmed();
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
    m_ui.m_pResults->setText(strResults);
    const std::filesystem::path resultsPath = PathFromUtf8(strResults.toStdString());
    if (!bRetry && !m_job.ResultsOfThisPlan(resultsPath) &&
        !MessageBoxAsk(QStringLiteral("结果文件%1已有其他计划的结果。是否替换？").arg(strResults), true))
        return false;
    // The results file explains a failure in the window's words; its
    // outcome column keeps the codes a retry reads.
    if (!m_job.CreateResults(resultsPath, &words::ResultsDifferences)) {
        MessageBoxShow(QStringLiteral("无法写入结果文件：") + words::FileErrorText(m_job.ResultsCause()));
        return false;
    }

    auto history = std::make_shared<session::CHistory>(CDatabase::Folder());
    m_pBackups->NewRun(history);
    JoinEngine(m_job.Observer(), m_ui.m_pParallel->value());
    SetBusy(EState::Running);
    for (std::size_t i = 0; i < m_rooms.size(); ++i)
        OnRoomChanged(i);
    m_job.Start(m_window.Engines().Engine(), m_nClient, history);
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
    m_ui.m_pProgress->setRange(0, static_cast<int>(std::max<std::size_t>(c.nRooms, 1)));
    m_ui.m_pProgress->setValue(static_cast<int>(c.nEnded));
    m_ui.SetStatus(words::RunStatusText(c, m_eState == EState::Running, m_job.Stopped()));
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
        MessageBoxShow(QStringLiteral("结果文件无法写入：") + words::FileErrorText(m_job.ResultsCause()));
}

int CBatchDlg::RoomOfRow(int nRow) const {
    const QModelIndex index = m_ui.m_pFilter->index(nRow, 0);
    if (!m_bRoomsAreRows || !index.isValid())
        return -1;
    const int nRoom = m_ui.m_pFilter->mapToSource(index).row();
    return nRoom >= 0 && static_cast<std::size_t>(nRoom) < m_rooms.size() ? nRoom : -1;
}

QString CBatchDlg::CellText(int nRow, int nColumn) const {
    return m_ui.m_pFilter->index(nRow, nColumn).data().toString();
}

int CBatchDlg::RowCount() const {
    return m_ui.m_pFilter->rowCount();
}

void CBatchDlg::ShowFailedOnly(bool bFailedOnly) {
    if (m_ui.m_pFailedOnly->isChecked() != bFailedOnly)
        m_ui.m_pFailedOnly->setChecked(bFailedOnly);
    m_ui.m_pFilter->SetFailedOnly(bFailedOnly);
}

void CBatchDlg::OnRoomChanged(std::size_t nRoom) {
    if (!m_bRoomsAreRows || nRoom >= m_rooms.size())
        return;
    m_ui.m_pModel->ShowRoom(static_cast<int>(nRoom), m_rooms[nRoom]);
}

// "诊断" serves a finished room that did not answer.
void CBatchDlg::FollowCurrentRow() {
    const int nRoom = RoomOfRow(m_ui.m_pTable->currentIndex().row());
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
    m_ui.SetIdle(bIdle);
    FollowCurrentRow();
}
