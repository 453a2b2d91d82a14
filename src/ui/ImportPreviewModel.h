#pragma once

#include <QAbstractTableModel>

namespace library {
class CImportPreview;
}

// The rows of an import preview as a table: the row's line in the file, its
// class, the model with its settings and codes, and a note (the reason of an
// invalid row; for a conflict the choice and the library's differing codes).
class CImportPreviewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum EColumn { Line, Class, Model, Baud, Parity, Vga, Video, PowerOn, PowerOff, Note, ColumnCount };

    explicit CImportPreviewModel(library::CImportPreview& preview, QObject* pParent = nullptr);

    // The preview's choices changed; the class and note columns are redrawn.
    void ChoicesChanged();
    // The preview is read again (in another encoding); every row may change.
    void BeginReload() { beginResetModel(); }
    void EndReload() { endResetModel(); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation,
                        int nRole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The texts of the class column.
    static QString ClassText(int nClass);

private:
    QString NoteText(std::size_t nRow) const;

    library::CImportPreview& m_preview;
};
