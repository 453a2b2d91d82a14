#pragma once

// The batch dialog's rooms: each row is a plan row (its cells by plan
// column: room, address, controller_ip and whatever else the plan gives the
// room) with the state of its last check or run. The table shows every
// column a room carries: the three it edits and, in one more column, the
// room's own values that win over the ticked common fields. A filter model
// on top can show the failed rooms only.

#include "BatchPlan.h"

#include <QStringList>

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <map>
#include <string>
#include <vector>

class CBatchTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum EColumn { kColRoom, kColAddress, kColNewIp, kColState, kColOutcome, kColSeconds, kColOwn, kColumns };
    // How a row's last check or run ended, for its colour and the filter.
    enum class ETone { None, Busy, Ok, Failed, NotRun };
    using Cells = std::map<std::string, std::string>;
    struct SRow {
        Cells cells;
        QString strState, strOutcome, strSeconds;
        ETone eTone = ETone::None;
    };
    static constexpr int kToneRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int nRole = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int nSection, Qt::Orientation eOrientation,
                        int nRole = Qt::DisplayRole) const override;

    // The three columns the installer edits are editable while this is set.
    void SetEditable(bool bEditable) { m_bEditable = bEditable; }
    int AddRow(Cells cells);
    void RemoveRows(std::vector<int> rows);
    void SetRows(std::vector<Cells> rows);
    const std::vector<SRow>& Rows() const { return m_rows; }
    // The state of a row's check or run; every row's at once is cleared.
    void SetOutcome(int nRow, const QString& strState, const QString& strOutcome, const QString& strSeconds,
                    ETone eTone);
    // A room of a run as its row shows it: its phase, and once it ended its outcome and time.
    void ShowRoom(int nRow, const session::SBatchRoom& room);
    // Every room being checked.
    void ShowChecking();
    // A room as its check left it: writable, or why not.
    void ShowCheck(int nRow, const QStringList& problems);
    void ClearOutcomes();

    // The plan columns a cell shows.
    static const char* ColumnKey(int nColumn);

signals:
    // The installer changed a cell (not a run's state).
    void Edited();

private:
    QString OwnValues(const SRow& row) const;

    std::vector<SRow> m_rows;
    bool m_bEditable = true;
};

// Sorts by any column (rows keep their order until a header is clicked)
// and, when asked, shows only the rooms that failed.
class CBatchFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void SetFailedOnly(bool bFailedOnly);
    bool FailedOnly() const { return m_bFailedOnly; }

protected:
    bool filterAcceptsRow(int nSourceRow, const QModelIndex& parent) const override;

private:
    bool m_bFailedOnly = false;
};
