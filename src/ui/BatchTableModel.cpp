#include "BatchTableModel.h"

#include "Words.h"

#include <QBrush>
#include <QColor>

#include <algorithm>
#include <functional>

namespace {

const char* const kHeaders[CBatchTableModel::kColumns] = {"房间", "现地址",   "新中控IP",          "状态",
                                                          "结果", "用时(秒)", "计划中房间自己的值"};

} // namespace

const char* CBatchTableModel::ColumnKey(int nColumn) {
    switch (nColumn) {
    case kColRoom:
        return "room";
    case kColAddress:
        return "address";
    case kColNewIp:
        return "controller_ip";
    default:
        return nullptr;
    }
}

int CBatchTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CBatchTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QString CBatchTableModel::OwnValues(const SRow& row) const {
    QStringList values;
    for (const auto& [column, value] : row.cells)
        if (column != "room" && column != "address" && column != "controller_ip" && !value.empty())
            values << words::ColumnLabel(column) + QStringLiteral("：") + words::Q(value);
    return values.join(QStringLiteral("；"));
}

QVariant CBatchTableModel::data(const QModelIndex& index, int nRole) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns)
        return {};
    const SRow& row = m_rows[static_cast<std::size_t>(index.row())];
    const int nColumn = index.column();
    if (nRole == kToneRole)
        return static_cast<int>(row.eTone);
    if (nRole == Qt::DisplayRole || nRole == Qt::EditRole || nRole == Qt::ToolTipRole) {
        if (const char* pszKey = ColumnKey(nColumn)) {
            const auto it = row.cells.find(pszKey);
            return it == row.cells.end() ? QString() : words::Q(it->second);
        }
        switch (nColumn) {
        case kColState:
            return row.strState;
        case kColOutcome:
            return row.strOutcome;
        case kColSeconds:
            return row.strSeconds;
        case kColOwn:
            return OwnValues(row);
        default:
            return {};
        }
    }
    // Outcomes in colour, and said in words too (the text), so colour is never the only sign.
    if (nRole == Qt::ForegroundRole && (nColumn == kColState || nColumn == kColOutcome)) {
        switch (row.eTone) {
        case ETone::Ok:
            return QBrush(QColor(0x1b, 0x7a, 0x2e));
        case ETone::Failed:
            return QBrush(QColor(0xb0, 0x00, 0x20));
        case ETone::NotRun:
            return QBrush(QColor(0x6b, 0x6b, 0x6b));
        default:
            return {};
        }
    }
    if (nRole == Qt::BackgroundRole && row.eTone == ETone::Failed)
        return QBrush(QColor(0xfd, 0xec, 0xee));
    return {};
}

bool CBatchTableModel::setData(const QModelIndex& index, const QVariant& value, int nRole) {
    const char* pszKey = index.isValid() ? ColumnKey(index.column()) : nullptr;
    if (!pszKey || nRole != Qt::EditRole || !m_bEditable || index.row() >= rowCount())
        return false;
    m_rows[static_cast<std::size_t>(index.row())].cells[pszKey] = value.toString().trimmed().toStdString();
    emit dataChanged(index, this->index(index.row(), kColOwn));
    emit Edited();
    return true;
}

Qt::ItemFlags CBatchTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags eFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_bEditable && ColumnKey(index.column()))
        eFlags |= Qt::ItemIsEditable;
    return eFlags;
}

QVariant CBatchTableModel::headerData(int nSection, Qt::Orientation eOrientation, int nRole) const {
    if (eOrientation != Qt::Horizontal || nRole != Qt::DisplayRole || nSection < 0 || nSection >= kColumns)
        return QAbstractTableModel::headerData(nSection, eOrientation, nRole);
    return QString::fromUtf8(kHeaders[nSection]);
}

int CBatchTableModel::AddRow(Cells cells) {
    const int nRow = rowCount();
    beginInsertRows({}, nRow, nRow);
    m_rows.push_back({std::move(cells), {}, {}, {}, ETone::None});
    endInsertRows();
    return nRow;
}

void CBatchTableModel::RemoveRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int nRow : rows) {
        if (nRow < 0 || nRow >= rowCount())
            continue;
        beginRemoveRows({}, nRow, nRow);
        m_rows.erase(m_rows.begin() + nRow);
        endRemoveRows();
    }
}

void CBatchTableModel::SetRows(std::vector<Cells> rows) {
    beginResetModel();
    m_rows.clear();
    for (Cells& cells : rows)
        m_rows.push_back({std::move(cells), {}, {}, {}, ETone::None});
    endResetModel();
}

void CBatchTableModel::SetOutcome(int nRow, const QString& strState, const QString& strOutcome,
                                  const QString& strSeconds, ETone eTone) {
    if (nRow < 0 || nRow >= rowCount())
        return;
    SRow& row = m_rows[static_cast<std::size_t>(nRow)];
    row.strState = strState;
    row.strOutcome = strOutcome;
    row.strSeconds = strSeconds;
    row.eTone = eTone;
    emit dataChanged(index(nRow, kColState), index(nRow, kColSeconds));
}

void CBatchTableModel::ShowRoom(int nRow, const session::SBatchRoom& room) {
    using session::EBatchOutcome;
    const bool bEnded = room.ePhase == session::EBatchPhase::Done;
    ETone eTone = ETone::Busy;
    if (!room.bRun || (bEnded && room.eOutcome == EBatchOutcome::Ok))
        eTone = ETone::Ok;
    else if (bEnded)
        eTone = room.eOutcome == EBatchOutcome::Failed ? ETone::Failed : ETone::NotRun;
    SetOutcome(nRow, room.bRun ? words::PhaseText(room) : QStringLiteral("已成功，不重试"),
               bEnded ? words::RoomOutcomeText(room) : QString(),
               bEnded && room.bRun && room.result ? QString::number(room.dSeconds, 'f', 1) : QString(),
               eTone);
}

void CBatchTableModel::ShowChecking() {
    for (int nRow = 0; nRow < rowCount(); ++nRow)
        SetOutcome(nRow, QStringLiteral("检查中"), {}, {}, ETone::Busy);
}

void CBatchTableModel::ShowCheck(int nRow, const QStringList& problems) {
    SetOutcome(nRow, QStringLiteral("已检查"),
               problems.isEmpty() ? QStringLiteral("可以设置")
                                  : QStringLiteral("不能设置：") + problems.join(QStringLiteral("；")),
               {}, problems.isEmpty() ? ETone::Ok : ETone::Failed);
}

void CBatchTableModel::ClearOutcomes() {
    if (m_rows.empty())
        return;
    for (SRow& row : m_rows) {
        row.strState.clear();
        row.strOutcome.clear();
        row.strSeconds.clear();
        row.eTone = ETone::None;
    }
    emit dataChanged(index(0, kColState), index(rowCount() - 1, kColSeconds));
}

void CBatchFilterModel::SetFailedOnly(bool bFailedOnly) {
    m_bFailedOnly = bFailedOnly;
    invalidateFilter();
}

bool CBatchFilterModel::filterAcceptsRow(int nSourceRow, const QModelIndex& parent) const {
    if (!m_bFailedOnly)
        return true;
    const QModelIndex index = sourceModel()->index(nSourceRow, 0, parent);
    return index.data(CBatchTableModel::kToneRole).toInt() ==
           static_cast<int>(CBatchTableModel::ETone::Failed);
}
