#include "ScanTableModel.h"

#include <algorithm>

namespace {

const char* const kHeaders[CScanTableModel::kColumns] = {"地址", "服务器IP", "投影机1", "投影机2", "应答时间"};

} // namespace

int CScanTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CScanTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CScanTableModel::data(const QModelIndex& index, int nRole) const {
    if (!index.isValid() || index.row() >= rowCount() || (nRole != Qt::DisplayRole && nRole != Qt::ToolTipRole))
        return {};
    const SRow& row = m_rows[static_cast<std::size_t>(index.row())];
    if (index.column() == kColAddress)
        return QString::fromStdString(codec::BytesToAddress(row.address));
    if (!row.read)
        return index.column() == kColServer ? QStringLiteral("非中控或无响应") : QString();
    const session::SReadResult& read = *row.read;
    const QString strMissing = QStringLiteral("（未收到）");
    switch (index.column()) {
    case kColServer:
        return read.received[session::kPartNetwork]
                   ? QString::fromStdString(codec::BytesToAddress(read.settings.serverIp))
                   : strMissing;
    case kColProjector1:
    case kColProjector2: {
        const std::size_t nSlot = index.column() == kColProjector1 ? 0 : 1;
        return read.received[nSlot] ? QString::fromStdString(read.settings.projectors[nSlot].strModel) : strMissing;
    }
    case kColAnswer:
        return QStringLiteral("%1 ms").arg(read.nAnswerMs);
    default:
        return {};
    }
}

QVariant CScanTableModel::headerData(int nSection, Qt::Orientation eOrientation, int nRole) const {
    if (eOrientation != Qt::Horizontal || nRole != Qt::DisplayRole || nSection < 0 || nSection >= kColumns)
        return QAbstractTableModel::headerData(nSection, eOrientation, nRole);
    return QString::fromUtf8(kHeaders[nSection]);
}

int CScanTableModel::Add(SRow row) {
    // Rows stay in address order, whatever order the answers come in.
    const auto it = std::upper_bound(m_rows.begin(), m_rows.end(), row.address,
                                     [](const codec::Ip4& a, const SRow& r) { return a < r.address; });
    const int nRow = static_cast<int>(it - m_rows.begin());
    beginInsertRows({}, nRow, nRow);
    m_rows.insert(it, std::move(row));
    endInsertRows();
    return nRow;
}

void CScanTableModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
