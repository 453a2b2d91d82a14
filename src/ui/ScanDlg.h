#pragma once

#include "ScanJob.h"
#include "ScanTableModel.h"

#include <QDialog>

#include <functional>
#include <memory>

class CSocketApi;
class CMainConfigDlg;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;

// Finds the controllers in a range of addresses: one query to each, paced,
// over the main window's socket, listing every controller that answers as it
// answers. Addresses that give no reply are then probed with the echo
// request, and those that answer it are listed as "非中控或无响应".
// Activating a row (double-click or Enter) reads that controller in the
// main window.
class CScanDlg : public QDialog {
    Q_OBJECT
public:
    struct SOptions {
        int nQueriesPerSecond = 200;
        int nTickMs = 1000;  // one tick of the query wait
        int nQueryTicks = 3; // a silent address is given up after this many ticks
        int nEchoTimeoutMs = 300;
        bool bProbe = true;             // probe the silent addresses at all
        CSocketApi* pEchoApi = nullptr; // the echo probe's sockets; none: the system's
    };
    // Columns of the result table.
    using EColumn = CScanTableModel::EColumn;
    using enum CScanTableModel::EColumn;

    explicit CScanDlg(CMainConfigDlg& window, QWidget* pParent = nullptr);
    CScanDlg(CMainConfigDlg& window, const SOptions& options, QWidget* pParent = nullptr);
    ~CScanDlg() override;

    // Starts a scan of the range text; false (and a message) when the text is
    // no range or a scan runs.
    bool StartScan();
    void StopScan();
    bool IsScanning() const { return m_bScanning; }

    QLineEdit* RangeEdit() const { return m_pRange; }
    QTableView* Table() const { return m_pTable; }
    // A cell as the table shows it, and the rows shown.
    QString CellText(int nRow, int nColumn) const;
    int RowCount() const;
    QProgressBar* Progress() const { return m_pProgress; }
    QPushButton* StartButton() const { return m_pStart; }
    QPushButton* StopButton() const { return m_pStop; }
    QLabel* StatusLabel() const { return m_pStatus; }
    QLabel* ProbeNote() const { return m_pProbeNote; }
    QPushButton* AddToBatchButton() const { return m_pAddToBatch; }
    QPushButton* ExportButton() const { return m_pExport; }

    // The controllers of the selected rows, or of every row when none is
    // selected (rows that only answered the echo probe are no controllers).
    QStringList ControllerAddresses() const;
    // "加入批量": hands ControllerAddresses() to the batch dialog.
    void OnAddToBatch();
    // "导出清单": the controllers found as a plan file (room left empty,
    // address, server IP, mask, gateway, lock and projector models) that
    // the batch reads back. False (and a message) when it cannot be saved.
    bool ExportInventory(const QString& strPath);
    // The file 导出清单 writes (empty: none); tests replace it.
    std::function<QString()> m_pfnChooseExportFile;
    // How many queries went out in the present or last scan.
    std::size_t QueriesSent() const { return m_pJob ? m_pJob->Counts().nQueriesSent : 0; }

signals:
    void ScanEnded(bool bStopped);
    void AddToBatch(const QStringList& addresses);

protected:
    void reject() override;

private:
    void OnTick();
    void ShowProgress();
    void Finish();
    void SetStatus(const QString& strText);
    void OnActivated(int nRow);
    // The scan's reads leave the program's engine; none are queued or running.
    void LeaveEngine();

    CMainConfigDlg& m_window;
    SOptions m_options;
    QLineEdit* m_pRange = nullptr;
    QPushButton* m_pStart = nullptr;
    QPushButton* m_pStop = nullptr;
    QPushButton* m_pAddToBatch = nullptr;
    QPushButton* m_pExport = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QLabel* m_pStatus = nullptr;
    QLabel* m_pProbeNote = nullptr;
    CScanTableModel* m_pModel = nullptr;
    QTableView* m_pTable = nullptr;
    QTimer* m_pTimer = nullptr;

    bool m_bScanning = false;
    bool m_bProbeRefusalSaid = false;
    session::ClientId m_nClient = 0;           // the scan as a client of the program's engine (0: none)
    std::unique_ptr<session::CScanJob> m_pJob; // the present or last scan
};
