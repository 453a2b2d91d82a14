#include "BatchDlg.h"

#include "FileFolders.h"
#include "MainConfigDlg.h"
#include "MessageBox.h"
#include "ModelSearchDlg.h"
#include "OutputFiles.h"
#include "ProgramValues.h"
#include "SetResultDlg.h"

#include "Csv.h"
#include "Database.h"
#include "FileSystem.h"
#include "History.h"
#include "Statements.h"
#include "Utf8Path.h"
#include "codec/Address.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QTableWidget>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace {

using session::EBatchOutcome;
using session::EBatchPhase;

// The plan column each ticked field fills.
const char* const kFieldColumns[CBatchDlg::kFields] = {"server_ip",  "mask",       "gateway",
                                                       "lock_type",  "lock_time",  "one_key",
                                                       "projector1", "projector2", "snapshot"};
const char* const kFieldLabels[CBatchDlg::kFields] = {
    "服务器IP", "子网掩码", "网关IP", "电控锁类型", "电控锁时间", "一键通", "投影机1", "投影机2", "配置文件"};
// Columns the table shows; any other plan column travels with its row.
const std::set<std::string> kShownColumns{"room", "address", "controller_ip"};
constexpr int kExtraRole = Qt::UserRole + 1;

QString Q(const std::string& str) {
    return QString::fromStdString(str);
}

QString IssueText(const session::SSettingIssue& issue) {
    using session::ESettingProblem;
    QString strWhy;
    switch (issue.eProblem) {
    case ESettingProblem::MaskNotContiguous:
        strWhy = QStringLiteral("子网掩码不连续");
        break;
    case ESettingProblem::MaskPrefixOutOfRange:
        strWhy = QStringLiteral("子网掩码须在 /1 至 /30 之间");
        break;
    case ESettingProblem::AddressUnspecified:
        strWhy = QStringLiteral("0.0.0.0 不能作中控地址");
        break;
    case ESettingProblem::AddressBroadcast:
        strWhy = QStringLiteral("广播地址不能作中控地址");
        break;
    case ESettingProblem::AddressMulticast:
        strWhy = QStringLiteral("组播地址不能作中控地址");
        break;
    case ESettingProblem::AddressReserved:
        strWhy = QStringLiteral("保留地址（240.0.0.0 及以上）不能作中控地址");
        break;
    case ESettingProblem::AddressIsNetwork:
        strWhy = QStringLiteral("子网的网络地址不能作中控地址");
        break;
    case ESettingProblem::AddressIsSubnetBroadcast:
        strWhy = QStringLiteral("子网的广播地址不能作中控地址");
        break;
    case ESettingProblem::GatewayOutsideSubnet:
        strWhy = QStringLiteral("网关不在中控的子网内");
        break;
    case ESettingProblem::LockTimeWithLevelLock:
        strWhy = QStringLiteral("电平型电控锁没有电控锁时间");
        break;
    case ESettingProblem::None:
        break;
    }
    return CSetResultDlg::FieldLabel(issue.strField) + QStringLiteral("：") + strWhy;
}

// Why a row was refused before anything was sent, in the window's words.
QString ValueProblemText(const session::SValueProblem& p) {
    using session::EValueProblem;
    QString strWhy;
    switch (p.eProblem) {
    case EValueProblem::NotAnAddress:
        strWhy = QStringLiteral("“%1”不是有效的IP地址").arg(Q(p.strValue));
        break;
    case EValueProblem::BrokenRule:
        return IssueText({p.strField, p.eRule});
    case EValueProblem::NotPulseOrLevel:
        strWhy = QStringLiteral("“%1”应为脉冲型或电平型").arg(Q(p.strValue));
        break;
    case EValueProblem::BadLockTime:
        strWhy = QStringLiteral("“%1”应为 0.5 或 1 至 120 的整数秒").arg(Q(p.strValue));
        break;
    case EValueProblem::NotOnOrOff:
        strWhy = QStringLiteral("“%1”应为开或关").arg(Q(p.strValue));
        break;
    case EValueProblem::NoSuchModel:
        strWhy = QStringLiteral("投影机库中没有该型号“%1”").arg(Q(p.strValue));
        break;
    case EValueProblem::LibraryRowRule:
        strWhy = QStringLiteral("投影机库中“%1”一行不符合保存规则：%2")
                     .arg(Q(p.strValue), QString::fromUtf8(library::RuleMessage(p.eLibraryRule)));
        break;
    case EValueProblem::CodesTooLong:
        strWhy = QStringLiteral("“%1”的代码过长").arg(Q(p.strValue));
        break;
    case EValueProblem::LibraryUnreadable:
        strWhy = QStringLiteral("无法读取投影机库：") + Q(p.strDetail);
        break;
    case EValueProblem::SnapshotUnreadable:
        strWhy = QStringLiteral("无法读取“%1”：%2").arg(Q(p.strValue), Q(p.strDetail));
        break;
    case EValueProblem::SnapshotIncomplete:
        strWhy = QStringLiteral("“%1”缺少部分设置（%2）").arg(Q(p.strValue), Q(p.strDetail));
        break;
    case EValueProblem::TooManyCells:
        return QStringLiteral("这一行有 %1 个单元格，标题行只有 %2 列").arg(Q(p.strValue), Q(p.strDetail));
    case EValueProblem::None:
        break;
    }
    const QString strField = p.strField == "snapshot"  ? QStringLiteral("配置文件")
                             : p.strField == "address" ? QStringLiteral("现地址")
                                                       : CSetResultDlg::FieldLabel(p.strField);
    return strField + QStringLiteral("：") + strWhy;
}

