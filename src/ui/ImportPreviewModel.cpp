#include "ImportPreviewModel.h"

#include "ImportPreview.h"
#include "Words.h"

#include <array>

namespace {

constexpr std::array<const char*, CImportPreviewModel::ColumnCount> kHeadings{
    "行", "类别", "投影机型号", "波特率", "校验", "VGA", "VIDEO", "POWER ON", "POWER OFF", "说明"};

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CImportPreviewModel::CImportPreviewModel(library::CImportPreview& preview, QObject* pParent)
    : QAbstractTableModel(pParent), m_preview(preview) {}

QString CImportPreviewModel::ClassText(int nClass) {
    switch (static_cast<library::ERowClass>(nClass)) {
    case library::ERowClass::New:
        return QStringLiteral("新增");
    case library::ERowClass::Identical:
        return QStringLiteral("相同");
    case library::ERowClass::Conflict:
        return QStringLiteral("冲突");
    case library::ERowClass::Invalid:
        return QStringLiteral("无效");
    }
    return QString();
}

void CImportPreviewModel::ChoicesChanged() {
    if (rowCount() > 0)
        emit dataChanged(index(0, Class), index(rowCount() - 1, Note));
}

int CImportPreviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_preview.RowCount());
}

int CImportPreviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString CImportPreviewModel::NoteText(std::size_t nRow) const {
    if (m_preview.Class(nRow) == library::ERowClass::Invalid)
        return words::RowReasonText(m_preview, nRow);
    if (m_preview.Class(nRow) != library::ERowClass::Conflict)
        return QString();
    QString strNote = m_preview.Choice(nRow) == library::EChoice::Take ? QStringLiteral("采用导入代码")
                                                                       : QStringLiteral("保留现有代码");
    // What the library holds where the two differ.
    const library::SModelRecord& existing = m_preview.Existing(nRow);
    const std::array<const std::string*, 6> held{&existing.baud,  &existing.parity,  &existing.vga,
                                                 &existing.video, &existing.powerOn, &existing.powerOff};
    QStringList differences;
    for (int i = 0; i < 6; ++i)
        if (m_preview.Field(nRow, i + 1) != *held[static_cast<std::size_t>(i)])
            differences << QStringLiteral("%1：%2").arg(
                QString::fromUtf8(kHeadings[static_cast<std::size_t>(Baud + i)]),
                QString::fromStdString(*held[static_cast<std::size_t>(i)]));
    return strNote + QStringLiteral("（库中") + differences.join(QStringLiteral("，")) + QStringLiteral("）");
}

QVariant CImportPreviewModel::data(const QModelIndex& index, int nRole) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    if (nRole != Qt::DisplayRole && nRole != Qt::ToolTipRole && nRole != Qt::AccessibleTextRole)
        return QVariant();
    const auto nRow = static_cast<std::size_t>(index.row());
    switch (index.column()) {
    case Line:
        return QString::number(m_preview.Line(nRow));
    case Class:
        return ClassText(static_cast<int>(m_preview.Class(nRow)));
    case Note:
        return NoteText(nRow);
    default:
        return Text(m_preview.Field(nRow, index.column() - Model));
    }
}

QVariant CImportPreviewModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const {
    if (orientation == Qt::Horizontal && nRole == Qt::DisplayRole && nSection >= 0 && nSection < ColumnCount)
        return QString::fromUtf8(kHeadings[static_cast<std::size_t>(nSection)]);
    return QAbstractTableModel::headerData(nSection, orientation, nRole);
}

Qt::ItemFlags CImportPreviewModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
