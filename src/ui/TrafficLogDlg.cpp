#include "TrafficLogDlg.h"

#include "FileFolders.h"
#include "MessageBox.h"
#include "OutputFiles.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

const session::STrafficWords& CTrafficLogModel::Words() {
    static const session::STrafficWords words = [] {
        session::STrafficWords w;
        w.pszSent = "发送";
        w.pszReceived = "接收";
        w.pszUnit = "毫秒";
        w.kinds[0] = "投影机1";
        w.kinds[1] = "投影机2";
        w.kinds[2] = "IP设置";
        w.kinds[3] = "附加设置";
        w.kinds[4] = "查询";
        w.kinds[5] = "类型";
        w.pszCutShort = "不完整：%1 字节，应有 %2 字节";
        w.pszWrongPrefix = "已丢弃：前缀错误";
        w.pszOtherAddress = "已丢弃：带有另一个地址 %1";
        w.pszOtherKind = "已丢弃：不是回复的类型";
        w.pszBadBlock = "已丢弃：代码块长度越界";
        w.pszCode = "代码 %1";
        w.pszNetwork = "服务器IP %1，中控IP %2，子网掩码 %3，网关IP %4，一键通 %5";
        w.pszOn = "开";
        w.pszOff = "关";
        w.pszDevices = "球机 %1，话筒 %2，键盘 %3";
        w.pszDroppedOlder = "已丢弃 %1 个较早的数据报";
        return w;
    }();
    return words;
}

CTrafficLogModel::CTrafficLogModel(session::CTrafficLog& log, QObject* pParent)
    : QAbstractTableModel(pParent), m_log(log) {
    Refresh();
}

int CTrafficLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CTrafficLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CTrafficLogModel::headerData(int nSection, Qt::Orientation eOrientation, int nRole) const {
    if (eOrientation != Qt::Horizontal || nRole != Qt::DisplayRole)
        return {};
    static const char* const kHeaders[kColumnCount] = {"时间（毫秒）", "方向", "地址", "类型",
                                                       "长度",         "解码", "字节"};
    return nSection >= 0 && nSection < kColumnCount ? QString::fromUtf8(kHeaders[nSection]) : QVariant();
}

QVariant CTrafficLogModel::data(const QModelIndex& index, int nRole) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const session::STrafficEntry& e = Entry(index.row());
    if (nRole == Qt::TextAlignmentRole && (index.column() == kTime || index.column() == kLength))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (nRole != Qt::DisplayRole && nRole != Qt::ToolTipRole)
        return {};
    const session::STrafficWords& words = Words();
    switch (index.column()) {
    case kTime:
        return QString::number(e.nTimeMs);
    case kDirection:
        return QString::fromUtf8(e.eDirection == session::ETrafficDirection::Sent ? words.pszSent
                                                                                  : words.pszReceived);
    case kAddress:
        return QString::fromStdString(codec::BytesToAddress(e.address));
    case kKind:
        return QString::fromStdString(session::DecodeTraffic(e, words).strKind);
    case kLength:
        return QString::number(e.nLength);
    case kDecoding:
        return QString::fromStdString(session::DecodeTraffic(e, words).strText);
    case kBytes:
        return QString::fromStdString(session::TrafficHex(e));
    }
    return {};
}

bool CTrafficLogModel::Passes(const session::STrafficEntry& entry) const {
    return m_strFilter.empty() || codec::BytesToAddress(entry.address).find(m_strFilter) != std::string::npos;
}

