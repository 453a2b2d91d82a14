#include "BatchControls.h"

#include "BatchDlg.h"
#include "FileFolders.h"

#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

CBatchControls::CBatchControls(QDialog& dialog, std::function<QString()> pfnChooseSnapshot)
    : m_dialog(dialog) {
    using enum CBatchTableModel::EColumn;
    auto* pLayout = new QVBoxLayout(&m_dialog);

    auto* pRoomButtons = new QHBoxLayout;
    auto* pRoomsLabel = new QLabel(QStringLiteral("房间："), &m_dialog);
    pRoomButtons->addWidget(pRoomsLabel);
    m_pFailedOnly = new QCheckBox(QString::fromUtf8(CBatchDlg::kFailedOnly), &m_dialog);
    m_pFailedOnly->setAccessibleName(m_pFailedOnly->text());
    pRoomButtons->addWidget(m_pFailedOnly);
    pRoomButtons->addStretch(1);
    for (const char* pszText : {CBatchDlg::kAdd, CBatchDlg::kRemove, CBatchDlg::kOpen, CBatchDlg::kSave})
        pRoomButtons->addWidget(AddButton(pszText));
    pLayout->addLayout(pRoomButtons);

    m_pModel = new CBatchTableModel(&m_dialog);
    m_pFilter = new CBatchFilterModel(&m_dialog);
    m_pFilter->setSourceModel(m_pModel);
    m_pTable = new QTableView(&m_dialog);
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
    const QFontMetrics metrics(m_dialog.font());
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

    m_pFields = new CBatchFields(std::move(pfnChooseSnapshot), &m_dialog);
    pLayout->addWidget(m_pFields);

    auto* pRunRow = new QHBoxLayout;
    auto* pParallelLabel = new QLabel(QStringLiteral("同时设置："), &m_dialog);
    m_pParallel = new QSpinBox(&m_dialog);
    m_pParallel->setRange(1, 1024);
    m_pParallel->setValue(16);
    m_pParallel->setAccessibleName(pParallelLabel->text());
    pParallelLabel->setBuddy(m_pParallel);
    auto* pResultsLabel = new QLabel(QStringLiteral("结果文件："), &m_dialog);
    m_pResults = new QLineEdit(&m_dialog);
    m_pResults->setAccessibleName(pResultsLabel->text());
    pResultsLabel->setBuddy(m_pResults);
    // Results start in the user's folder for them, never the program's own.
    m_pResults->setText(CFileFolders::StartPath(CFileFolders::EKind::Results, QStringLiteral("results.csv")));
    pRunRow->addWidget(pParallelLabel);
    pRunRow->addWidget(m_pParallel);
    pRunRow->addWidget(pResultsLabel);
    pRunRow->addWidget(m_pResults, 1);
    m_pBrowseResults = new QPushButton(QString::fromUtf8(CBatchDlg::kBrowseResults), &m_dialog);
    m_pBrowseResults->setAccessibleName(m_pBrowseResults->text());
    m_pBrowseResults->setAutoDefault(false);
    pRunRow->addWidget(m_pBrowseResults);
    pLayout->addLayout(pRunRow);

    auto* pProgressRow = new QHBoxLayout;
    m_pProgress = new QProgressBar(&m_dialog);
    m_pProgress->setAccessibleName(QStringLiteral("进度"));
    m_pProgress->setRange(0, 1);
    m_pProgress->setValue(0);
    m_pStatus = new QLabel(&m_dialog);
    m_pStatus->setAccessibleName(QStringLiteral("状态"));
    m_pStatus->setWordWrap(true);
    m_pStatus->setMinimumWidth(1);
    pProgressRow->addWidget(m_pProgress, 1);
    pProgressRow->addWidget(m_pStatus, 2);
    pLayout->addLayout(pProgressRow);

    auto* pActions = new QHBoxLayout;
    pActions->addStretch(1);
    for (const char* pszText :
         {CBatchDlg::kCheck, CBatchDlg::kStart, CBatchDlg::kStop, CBatchDlg::kRetry, CBatchDlg::kDiagnose})
        pActions->addWidget(AddButton(pszText));
    m_pClose = new QPushButton(QStringLiteral("关闭"), &m_dialog);
    m_pClose->setAccessibleName(m_pClose->text());
    m_pClose->setAutoDefault(false);
    pActions->addWidget(m_pClose);
    pLayout->addLayout(pActions);

    auto* pReportLabel = new QLabel(QStringLiteral("检查结果："), &m_dialog);
    m_pReport = new QPlainTextEdit(&m_dialog);
    m_pReport->setReadOnly(true);
    m_pReport->setAccessibleName(pReportLabel->text());
    m_pReport->setMinimumHeight(m_dialog.fontMetrics().height() * 2 + 8);
    pReportLabel->setBuddy(m_pReport);
    pLayout->addWidget(pReportLabel);
    pLayout->addWidget(m_pReport, 1);
}

