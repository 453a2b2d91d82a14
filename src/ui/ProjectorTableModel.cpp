#include "ProjectorTableModel.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace {

constexpr std::array<const char*, CProjectorTableModel::kColumns> kHeadings{
    "投影机型号", "波特率", "校验", "VGA", "VIDEO", "POWER ON", "POWER OFF"};
constexpr std::array<int, CProjectorTableModel::kColumns> kWidths{100, 60, 60, 120, 120, 120, 120};

// Replaced and removed text is reclaimed once it outweighs the live text and
// is worth the copy.
constexpr std::size_t kCompactThreshold = 1 << 20;

} // namespace

CProjectorTableModel::CProjectorTableModel(QObject* pParent) : QAbstractTableModel(pParent) {}

QString CProjectorTableModel::ColumnHeading(int nColumn) {
    return nColumn >= 0 && nColumn < kColumns
               ? QString::fromUtf8(kHeadings[static_cast<std::size_t>(nColumn)])
               : QString();
}

int CProjectorTableModel::ColumnWidth(int nColumn) {
    return nColumn >= 0 && nColumn < kColumns ? kWidths[static_cast<std::size_t>(nColumn)] : 0;
}

void CProjectorTableModel::InsertColumns() {
    if (m_bColumns)
        return;
    if (m_nBulkDepth == 0)
        beginInsertColumns(QModelIndex(), 0, kColumns - 1);
    m_bColumns = true;
    if (m_nBulkDepth == 0)
        endInsertColumns();
}

CProjectorTableModel::SCell CProjectorTableModel::Append(std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max() - m_text.size())
        throw std::length_error("the projector list holds more text than it can address");
    SCell cell{static_cast<std::uint32_t>(m_text.size()), static_cast<std::uint32_t>(text.size())};
    m_text.append(text);
    m_nLiveBytes += text.size();
    return cell;
}

void CProjectorTableModel::Forget(const SCell& cell) {
    m_nLiveBytes -= cell.nLength;
}

void CProjectorTableModel::SetCellText(int nRow, int nColumn, std::string_view text) {
    if (nColumn < 0 || nColumn >= kColumns || nRow < 0)
        return;
    const int nCount = static_cast<int>(m_rows.size());
    if (nColumn == 0) {
        const int nAt = std::min(nRow, nCount);
        Row row{};
        row[0] = Append(text);
        if (m_nBulkDepth == 0)
            beginInsertRows(QModelIndex(), nAt, nAt);
        m_rows.insert(m_rows.begin() + nAt, row);
        if (m_nBulkDepth == 0)
            endInsertRows();
        return;
    }
    if (nRow >= nCount)
        return;
    SCell& cell = m_rows[static_cast<std::size_t>(nRow)][static_cast<std::size_t>(nColumn)];
    Forget(cell);
    cell = Append(text);
    if (m_nBulkDepth == 0) {
        const QModelIndex changed = index(nRow, nColumn);
        emit dataChanged(changed, changed);
    }
    CompactIfWasteful();
}

std::string CProjectorTableModel::CellText(int nRow, int nColumn) const {
    if (nRow < 0 || nRow >= static_cast<int>(m_rows.size()) || nColumn < 0 || nColumn >= kColumns)
        return std::string();
    return std::string(View(m_rows[static_cast<std::size_t>(nRow)][static_cast<std::size_t>(nColumn)]));
}

void CProjectorTableModel::RemoveRow(int nRow) {
    if (nRow < 0 || nRow >= static_cast<int>(m_rows.size()))
        return;
    if (m_nBulkDepth == 0)
        beginRemoveRows(QModelIndex(), nRow, nRow);
    for (const SCell& cell : m_rows[static_cast<std::size_t>(nRow)])
        Forget(cell);
    m_rows.erase(m_rows.begin() + nRow);
    if (m_nBulkDepth == 0)
        endRemoveRows();
    CompactIfWasteful();
}

void CProjectorTableModel::Clear() {
    if (m_nBulkDepth == 0)
        beginResetModel();
    m_rows.clear();
    m_text.clear();
    m_nLiveBytes = 0;
    if (m_nBulkDepth == 0)
        endResetModel();
}

void CProjectorTableModel::Reserve(std::size_t nRows, std::size_t nTextBytes) {
    m_rows.reserve(nRows);
    m_text.reserve(nTextBytes);
}

void CProjectorTableModel::BeginBulkLoad() {
    if (m_nBulkDepth++ == 0)
        beginResetModel();
}

void CProjectorTableModel::EndBulkLoad() {
    if (m_nBulkDepth > 0 && --m_nBulkDepth == 0) {
        // A large fill grows the buffers by doubling; give the slack back.
        m_rows.shrink_to_fit();
        m_text.shrink_to_fit();
        endResetModel();
    }
}

void CProjectorTableModel::CompactIfWasteful() {
    const std::size_t nWaste = m_text.size() - m_nLiveBytes;
    if (nWaste < kCompactThreshold || nWaste < m_nLiveBytes)
        return;
    std::string compacted;
    compacted.reserve(m_nLiveBytes);
    for (Row& row : m_rows) {
        for (SCell& cell : row) {
            const std::uint32_t nStart = static_cast<std::uint32_t>(compacted.size());
            compacted.append(View(cell));
            cell.nStart = nStart;
        }
    }
    m_text = std::move(compacted);
}

int CProjectorTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CProjectorTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_bColumns ? 0 : kColumns;
}

QVariant CProjectorTableModel::data(const QModelIndex& index, int nRole) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    switch (nRole) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: // a long code is cut off in its cell; the tip shows all of it
    case Qt::AccessibleTextRole: {
        const SCell& cell =
            m_rows[static_cast<std::size_t>(index.row())][static_cast<std::size_t>(index.column())];
        return QString::fromUtf8(m_text.data() + cell.nStart, static_cast<qsizetype>(cell.nLength));
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return QVariant();
    }
}

QVariant CProjectorTableModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const {
    if (orientation != Qt::Horizontal || nSection < 0 || nSection >= columnCount())
        return QAbstractTableModel::headerData(nSection, orientation, nRole);
    if (nRole == Qt::DisplayRole)
        return ColumnHeading(nSection);
    if (nRole == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return QVariant();
}

Qt::ItemFlags CProjectorTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