void CTrafficLogModel::Refresh() {
    std::vector<session::TrafficEntryPtr> gained;
    m_log.EntriesFrom(m_nNextSeq, gained);
    if (gained.empty())
        return;
    m_nNextSeq = gained.back()->nSeq + 1;
    gained.erase(std::remove_if(gained.begin(), gained.end(),
                                [this](const session::TrafficEntryPtr& p) { return !Passes(*p); }),
                 gained.end());
    // The table holds no more than the log does: the oldest rows go first.
    const std::size_t nCapacity = m_log.Capacity();
    if (gained.size() > nCapacity)
        gained.erase(gained.begin(), gained.end() - static_cast<long>(nCapacity));
    const std::size_t nTotal = m_rows.size() + gained.size();
    if (nTotal > nCapacity) {
        const std::size_t nRemove = std::min(m_rows.size(), nTotal - nCapacity);
        beginRemoveRows({}, 0, static_cast<int>(nRemove) - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + static_cast<long>(nRemove));
        endRemoveRows();
    }
    if (gained.empty())
        return;
    const int nFirst = static_cast<int>(m_rows.size());
    beginInsertRows({}, nFirst, nFirst + static_cast<int>(gained.size()) - 1);
    m_rows.insert(m_rows.end(), gained.begin(), gained.end());
    endInsertRows();
}

void CTrafficLogModel::SetFilter(const QString& strFilter) {
    beginResetModel();
    m_strFilter = strFilter.trimmed().toStdString();
    m_rows.clear();
    m_nNextSeq = 0;
    endResetModel();
    Refresh();
}

void CTrafficLogModel::Clear() {
    beginResetModel();
    m_log.Clear();
    m_rows.clear();
    m_nNextSeq = m_log.NextSeq();
    endResetModel();
}

CTrafficLogDlg::CTrafficLogDlg(session::CTrafficLog& log, QWidget* pParent, int nRefreshMs)
    : QDialog(pParent), m_log(log) {
    setWindowTitle(ProgramTitle() + QStringLiteral(" - 通信记录"));
    setModal(false);
    resize(900, 480);
    auto* pLayout = new QVBoxLayout(this);

    auto* pBar = new QHBoxLayout;
    auto* pFilterLabel = new QLabel(QString::fromUtf8(kFilter), this);
    m_pFilter = new QLineEdit(this);
    m_pFilter->setAccessibleName(QString::fromUtf8(kFilter));
    m_pFilter->setPlaceholderText(QStringLiteral("全部"));
    pFilterLabel->setBuddy(m_pFilter);
    m_pHex = new QCheckBox(QString::fromUtf8(kHex), this);
    m_pHex->setAccessibleName(m_pHex->text());
    m_pPause = new QPushButton(QString::fromUtf8(kPause), this);
    auto* pSave = new QPushButton(QString::fromUtf8(kSave), this);
    auto* pClear = new QPushButton(QString::fromUtf8(kClear), this);
    for (QPushButton* pButton : {m_pPause, pSave, pClear}) {
        pButton->setObjectName(pButton->text());
        pButton->setAccessibleName(pButton->text());
        pButton->setAutoDefault(false);
    }
    pBar->addWidget(pFilterLabel);
    pBar->addWidget(m_pFilter, 1);
    pBar->addWidget(m_pHex);
    pBar->addWidget(m_pPause);
    pBar->addWidget(pSave);
    pBar->addWidget(pClear);
    pLayout->addLayout(pBar);

    m_pModel = new CTrafficLogModel(log, this);
    m_pView = new QTableView(this);
    m_pView->setAccessibleName(QStringLiteral("通信记录"));
    m_pView->setModel(m_pModel);
    m_pView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pView->setWordWrap(false);
    // Fixed row heights: ten thousand rows are laid out without measuring each.
    m_pView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pView->verticalHeader()->setDefaultSectionSize(m_pView->fontMetrics().height() + 6);
    m_pView->verticalHeader()->hide();
    m_pView->horizontalHeader()->setStretchLastSection(true);
    m_pView->setColumnWidth(CTrafficLogModel::kTime, 90);
    m_pView->setColumnWidth(CTrafficLogModel::kDirection, 50);
    m_pView->setColumnWidth(CTrafficLogModel::kAddress, 110);
    m_pView->setColumnWidth(CTrafficLogModel::kKind, 70);
    m_pView->setColumnWidth(CTrafficLogModel::kLength, 50);
    m_pView->setColumnWidth(CTrafficLogModel::kDecoding, 380);
    m_pView->setColumnHidden(CTrafficLogModel::kBytes, true);
    pLayout->addWidget(m_pView, 1);

    m_pDropped = new QLabel(this);
    m_pDropped->setAccessibleName(QStringLiteral("丢弃的数据报"));
    pLayout->addWidget(m_pDropped);
    ShowDropped();

    connect(m_pFilter, &QLineEdit::textChanged, this, [this](const QString& strText) {
        m_pModel->SetFilter(strText);
        m_pView->scrollToBottom();
    });
    connect(m_pHex, &QCheckBox::toggled, this,
            [this](bool bOn) { m_pView->setColumnHidden(CTrafficLogModel::kBytes, !bOn); });
    connect(m_pPause, &QPushButton::clicked, this, &CTrafficLogDlg::OnPause);
    connect(pSave, &QPushButton::clicked, this, &CTrafficLogDlg::OnSave);
    connect(pClear, &QPushButton::clicked, this, &CTrafficLogDlg::OnClear);

    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(nRefreshMs);
    connect(m_pTimer, &QTimer::timeout, this, &CTrafficLogDlg::OnRefresh);
    m_pTimer->start();

    m_pfnChooseFile = [this] {
        const QString strPath = QFileDialog::getSaveFileName(
            this, QString::fromUtf8(kSave),
            CFileFolders::StartPath(CFileFolders::EKind::Log, QStringLiteral("通信记录.txt")),
            QStringLiteral("文本文件 (*.txt)"));
        CFileFolders::Remember(CFileFolders::EKind::Log, strPath);
        return strPath;
    };
}

