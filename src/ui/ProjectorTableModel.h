#pragma once

#include <QAbstractTableModel>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The rows of the projector code list: model, baud rate, parity and the four
// control codes, seven text cells a row.
//
// A library can hold a hundred thousand models, so the cells are not kept as
// one string object each: all text lives in one byte buffer (UTF-8, as the
// store hands it over) and a row holds only where its seven cells lie in it.
// Text becomes a QString only when the view asks for a visible cell.
class CProjectorTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 7;

    explicit CProjectorTableModel(QObject* pParent = nullptr);

    // Headings and pixel widths of the seven columns.
    static QString ColumnHeading(int nColumn);
    static int ColumnWidth(int nColumn);

    // The list starts without columns; this adds the seven of them (once).
    void InsertColumns();
    bool HasColumns() const { return m_bColumns; }

    // Writes one cell. Column 0 inserts a new row at nRow (clamped to the end
    // of the list) holding the text; any other column replaces the text of
    // that column in row nRow. A row outside the list is ignored.
    void SetCellText(int nRow, int nColumn, std::string_view text);
    // The text of one cell, "" outside the list.
    std::string CellText(int nRow, int nColumn) const;
    void RemoveRow(int nRow);
    void Clear();
    void Reserve(std::size_t nRows, std::size_t nTextBytes);

    // Between these two calls rows are added without a signal per row; the
    // view is told once, at the end, that the whole table changed. The calls
    // nest, so a fill that stops early still ends the load.
    void BeginBulkLoad();
    void EndBulkLoad();

    // Bytes of text held for live cells, and the bytes of the buffer in use
    // (live text plus text left behind by replaced cells and removed rows).
    std::size_t TextBytes() const { return m_nLiveBytes; }
    std::size_t BufferBytes() const { return m_text.size(); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation,
                        int nRole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct SCell {
        std::uint32_t nStart = 0;
        std::uint32_t nLength = 0;
    };
    using Row = std::array<SCell, kColumns>;

    SCell Append(std::string_view text);
    std::string_view View(const SCell& cell) const { return {m_text.data() + cell.nStart, cell.nLength}; }
    void Forget(const SCell& cell);
    void CompactIfWasteful();

    std::string m_text; // every cell's bytes, one after another
    std::vector<Row> m_rows;
    std::size_t m_nLiveBytes = 0;
    int m_nBulkDepth = 0;
    bool m_bColumns = false;
};