QPushButton* CBatchControls::AddButton(const char* pszText) {
    auto* pButton = new QPushButton(QString::fromUtf8(pszText), &m_dialog);
    pButton->setObjectName(QString::fromUtf8(pszText));
    pButton->setAccessibleName(pButton->text());
    pButton->setAutoDefault(false);
    return pButton;
}

QPushButton* CBatchControls::Button(const QString& strText) const {
    return m_dialog.findChild<QPushButton*>(strText);
}

QString CBatchControls::ChooseFile(EFileChoice eChoice) {
    const QString strCsv = QStringLiteral("计划文件 (*.csv)");
    using EKind = CFileFolders::EKind;
    const EKind eKind = eChoice == EFileChoice::Snapshot  ? EKind::Snapshot
                        : eChoice == EFileChoice::Results ? EKind::Results
                                                          : EKind::Plan;
    const QString strStart = CFileFolders::StartPath(eKind);
    QString strPath;
    switch (eChoice) {
    case EFileChoice::OpenPlan:
        strPath =
            QFileDialog::getOpenFileName(&m_dialog, QString::fromUtf8(CBatchDlg::kOpen), strStart, strCsv);
        break;
    case EFileChoice::SavePlan:
        strPath =
            QFileDialog::getSaveFileName(&m_dialog, QString::fromUtf8(CBatchDlg::kSave), strStart, strCsv);
        break;
    case EFileChoice::Results:
        // A typed results file starts the dialog where it is.
        strPath = QFileDialog::getSaveFileName(&m_dialog, QStringLiteral("结果文件"),
                                               m_pResults->text().isEmpty() ? strStart : m_pResults->text(),
                                               QStringLiteral("结果文件 (*.csv)"));
        break;
    case EFileChoice::Snapshot:
        strPath = QFileDialog::getOpenFileName(&m_dialog, QStringLiteral("配置文件"), strStart,
                                               QStringLiteral("配置文件 (*.json)"));
        break;
    }
    CFileFolders::Remember(eKind, strPath);
    return strPath;
}

void CBatchControls::SetIdle(bool bIdle) {
    for (const char* pszText : {CBatchDlg::kAdd, CBatchDlg::kRemove, CBatchDlg::kOpen, CBatchDlg::kCheck,
                                CBatchDlg::kStart, CBatchDlg::kRetry})
        Button(pszText)->setEnabled(bIdle);
    Button(CBatchDlg::kStop)->setEnabled(!bIdle);
    // The table is the plan being run: while busy nothing of it changes.
    m_pModel->SetEditable(bIdle);
    m_pTable->setSortingEnabled(bIdle);
    m_pFields->SetLocked(!bIdle);
    m_pParallel->setEnabled(bIdle);
    m_pResults->setEnabled(bIdle);
    m_pBrowseResults->setEnabled(bIdle);
}

void CBatchControls::SetStatus(const QString& strText) {
    m_pStatus->setText(strText);
    m_pStatus->setAccessibleDescription(strText);
}