// The column names a plan may use, for a header that was refused.
QString AcceptedColumns() {
    QStringList labels, names;
    for (const std::string& name : session::kPlanColumnLabels)
        labels << Q(name);
    for (const std::string& name : session::kPlanColumns)
        names << Q(name);
    return QStringLiteral("。可用的列名：%1（或 %2）")
        .arg(labels.join(QStringLiteral("、")), names.join(QStringLiteral("、")));
}

QString PlanProblemText(const session::SPlanProblem& p, const QString& strRoom, const QString& strOther) {
    switch (p.eKind) {
    case session::SPlanProblem::AddressTwice:
        return QStringLiteral("“%1”的地址 %2 与“%3”重复").arg(strRoom, Q(p.strAddress), strOther);
    case session::SPlanProblem::NewAddressTwice:
        return QStringLiteral("“%1”的新中控IP %2 与“%3”的相同").arg(strRoom, Q(p.strAddress), strOther);
    case session::SPlanProblem::NewAddressIsOtherRow:
        break;
    }
    return QStringLiteral("“%1”的新中控IP %2 是“%3”的地址").arg(strRoom, Q(p.strAddress), strOther);
}

QString PhaseText(const session::SBatchRoom& room) {
    switch (room.ePhase) {
    case EBatchPhase::Waiting:
        return QStringLiteral("等待");
    case EBatchPhase::Reading:
        return QStringLiteral("读取中");
    case EBatchPhase::Setting:
        return QStringLiteral("设置中");
    case EBatchPhase::Done:
        break;
    }
    return room.eOutcome == EBatchOutcome::NotRun ? QStringLiteral("未执行") : QStringLiteral("完成");
}

QString OutcomeText(const session::SBatchRoom& room) {
    if (room.eOutcome == EBatchOutcome::Ok)
        return QStringLiteral("成功");
    if (room.eOutcome == EBatchOutcome::NotRun)
        return QStringLiteral("未执行");
    if (room.notes->bRefused) {
        // Refused after the read: nothing went out, a failure like any other.
        QStringList issues;
        for (const session::SSettingIssue& issue : room.notes->issues)
            issues << IssueText(issue);
        return QStringLiteral("失败：") + issues.join(QStringLiteral("；")) + QStringLiteral("，未发送");
    }
    if (!room.result)
        return QStringLiteral("失败：") + ValueProblemText(room.problem);
    const session::SWriteResult& r = *room.result;
    switch (r.eOutcome) {
    case session::EWriteOutcome::Different: {
        QStringList fields;
        for (const session::SFieldResult& f : r.fields)
            if (!f.bEqual)
                fields << CSetResultDlg::FieldLabel(f.strField);
        return QStringLiteral("读回不同：") + fields.join(QStringLiteral("、"));
    }
    case session::EWriteOutcome::NoReadBack:
        return QStringLiteral("设置后无应答");
    case session::EWriteOutcome::Confirmed:
        return QStringLiteral("成功");
    case session::EWriteOutcome::NotSent:
        break;
    }
    switch (r.eStop) {
    case session::EWriteStop::AddressTaken:
        return QStringLiteral("失败：新地址已有其他中控应答，未发送");
    case session::EWriteStop::AddressInUse:
        return QStringLiteral("失败：该地址正在进行其他操作，未发送");
    case session::EWriteStop::NoAnswer:
        return QStringLiteral("失败：该中控无信息返回，未发送");
    case session::EWriteStop::ReadIncomplete:
        return QStringLiteral("失败：") + Q(r.present.MissingText()) + QStringLiteral("，未发送");
    case session::EWriteStop::Refused:
        return QStringLiteral("失败：") + Q(r.strRefusal);
    case session::EWriteStop::None:
        break;
    }
    return QStringLiteral("失败：未发送");
}

// A room an earlier run of the plan moved: found at its new address, it was
// written there; what was still to change is named.
QString MovedOutcomeText(const session::SBatchRoom& room) {
    if (room.eOutcome != EBatchOutcome::Ok)
        return QStringLiteral("已在新地址 %1；").arg(Q(room.strMovedTo)) + OutcomeText(room);
    QStringList fields;
    for (const std::string& field : session::FieldsToChange(*room.result))
        fields << CSetResultDlg::FieldLabel(field);
    return QStringLiteral("成功（已在新地址 %1，%2）")
        .arg(Q(room.strMovedTo), fields.isEmpty()
                                     ? QStringLiteral("无需更改")
                                     : QStringLiteral("写入：") + fields.join(QStringLiteral("、")));
}

// A finished room's outcome as the table and the results file say it.
QString RoomOutcomeText(const session::SBatchRoom& room) {
    return room.strMovedTo.empty() || !room.result ? OutcomeText(room) : MovedOutcomeText(room);
}