void CTrafficLogDlg::ShowDropped() {
    const std::uint64_t nDropped = m_log.Dropped();
    m_pDropped->setText(nDropped == 0
                            ? QStringLiteral("最多保留最近 %1 个数据报").arg(m_log.Capacity())
                            : QString::fromStdString(session::FillWords(
                                  CTrafficLogModel::Words().pszDroppedOlder, {std::to_string(nDropped)})));
}

void CTrafficLogDlg::OnRefresh() {
    if (m_bPaused || !isVisible())
        return;
    QScrollBar* pBar = m_pView->verticalScrollBar();
    const bool bAtEnd = pBar->value() >= pBar->maximum();
    m_pModel->Refresh();
    ShowDropped();
    // The newest rows stay in sight unless the installer scrolled up to read.
    if (bAtEnd)
        m_pView->scrollToBottom();
}

void CTrafficLogDlg::OnPause() {
    m_bPaused = !m_bPaused;
    m_pPause->setText(QString::fromUtf8(m_bPaused ? kResume : kPause));
    m_pPause->setAccessibleName(m_pPause->text());
    if (!m_bPaused)
        OnRefresh();
}

QString CTrafficLogDlg::Text() const {
    std::string text;
    const bool bHex = m_pHex->isChecked();
    for (int nRow = 0; nRow < m_pModel->rowCount(); ++nRow)
        text += session::TrafficLine(m_pModel->Entry(nRow), CTrafficLogModel::Words(), bHex) + "\n";
    if (m_log.Dropped() > 0)
        text =
            session::FillWords(CTrafficLogModel::Words().pszDroppedOlder, {std::to_string(m_log.Dropped())}) +
            "\n" + text;
    return QString::fromStdString(text);
}

void CTrafficLogDlg::OnSave() {
    const QString strTyped = m_pfnChooseFile ? m_pfnChooseFile() : QString();
    if (strTyped.isEmpty())
        return;
    const QString strPath = AllowedOutput(strTyped, QStringLiteral(".txt"));
    if (strPath.isEmpty())
        return;
    if (!WriteOutput(strPath, Text().toStdString(), QStringLiteral("通信记录未能保存：")))
        return;
    MessageBoxShow(QStringLiteral("通信记录已保存！"));
}

void CTrafficLogDlg::OnClear() {
    m_pModel->Clear();
    ShowDropped();
}
