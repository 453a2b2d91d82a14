#pragma once

#include "BatchCheck.h"
#include "BatchControls.h"
#include "BatchJob.h"
#include "BatchPlan.h"
#include "SessionEngine.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class CBackupSaver;
class CMainConfigDlg;
class CSetResultDlg;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;

// Writes many rooms at once from the window. The table is the plan: each
// row a room (from the scan, a plan file or typed) with every value its
// plan row carries; the ticked common fields fill what a room does not say
// itself. A check reads every room and shows what would change; a run
// writes the rooms in parallel, each backed up first, with the outcome shown
// live, counted in the progress bar and written to the results file as
// rooms end. Its check and run are clients of the program's one engine
// beside the window and the scan, driven by a timer: it never blocks the
// window, and no controller is in two exchanges at once.
class CBatchDlg : public QDialog {
    Q_OBJECT
public:
    struct SOptions {
        int nTickMs = 1000;       // one tick of every wait
        double dPauseScale = 1.0; // the Set's pauses are the wire format's times this
        int nPollMs = 20;         // how often the engine is advanced
    };
    // Rooms ending within this long of each other reach the results file in one write.
    static constexpr int kResultsDelayMs = 100;
    using EColumn = CBatchTableModel::EColumn;
    using enum CBatchTableModel::EColumn;
    using EField = CBatchFields::EField;
    using enum CBatchFields::EField;
    using EFileChoice = CBatchControls::EFileChoice;

    explicit CBatchDlg(CMainConfigDlg& window, QWidget* pParent = nullptr);
    CBatchDlg(CMainConfigDlg& window, const SOptions& options, QWidget* pParent = nullptr);
    ~CBatchDlg() override;

    // Rows. AddAddresses (the scan's controllers) skips an address already in the table.
    // AddRoom returns the new row (-1 while a run or check goes on).
    int AddRoom(const QString& strRoom, const QString& strAddress, const QString& strNewIp = {});
    void AddAddresses(const QStringList& addresses);
    bool OpenPlan(const QString& strPath);
    // Saves what the dialog would write: the rooms with their own values
    // and the ticked fields.
    bool SavePlan(const QString& strPath);
    void RemoveSelectedRooms();

    // The check: false (and a message) when the plan is refused before
    // anything is sent; else the reads start and CheckEnded follows.
    bool StartCheck();
    // The run of every room, or (bRetry) of the rooms that did not end ok.
    bool StartRun(bool bRetry = false);
    bool RetryFailed() { return StartRun(true); }
    void Stop();
    bool IsBusy() const { return m_eState != EState::Idle; }
    // Asks whether a run with rooms being set may stop (default no) and
    // stops it when it may; a check stops without asking. False: go on.
    bool AskToStop();

    // Opens the per-field result of a finished room (a row as the table shows it).
    void ShowRoomResult(int nRow);
    // Shows only the rooms that failed, or every room.
    void ShowFailedOnly(bool bFailedOnly);

    QTableView* Table() const { return m_ui.m_pTable; }
    // A cell as the table shows it (sorted and filtered), and the rows shown.
    QString CellText(int nRow, int nColumn) const;
    int RowCount() const;
    CBatchTableModel* Model() const { return m_ui.m_pModel; }
    QPushButton* Button(const QString& strText) const { return m_ui.Button(strText); }
    QCheckBox* FieldTick(EField eField) const { return m_ui.m_pFields->Tick(eField); }
    QWidget* FieldEditor(EField eField) const { return m_ui.m_pFields->Editor(eField); }
    QSpinBox* ParallelSpin() const { return m_ui.m_pParallel; }
    QLineEdit* ResultsEdit() const { return m_ui.m_pResults; }
    QPlainTextEdit* CheckReport() const { return m_ui.m_pReport; }
    QLabel* StatusLabel() const { return m_ui.m_pStatus; }
    QProgressBar* Progress() const { return m_ui.m_pProgress; }
    CSetResultDlg* ResultDialog() const { return m_pResultDlg; }
    const std::vector<session::SBatchRoom>& Rooms() const { return m_rooms; }

    // The file the installer picks (empty: none); tests replace it.
    std::function<QString(EFileChoice)> m_pfnChooseFile;

    // Button texts, also their accessible names.
    static constexpr const char* kAdd = "添加";
    static constexpr const char* kRemove = "删除";
    static constexpr const char* kOpen = "打开计划";
    static constexpr const char* kSave = "保存计划";
    static constexpr const char* kBrowseResults = "浏览…";
    static constexpr const char* kCheck = "检查";
    static constexpr const char* kStart = "开始";
    static constexpr const char* kStop = "停止";
    static constexpr const char* kRetry = "重试失败";
    static constexpr const char* kDiagnose = "诊断";
    static constexpr const char* kFailedOnly = "只显示失败的房间";

signals:
    void CheckEnded();
    void RunEnded();
    // "诊断" on a room that did not answer: the window diagnoses its address.
    void DiagnoseAddress(const QString& strAddress);

protected:
    void reject() override;

private:
    enum class EState { Idle, Checking, Running };

    // The table and the ticked fields as a plan; false (and a message) when
    // the table has no room.
    bool BuildPlan(session::SPlanTable& plan);
    std::vector<std::vector<std::string>> PlanRows(bool bSaving) const;
    // Says every problem of the plan and returns false when there is any.
    bool RefuseBadPlan(const std::vector<session::SPlanProblem>& problems);
    // The check or the run becomes a client of the program's engine; LeaveEngine ends that.
    void JoinEngine(session::ISessionObserver& observer, int nMaxRunning);
    void LeaveEngine();
    // The plan changed: the last check and run no longer describe it.
    void PlanChanged();
    void OnTick();
    void OnRoomChanged(std::size_t nRoom);
    void ShowProgress();
    void EndCheck();
    void EndRun();
    void SetBusy(EState eState);
    // The room of a row as the table shows it (none: -1).
    int RoomOfRow(int nRow) const;
    void FollowCurrentRow();
    session::TimeMs Now() const;

    CMainConfigDlg& m_window;
    bool m_bCloseWhenIdle = false; // closed while busy: closes once the run has ended
    SOptions m_options;
    CBatchControls m_ui;
    QTimer* m_pTimer = nullptr;
    QTimer* m_pResultsTimer = nullptr; // the results file, once per turn of the event loop
    CBackupSaver* m_pBackups = nullptr;
    CSetResultDlg* m_pResultDlg = nullptr;

    EState m_eState = EState::Idle;
    QString m_strPlanFolder; // where relative snapshot paths of an opened plan are found
    QString m_strPlanPath;   // the plan file opened last, which no output replaces
    // The rooms of the last check or run, one per table row while the rows
    // are those of that time (m_bRoomsAreRows).
    std::vector<session::SBatchRoom> m_rooms;
    bool m_bRoomsAreRows = false;
    session::CBatchJob m_job{m_rooms, [this] { return Now(); }};
    session::ClientId m_nClient = 0; // the check or run as a client of the program's engine (0: none)
};