QTableWidgetItem* Cell(const QString& strText, bool bEditable) {
    auto* pItem = new QTableWidgetItem(strText);
    if (!bEditable)
        pItem->setFlags(pItem->flags() & ~Qt::ItemIsEditable);
    return pItem;
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
    pRoomButtons->addStretch(1);
    for (const char* pszText : {kAdd, kRemove, kOpen, kSave})
        pRoomButtons->addWidget(AddButton(pszText, this));
    pLayout->addLayout(pRoomButtons);

    m_pTable = new QTableWidget(0, kColumns, this);
    m_pTable->setAccessibleName(QStringLiteral("房间"));
    pRoomsLabel->setBuddy(m_pTable);
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("房间"), QStringLiteral("现地址"),
                                         QStringLiteral("新中控IP"), QStringLiteral("状态"),
                                         QStringLiteral("结果"), QStringLiteral("用时(秒)")});
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Typing or F2 edits a cell; double-click and Enter open a finished room's result.
    m_pTable->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pTable->horizontalHeader()->setSectionResizeMode(kColOutcome, QHeaderView::Stretch);
    // Rows keep the order they came in until a header is clicked.
    m_pTable->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_pTable->setSortingEnabled(true);
    pLayout->addWidget(m_pTable, 2);

    pLayout->addWidget(BuildFields());

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
    if (CDatabase::IsOpen())
        m_pResults->setText(Q(Utf8FromPath(CDatabase::Folder() / "results.csv")));
    pRunRow->addWidget(pParallelLabel);
    pRunRow->addWidget(m_pParallel);
    pRunRow->addWidget(pResultsLabel);
    pRunRow->addWidget(m_pResults, 1);
    m_pBrowseResults = new QPushButton(QString::fromUtf8(kBrowseResults), this);
    m_pBrowseResults->setAccessibleName(m_pBrowseResults->text());
    pRunRow->addWidget(m_pBrowseResults);
    pLayout->addLayout(pRunRow);

    auto* pActions = new QHBoxLayout;
    m_pStatus = new QLabel(this);
    m_pStatus->setAccessibleName(QStringLiteral("状态"));
    pActions->addWidget(m_pStatus, 1);
    for (const char* pszText : {kCheck, kStart, kStop, kRetry})
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
    pReportLabel->setBuddy(m_pReport);
    pLayout->addWidget(pReportLabel);
    pLayout->addWidget(m_pReport, 1);

    connect(Button(kAdd), &QPushButton::clicked, this, [this] {
        const int nRow = AddRoom({}, {});
        m_pTable->setCurrentCell(nRow, kColRoom);
        m_pTable->editItem(m_pTable->item(nRow, kColRoom));
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
    connect(pClose, &QPushButton::clicked, this, &CBatchDlg::reject);
    connect(m_pTable, &QTableWidget::activated, this,
            [this](const QModelIndex& index) { ShowRoomResult(index.row()); });

    m_pfnChooseFile = [this](EFileChoice eChoice) {
        const QString strCsv = QStringLiteral("计划文件 (*.csv)");
        using EKind = CFileFolders::EKind;
        const EKind eKind = eChoice == EFileChoice::Snapshot ? EKind::Snapshot : EKind::Plan;
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
            // A typed results file starts the dialog where it is; else the plans' folder.
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
    };

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
    connect(m_pResultsTimer, &QTimer::timeout, this, &CBatchDlg::WriteResults);
    // Backups are flushed to disk side by side, off the window's thread:
    // one after another on it they held back the later rooms' Sets (and the
    // window). A few threads already share the disk's flushes; more only
    // cost memory.
    m_pBackupPool = new QThreadPool(this);
    m_pBackupPool->setMaxThreadCount(4);
    SetBusy(EState::Idle);
    resize(820, 640);
}

CBatchDlg::~CBatchDlg() {
    // A backup being saved reports to this dialog: it ends first.
    m_pBackupPool->waitForDone();
    m_pTimer->stop();
    if (m_pEngine)
        m_pEngine->CancelAll();
    if (m_nListenerKey)
        m_window.RemoveDatagramListener(m_nListenerKey);
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

QWidget* CBatchDlg::BuildFields() {
    auto* pBox = new QGroupBox(QStringLiteral("写入的设置（只写入勾选的项；计划中房间自己的值优先）"), this);
    auto* pGrid = new QGridLayout(pBox);
    auto addressEdit = [pBox] {
        auto* pEdit = new QLineEdit(pBox);
        pEdit->setPlaceholderText(QStringLiteral("0.0.0.0"));
        return pEdit;
    };
    auto combo = [pBox](const QStringList& items, bool bEditable) {
        auto* pCombo = new QComboBox(pBox);
        pCombo->setEditable(bEditable);
        pCombo->addItems(items);
        return pCombo;
    };
    QStringList times{QStringLiteral("0.5")};
    for (int i = 1; i <= 120; ++i)
        times << QString::number(i);
    QStringList models;
    try {
        if (CDatabase::IsOpen())
            for (auto pRows = CDatabase::OpenRead(stmt::SelectLibrarySorted()); !pRows->AtEnd();
                 pRows->MoveNext())
                models << Q(pRows->FieldOr("投影机型号", ""));
    } catch (const CDatabaseError&) {
        // The list stays empty; a typed model is still looked up before anything is sent.
    }
    m_pEditors[kServerIp] = addressEdit();
    m_pEditors[kMask] = addressEdit();
    m_pEditors[kGateway] = addressEdit();
    m_pEditors[kLockType] = combo({QStringLiteral("脉冲型"), QStringLiteral("电平型")}, false);
    m_pEditors[kLockTime] = combo(times, false);
    m_pEditors[kOneKey] = combo({QStringLiteral("开"), QStringLiteral("关")}, false);
    m_pEditors[kProjector1] = combo(models, true);
    m_pEditors[kProjector2] = combo(models, true);
    m_pEditors[kSnapshot] = new QLineEdit(pBox);
    for (int n = 0; n < kFields; ++n) {
        m_pTicks[n] = new QCheckBox(QString::fromUtf8(kFieldLabels[n]), pBox);
        m_pTicks[n]->setAccessibleName(m_pTicks[n]->text());
        m_pEditors[n]->setAccessibleName(m_pTicks[n]->text());
        m_pEditors[n]->setEnabled(false);
        connect(m_pTicks[n], &QCheckBox::toggled, m_pEditors[n], &QWidget::setEnabled);
        // Three fields a line: tick box, editor (and its button).
        const int nRow = n / 3, nCol = (n % 3) * 3;
        pGrid->addWidget(m_pTicks[n], nRow, nCol);
        pGrid->addWidget(m_pEditors[n], nRow, nCol + 1);
    }
    auto addSearch = [&](EField eField) {
        auto* pFind = new QPushButton(QStringLiteral("查找…"), pBox);
        pFind->setAccessibleName(pFind->text());
        pFind->setAccessibleDescription(QString::fromUtf8(kFieldLabels[eField]));
        pFind->setAutoDefault(false);
        pFind->setEnabled(false);
        connect(m_pTicks[eField], &QCheckBox::toggled, pFind, &QWidget::setEnabled);
        auto* pCombo = static_cast<QComboBox*>(m_pEditors[eField]);
        connect(pFind, &QPushButton::clicked, this, [this, pCombo] { SearchModel(pCombo); });
        pGrid->addWidget(pFind, eField / 3, (eField % 3) * 3 + 2);
    };
    addSearch(kProjector1);
    addSearch(kProjector2);
    auto* pBrowse = new QPushButton(QStringLiteral("浏览…"), pBox);
    pBrowse->setAccessibleName(pBrowse->text());
    pBrowse->setAccessibleDescription(QString::fromUtf8(kFieldLabels[kSnapshot]));
    pBrowse->setAutoDefault(false);
    pBrowse->setEnabled(false);
    connect(m_pTicks[kSnapshot], &QCheckBox::toggled, pBrowse, &QWidget::setEnabled);
    connect(pBrowse, &QPushButton::clicked, this, [this] {
        const QString strPath = m_pfnChooseFile(EFileChoice::Snapshot);
        if (!strPath.isEmpty())
            static_cast<QLineEdit*>(m_pEditors[kSnapshot])->setText(strPath);
    });
    pGrid->addWidget(pBrowse, kSnapshot / 3, (kSnapshot % 3) * 3 + 2);
    return pBox;
}

// The model search of the code dialog: a keyword, then the models holding
// it (either letter case) fill the list.
void CBatchDlg::SearchModel(QComboBox* pCombo) {
    CModelSearchDlg search(this, &m_strSearchKeyword);
    if (search.exec() != QDialog::Accepted)
        return;
    if (m_strSearchKeyword.empty()) {
        MessageBoxShow(QStringLiteral("查询关键字为空，请重新查询！"));
        return;
    }
    QStringList found;
    try {
        for (auto pRows = CDatabase::OpenRead(stmt::SearchModels(stmt::AsciiUpper(m_strSearchKeyword),
                                                                 stmt::AsciiLower(m_strSearchKeyword)));
             !pRows->AtEnd(); pRows->MoveNext())
            found << Q(pRows->FieldOr("投影机型号", ""));
    } catch (const CDatabaseError& e) {
        MessageBoxShow(Q(DatabaseErrorText(e.Code(), e.Text())));
        return;
    }
    if (found.isEmpty()) {
        MessageBoxShow(QStringLiteral("数据库中没有该型号的投影机！"));
        return;
    }
    pCombo->clear();
    pCombo->addItems(found);
}

int CBatchDlg::AddRoom(const QString& strRoom, const QString& strAddress, const QString& strNewIp) {
    if (IsBusy())
        return -1;
    const bool bSorting = m_pTable->isSortingEnabled();
    m_pTable->setSortingEnabled(false);
    const int nRow = m_pTable->rowCount();
    m_pTable->insertRow(nRow);
    m_pTable->setItem(nRow, kColRoom, Cell(strRoom, true));
    m_pTable->setItem(nRow, kColAddress, Cell(strAddress, true));
    m_pTable->setItem(nRow, kColNewIp, Cell(strNewIp, true));
    for (int nCol : {kColState, kColOutcome, kColSeconds})
        m_pTable->setItem(nRow, nCol, Cell({}, false));
    QTableWidgetItem* pRoom = m_pTable->item(nRow, kColRoom);
    m_pTable->setSortingEnabled(bSorting);
    return pRoom->row();
}

void CBatchDlg::AddAddresses(const QStringList& addresses) {
    // A controller already in the table is not added twice.
    QSet<QString> known;
    for (int nRow = 0; nRow < m_pTable->rowCount(); ++nRow)
        known.insert(m_pTable->item(nRow, kColAddress)->text().trimmed());
    for (const QString& strAddress : addresses)
        if (!known.contains(strAddress))
            AddRoom({}, strAddress);
    SetStatus(QStringLiteral("房间共 %1 个。").arg(m_pTable->rowCount()));
}

void CBatchDlg::RemoveSelectedRooms() {
    if (IsBusy())
        return;
    QList<int> rows;
    for (const QModelIndex& index : m_pTable->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    // The last run's rooms no longer match the table's rows.
    m_roomItems.clear();
    for (int nRow : rows)
        m_pTable->removeRow(nRow);
}

bool CBatchDlg::OpenPlan(const QString& strPath) {
    if (IsBusy())
        return false;
    session::SPlanTable plan;
    session::SPlanFileError error;
    if (!session::ReadPlanFile(strPath.toStdString(), plan, error)) {
        using session::EPlanFileError;
        QString strWhy;
        switch (error.eError) {
        case EPlanFileError::Empty:
            strWhy = QStringLiteral("文件是空的");
            break;
        case EPlanFileError::UnknownColumn:
            strWhy = QStringLiteral("不认识的列“%1”").arg(Q(error.strDetail)) + AcceptedColumns();
            break;
        case EPlanFileError::UnnamedColumn:
            strWhy = QStringLiteral("第 %1 列有值但没有列名").arg(Q(error.strDetail)) + AcceptedColumns();
            break;
        case EPlanFileError::DuplicateColumn:
            strWhy = QStringLiteral("列“%1”出现两次").arg(Q(error.strDetail));
            break;
        case EPlanFileError::NoAddressColumn:
            strWhy = QStringLiteral("缺少 address 列");
            break;
        default:
            strWhy = Q(error.strDetail);
            break;
        }
        MessageBoxShow(QStringLiteral("无法打开计划文件 %1：%2").arg(strPath, strWhy));
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
    m_pTable->setSortingEnabled(false);
    m_roomItems.clear();
    m_pTable->setRowCount(0);
    for (const session::SPlanRow& row : plan.rows) {
        auto cell = [&](const char* column) {
            const auto it = row.cells.find(column);
            return it == row.cells.end() ? QString() : Q(it->second);
        };
        const int nRow = AddRoom(cell("room"), cell("address"), cell("controller_ip"));
        QVariantMap extra;
        for (const auto& [column, value] : row.cells)
            if (!kShownColumns.count(column))
                extra.insert(Q(column), Q(value));
        m_pTable->item(nRow, kColRoom)->setData(kExtraRole, extra);
    }
    m_pTable->setSortingEnabled(true);
    const QFileInfo info(strPath);
    m_strPlanFolder = info.absolutePath();
    m_strPlanPath = info.absoluteFilePath();
    // Each plan has results of its own beside it, so a second plan in the
    // folder does not replace the first one's.
    m_pResults->setText(
        QFileInfo(info.absoluteDir(), info.completeBaseName() + QStringLiteral("-results.csv")).filePath());
    SetStatus(QStringLiteral("已打开计划，房间共 %1 个。").arg(m_pTable->rowCount()));
    return true;
}

std::vector<std::vector<std::string>> CBatchDlg::PlanRows(bool bWithCommon) const {
    std::vector<std::string> header{"room", "address", "controller_ip"};
    std::vector<QVariantMap> extras;
    for (int nRow = 0; nRow < m_pTable->rowCount(); ++nRow) {
        extras.push_back(m_pTable->item(nRow, kColRoom)->data(kExtraRole).toMap());
        for (const QString& strColumn : extras.back().keys())
            if (std::find(header.begin(), header.end(), strColumn.toStdString()) == header.end())
                header.push_back(strColumn.toStdString());
    }
    std::map<std::string, std::string> common;
    if (bWithCommon) {
        for (int n = 0; n < kFields; ++n) {
            if (!m_pTicks[n]->isChecked())
                continue;
            QString strValue;
            if (auto* pEdit = qobject_cast<QLineEdit*>(m_pEditors[n]))
                strValue = pEdit->text().trimmed();
            else if (auto* pCombo = qobject_cast<QComboBox*>(m_pEditors[n]))
                strValue = pCombo->currentText().trimmed();
            if (n == kSnapshot && !strValue.isEmpty())
                strValue = QFileInfo(strValue).absoluteFilePath();
            // A ticked field left empty is still written: its check says so.
            common[kFieldColumns[n]] = strValue.isEmpty() ? std::string("?") : strValue.toStdString();
            if (std::find(header.begin(), header.end(), kFieldColumns[n]) == header.end())
                header.push_back(kFieldColumns[n]);
        }
    }
    std::vector<std::vector<std::string>> rows{header};
    for (int nRow = 0; nRow < m_pTable->rowCount(); ++nRow) {
        std::vector<std::string> row;
        for (const std::string& column : header) {
            std::string value;
            if (column == "room")
                value = m_pTable->item(nRow, kColRoom)->text().trimmed().toStdString();
            else if (column == "address")
                value = m_pTable->item(nRow, kColAddress)->text().trimmed().toStdString();
            else if (column == "controller_ip")
                value = m_pTable->item(nRow, kColNewIp)->text().trimmed().toStdString();
            else
                value = extras[static_cast<std::size_t>(nRow)].value(Q(column)).toString().toStdString();
            // The room's own value wins over the common one.
            if (value.empty() && common.count(column))
                value = common[column];
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
    for (const auto& row : PlanRows(false))
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
    if (m_pTable->rowCount() == 0) {
        MessageBoxShow(QStringLiteral("房间列表是空的，请先加入房间！"));
        return false;
    }
    session::SPlanFileError error;
    if (!session::PlanFromRows(PlanRows(true), plan, error)) {
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
        lines << PlanProblemText(p, roomName(p.nLine), roomName(p.nOtherLine));
    for (const session::SBatchRoom& room : m_rooms)
        if (room.bRun && !room.bPrepared)
            lines << QStringLiteral("“%1”：%2").arg(Q(room.strRoom), ValueProblemText(room.problem));
    if (lines.isEmpty())
        return true;
    m_pReport->setPlainText(lines.join(QLatin1Char('\n')));
    MessageBoxShow(QStringLiteral("计划有误，未发送任何设置：\n") + lines.join(QLatin1Char('\n')));
    return false;
}

void CBatchDlg::MakeEngine(session::ISessionObserver& observer, int nMaxRunning) {
    session::SSessionTiming timing;
    timing.nTickMs = m_options.nTickMs;
    timing.dPauseScale = m_options.dPauseScale;
    timing.nMaxRunning = nMaxRunning;
    timing.nReadAttempts = 2;
    m_pEngine = std::make_unique<session::CSessionEngine>(static_cast<session::IDatagramTransport&>(*this),
                                                          observer, timing);
    m_pEngine->ShareAddressLocks(m_window.AddressLocks());
    m_clock.start();
    if (!m_nListenerKey)
        m_nListenerKey = m_window.AddDatagramListener([this](const std::uint8_t* pData, std::size_t nLength) {
            if (m_pEngine)
                m_pEngine->OnDatagram(pData, nLength, Now());
        });
}

bool CBatchDlg::StartCheck() {
    if (IsBusy())
        return false;
    session::SPlanTable plan;
    if (!BuildPlan(plan))
        return false;
    m_rooms = session::RoomsFromPlan(plan, PathFromUtf8(m_strPlanFolder.toStdString()));
    if (!RefuseBadPlan(session::CheckAddresses(m_rooms)))
        return false;
    m_roomItems.clear();
    for (int nRow = 0; nRow < m_pTable->rowCount(); ++nRow)
        m_roomItems.push_back(m_pTable->item(nRow, kColRoom));
    m_pCheck = std::make_unique<session::CBatchCheck>(m_rooms);
    MakeEngine(*m_pCheck, std::max(16, m_pParallel->value()));
    m_pReport->clear();
    SetBusy(EState::Checking);
    for (int nRow = 0; nRow < m_pTable->rowCount(); ++nRow) {
        m_pTable->item(nRow, kColState)->setText(QStringLiteral("检查中"));
        m_pTable->item(nRow, kColOutcome)->setText({});
        m_pTable->item(nRow, kColSeconds)->setText({});
    }
    FitColumns();
    SetStatus(QStringLiteral("正在读取 %1 个房间（不发送任何设置）…").arg(m_rooms.size()));
    m_pCheck->Start(*m_pEngine, Now());
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
        QStringList problems;
        if (c.bNoReply)
            problems << QStringLiteral("无应答");
        else if (!c.strMissing.empty())
            problems << Q(c.strMissing);
        for (const session::SSettingIssue& issue : c.issues)
            problems << IssueText(issue);
        if (c.bAddressTaken)
            problems << QStringLiteral("新地址已有其他中控应答");
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
        const int nRow = RowOf(i);
        m_pTable->item(nRow, kColState)->setText(QStringLiteral("已检查"));
        m_pTable->item(nRow, kColOutcome)
            ->setText(bWritable ? QStringLiteral("可以设置")
                                : QStringLiteral("不能设置：") + problems.join(QStringLiteral("；")));
    }
    m_pReport->setPlainText(report.join(QLatin1Char('\n')));
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
    session::EarlierResults earlier;
    if (bRetry) {
        if (m_rooms.empty() || !m_pResultsFile) {
            MessageBoxShow(QStringLiteral("还没有设置过，没有可重试的房间！"));
            return false;
        }
        for (const session::SBatchRoom& room : m_rooms)
            earlier.push_back(session::ResultLine(room));
    }
    const QString strTyped = m_pResults->text().trimmed();
    if (strTyped.isEmpty()) {
        MessageBoxShow(QStringLiteral("请填写结果文件！"));
        return false;
    }
    std::vector<session::SBatchRoom> rooms = session::RoomsFromPlan(
        plan, PathFromUtf8(m_strPlanFolder.toStdString()), bRetry ? &earlier : nullptr);
    if (bRetry && std::none_of(rooms.begin(), rooms.end(), [](const auto& r) { return r.bRun; })) {
        MessageBoxShow(QStringLiteral("每个房间都已设置成功，没有要重试的房间。"));
        return false;
    }
    m_rooms = std::move(rooms);
    if (!RefuseBadPlan(session::CheckAddresses(m_rooms)))
        return false;
    // The results never replace the library, a database, the plan or a
    // snapshot the rooms take; another plan's results only when the
    // installer says so. A retry rewrites this run's own results.
    QStringList inputs{m_strPlanPath};
    for (const session::SBatchRoom& room : m_rooms)
        if (!room.strSnapshot.empty())
            inputs << Q(room.strSnapshot);
    const QString strResults = AllowedOutput(strTyped, QStringLiteral(".csv"), inputs);
    if (strResults.isEmpty())
        return false;
    m_pResults->setText(strResults);
    if (!bRetry && !ResultsOfThisPlan(strResults) &&
        !MessageBoxAsk(QStringLiteral("结果文件%1已有其他计划的结果。是否替换？").arg(strResults), true))
        return false;
    const std::filesystem::path resultsPath = PathFromUtf8(strResults.toStdString());
    // The results file this run replaces keeps the ok lines of rooms it sends nothing to.
    session::EarlierResults previous;
    session::SPlanFileError ignored;
    if (session::ReadResultsFile(Utf8FromPath(resultsPath), previous, ignored))
        session::KeepOkLines(m_rooms, previous);
    // The results file explains a failure in the window's words; its
    // outcome column keeps the codes a retry reads.
    m_pResultsFile =
        std::make_unique<session::CBatchResults>(resultsPath, m_rooms, [](const session::SBatchRoom& room) {
            if (room.ePhase == session::EBatchPhase::Setting)
                return std::string("设置进行中");
            return room.eOutcome == EBatchOutcome::Failed || !room.strMovedTo.empty()
                       ? RoomOutcomeText(room).toStdString()
                       : std::string();
        });
    if (!m_pResultsFile->Write()) {
        MessageBoxShow(QStringLiteral("无法写入结果文件：") + Q(m_pResultsFile->Error()));
        m_pResultsFile.reset();
        return false;
    }
    m_bResultsFailed = false;
    m_bStopped = false;
    m_roomItems.clear();
    for (int nRow = 0; nRow < m_pTable->rowCount(); ++nRow)
        m_roomItems.push_back(m_pTable->item(nRow, kColRoom));

    m_pRun = std::make_unique<session::CBatchRun>(m_rooms, [this] { return Now(); });
    m_pRun->m_pfnRoomChanged = [this](std::size_t nRoom) {
        OnRoomChanged(nRoom);
        // A room whose Set has begun is written down as under way.
        if (m_rooms[nRoom].ePhase == session::EBatchPhase::Setting && !m_pResultsTimer->isActive())
            m_pResultsTimer->start();
    };
    m_pRun->m_pfnRoomEnded = [this](std::size_t nRoom) {
        OnRoomChanged(nRoom);
        if (!m_pResultsTimer->isActive())
            m_pResultsTimer->start();
    };
    m_pRun->m_pfnSaveBackup = [this](session::ExchangeId id, session::SBackup backup) {
        SaveBackup(id, std::move(backup));
    };
    ++m_nRunSerial;
    m_pHistory = std::make_shared<session::CHistory>(CDatabase::Folder());
    MakeEngine(*m_pRun, m_pParallel->value());
    SetBusy(EState::Running);
    for (std::size_t i = 0; i < m_rooms.size(); ++i)
        OnRoomChanged(i);
    FitColumns();
    SetStatus(QStringLiteral("正在设置…"));
    m_pRun->Start(*m_pEngine, m_pHistory);
    m_pTimer->start();
    return true;
}

void CBatchDlg::Stop() {
    if (m_eState == EState::Running && m_pRun && !m_bStopped) {
        m_bStopped = true;
        SetStatus(QStringLiteral("正在停止：已开始的设置将完成…"));
        m_pRun->Stop();
    } else if (m_eState == EState::Checking && m_pEngine) {
        m_pEngine->CancelNotStarted();
    }
}

bool CBatchDlg::AskToStop() {
    if (m_eState == EState::Running && !m_bStopped &&
        !MessageBoxAsk(QStringLiteral("批量设置正在进行。停止后，已开始设置的房间会先完成设置。是否停止？"), true))
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

void CBatchDlg::SendTo(const codec::Datagram& datagram, const codec::Ip4& address) {
    m_window.SendDatagram(datagram, address);
}

void CBatchDlg::OnTick() {
    if (!m_pEngine)
        return;
    m_pEngine->Advance(Now());
    if (m_eState == EState::Running && m_pRun) {
        const std::size_t nOk = std::count_if(m_rooms.begin(), m_rooms.end(), [](const auto& r) {
            return r.bRun && r.eOutcome == EBatchOutcome::Ok;
        });
        if (!m_bStopped)
            SetStatus(QStringLiteral("正在设置：%1/%2 个房间已结束，成功 %3 个。")
                          .arg(m_pRun->Done())
                          .arg(m_pRun->Total())
                          .arg(nOk));
    }
    if (!m_pEngine->Idle())
        return;
    m_pTimer->stop();
    if (m_nListenerKey)
        m_window.RemoveDatagramListener(m_nListenerKey);
    m_nListenerKey = 0;
    // The engine goes before anything is told: a handler of the end may start the next run.
    m_pEngine.reset();
    const EState eState = m_eState;
    SetBusy(EState::Idle);
    if (eState == EState::Checking)
        EndCheck();
    else
        EndRun();
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
                    if (m_pRun && nSerial == m_nRunSerial)
                        m_pRun->BackupSaved(id, strError, saved);
                },
                Qt::QueuedConnection);
        });
}

bool CBatchDlg::ResultsOfThisPlan(const QString& strResults) const {
    if (!base::IsExistingFile(PathFromUtf8(strResults.toStdString())))
        return true;
    // Results whose every line is a room of this plan are this plan's own
    // (an earlier run of it); a line of another room means another plan's.
    session::EarlierResults earlier;
    session::SPlanFileError error;
    if (!session::ReadResultsFile(strResults.toStdString(), earlier, error))
        return false;
    // A line names its plan row by the row's own text (column plan_row).
    std::set<std::string> rows;
    for (const session::SBatchRoom& room : m_rooms)
        rows.insert(room.strRowText);
    return std::all_of(earlier.begin(), earlier.end(),
                       [&rows](const std::vector<std::string>& line) { return line.size() > 5 && rows.count(line[5]) > 0; });
}

void CBatchDlg::WriteResults() {
    // A results file that cannot be replaced is said once the run ends.
    if (m_pResultsFile && !m_pResultsFile->Write())
        m_bResultsFailed = true;
}

void CBatchDlg::EndRun() {
    m_pResultsTimer->stop();
    const bool bWritten = m_pResultsFile->Write(true) && !m_bResultsFailed;
    std::size_t nOk = 0, nFailed = 0, nNotRun = 0;
    for (const session::SBatchRoom& r : m_rooms)
        if (r.bRun)
            (r.eOutcome == EBatchOutcome::Ok       ? nOk
             : r.eOutcome == EBatchOutcome::Failed ? nFailed
                                                   : nNotRun)++;
    SetStatus(QStringLiteral("%1：成功 %2 个，失败 %3 个，未执行 %4 个。")
                  .arg(m_bStopped ? QStringLiteral("已停止") : QStringLiteral("设置完成"))
                  .arg(nOk)
                  .arg(nFailed)
                  .arg(nNotRun));
    emit RunEnded();
    if (m_bCloseWhenIdle)
        QMetaObject::invokeMethod(this, &CBatchDlg::reject, Qt::QueuedConnection);
    if (!bWritten)
        MessageBoxShow(QStringLiteral("结果文件无法写入：") + Q(m_pResultsFile->Error()));
}

int CBatchDlg::RowOf(std::size_t nRoom) const {
    return nRoom < m_roomItems.size() && m_roomItems[nRoom] ? m_roomItems[nRoom]->row() : -1;
}

void CBatchDlg::OnRoomChanged(std::size_t nRoom) {
    const int nRow = RowOf(nRoom);
    if (nRow < 0)
        return;
    const session::SBatchRoom& room = m_rooms[nRoom];
    const bool bEnded = room.ePhase == EBatchPhase::Done;
    m_pTable->item(nRow, kColState)->setText(room.bRun ? PhaseText(room) : QStringLiteral("已成功，不重试"));
    m_pTable->item(nRow, kColOutcome)->setText(bEnded ? RoomOutcomeText(room) : QString());
    m_pTable->item(nRow, kColSeconds)
        ->setText(bEnded && room.bRun && room.result ? QString::number(room.dSeconds, 'f', 1) : QString());
}

void CBatchDlg::ShowRoomResult(int nRow) {
    for (std::size_t i = 0; i < m_roomItems.size(); ++i) {
        if (RowOf(i) != nRow || m_rooms[i].ePhase != EBatchPhase::Done || !m_rooms[i].bRun)
            continue;
        const session::SBatchRoom& room = m_rooms[i];
        if (!room.result || room.result->fields.empty()) {
            MessageBoxShow(
                QStringLiteral("“%1”没有读回结果：%2").arg(Q(room.strRoom), RoomOutcomeText(room)));
            return;
        }
        delete m_pResultDlg;
        m_pResultDlg = new CSetResultDlg(room.result->fields, Q(room.strAddress), this);
        m_pResultDlg->show();
        return;
    }
}

void CBatchDlg::SetBusy(EState eState) {
    m_eState = eState;
    const bool bIdle = eState == EState::Idle;
    for (const char* pszText : {kAdd, kRemove, kOpen, kCheck, kStart, kRetry})
        Button(pszText)->setEnabled(bIdle);
    Button(kStop)->setEnabled(!bIdle);
    m_pTable->setSortingEnabled(bIdle);
    m_pTable->setEditTriggers(bIdle ? QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed
                                    : QAbstractItemView::NoEditTriggers);
    for (QCheckBox* pTick : m_pTicks)
        pTick->setEnabled(bIdle);
    m_pParallel->setEnabled(bIdle);
    m_pResults->setEnabled(bIdle);
    m_pBrowseResults->setEnabled(bIdle);
    // Fitting the columns to every row's text again on each room's change
    // cost milliseconds a room with a hundred rooms under way: while busy
    // the columns keep the widths fitted as it starts (FitColumns), and fit
    // again at the end.
    for (int nColumn = 0; nColumn < kColumns; ++nColumn)
        if (nColumn != kColOutcome)
            m_pTable->horizontalHeader()->setSectionResizeMode(nColumn, bIdle ? QHeaderView::ResizeToContents
                                                                              : QHeaderView::Interactive);
}

void CBatchDlg::FitColumns() {
    for (int nColumn = 0; nColumn < kColumns; ++nColumn)
        if (nColumn != kColOutcome)
            m_pTable->resizeColumnToContents(nColumn);
}

void CBatchDlg::SetStatus(const QString& strText) {
    m_pStatus->setText(strText);
    m_pStatus->setAccessibleDescription(strText);
}
