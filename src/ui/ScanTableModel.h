#pragma once

// The scan's rows: each address that answered, in address order, with what
// its controller's read gave (none for an address that only answered the
// echo probe). The cells are made from the row itself, so a row's address,
// its text and its read never come apart.

#include "ControllerSettings.h"
#include "codec/Address.h"

#include <QAbstractTableModel>

#include <optional>
#include <vector>

class CScanTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum EColumn { kColAddress, kColServer, kColProjector1, kColProjector2, kColAnswer, kColumns };
    struct SRow {
        codec::Ip4 address{};
        std::optional<session::SReadResult> read; // none: it answered the echo probe only
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation eOrientation, int nRole = Qt::DisplayRole) const override;

    // Adds a row in its place by address; returns its row.
    int Add(SRow row);
    void Clear();
    const std::vector<SRow>& Rows() const { return m_rows; }

private:
    std::vector<SRow> m_rows;
};
