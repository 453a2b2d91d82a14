#pragma once

#include "BatchCheck.h"
#include "BatchPlan.h"
#include "BatchResults.h"
#include "BatchRun.h"
#include "DatagramTransport.h"
#include "SessionEngine.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class CMainConfigDlg;
class CSetResultDlg;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTableWidgetItem;
class QThreadPool;
class QTimer;

// Writes many rooms at once from the window: a table of rooms (from the
// scan, a plan file or typed), the fields to write (each with its tick
// box; a room's own plan values win over these), a check that reads every
// room and shows what would change, and a run of the rooms in parallel,
// each backed up first, with the outcome shown live and written to the
// results file as rooms end. It shares the main window's socket and never
// blocks the window: the engine is driven by a timer and the datagrams the
// window hands on.
class CBatchDlg : public QDialog, private session::IDatagramTransport {
    Q_OBJECT
public:
    struct SOptions {
        int nTickMs = 1000;       // one tick of every wait
        double dPauseScale = 1.0; // the Set's pauses are the wire format's times this
        int nPollMs = 20;         // how often the engine is advanced
    };
    // Rooms ending within this long of each other reach the results file in one write.
    static constexpr int kResultsDelayMs = 100;
    enum EColumn { kColRoom, kColAddress, kColNewIp, kColState, kColOutcome, kColSeconds, kColumns };
    // The fields with a tick box, in the order shown.
    enum EField {
        kServerIp,
        kMask,
        kGateway,
        kLockType,
        kLockTime,
        kOneKey,
        kProjector1,
        kProjector2,
        kSnapshot,
        kFields
    };
    enum class EFileChoice { OpenPlan, SavePlan, Snapshot, Results };

    explicit CBatchDlg(CMainConfigDlg& window, QWidget* pParent = nullptr);
    CBatchDlg(CMainConfigDlg& window, const SOptions& options, QWidget* pParent = nullptr);
    ~CBatchDlg() override;

    // Rows. AddAddresses (the scan's controllers) skips an address already in the table.
    // AddRoom returns the new row (-1 while a run or check goes on).
    int AddRoom(const QString& strRoom, const QString& strAddress, const QString& strNewIp = {});
    void AddAddresses(const QStringList& addresses);
    bool OpenPlan(const QString& strPath);
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

    // Opens the per-field result of a finished room (a table row).
    void ShowRoomResult(int nRow);

    QTableWidget* Table() const { return m_pTable; }
    QPushButton* Button(const QString& strText) const;
    QCheckBox* FieldTick(EField eField) const { return m_pTicks[eField]; }
    QWidget* FieldEditor(EField eField) const { return m_pEditors[eField]; }
    QSpinBox* ParallelSpin() const { return m_pParallel; }
    QLineEdit* ResultsEdit() const { return m_pResults; }
    QPlainTextEdit* CheckReport() const { return m_pReport; }
    QLabel* StatusLabel() const { return m_pStatus; }
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

signals:
    void CheckEnded();
    void RunEnded();

protected:
    void reject() override;

private:
    enum class EState { Idle, Checking, Running };

    void SendTo(const codec::Datagram& datagram, const codec::Ip4& address) override;

    QWidget* BuildFields();
    QPushButton* AddButton(const char* pszText, QWidget* pParent);
    // The table and the ticked fields as a plan; false (and a message) when
    // the table has no room.
    bool BuildPlan(session::SPlanTable& plan);
    std::vector<std::vector<std::string>> PlanRows(bool bWithCommon) const;
    // Says every problem of the plan and returns false when there is any.
    bool RefuseBadPlan(const std::vector<session::SPlanProblem>& problems);
    void MakeEngine(session::ISessionObserver& observer, int nMaxRunning);
    void OnTick();
    void OnRoomChanged(std::size_t nRoom);
    void SaveBackup(session::ExchangeId id, session::SBackup backup);
    void WriteResults();
    // Whether the results file is absent or holds only rooms of the plan being run.
    bool ResultsOfThisPlan(const QString& strResults) const;
    void EndCheck();
    void EndRun();
    void SetBusy(EState eState);
    // Fits the columns other than the outcome to the rows' texts once.
    void FitColumns();
    void SetStatus(const QString& strText);
    void SearchModel(QComboBox* pCombo);
    int RowOf(std::size_t nRoom) const;
    session::TimeMs Now() const { return m_clock.elapsed(); }

    CMainConfigDlg& m_window;
    std::string m_strSearchKeyword;
    bool m_bCloseWhenIdle = false; // closed while busy: closes once the run has ended // the batch's own model search, apart from the code dialog's
    SOptions m_options;
    QTableWidget* m_pTable = nullptr;
    QCheckBox* m_pTicks[kFields] = {};
    QWidget* m_pEditors[kFields] = {};
    QSpinBox* m_pParallel = nullptr;
    QLineEdit* m_pResults = nullptr;
    QPushButton* m_pBrowseResults = nullptr;
    QPlainTextEdit* m_pReport = nullptr;
    QLabel* m_pStatus = nullptr;
    QTimer* m_pTimer = nullptr;
    QTimer* m_pResultsTimer = nullptr; // the results file, once per turn of the event loop
    QThreadPool* m_pBackupPool = nullptr;
    CSetResultDlg* m_pResultDlg = nullptr;
    QElapsedTimer m_clock;

    EState m_eState = EState::Idle;
    QString m_strPlanFolder; // where relative snapshot paths of an opened plan are found
    QString m_strPlanPath;   // the plan file opened last, which no output replaces
    // The rooms of the last check or run, in the table order of that time.
    std::vector<session::SBatchRoom> m_rooms;
    std::vector<QTableWidgetItem*> m_roomItems; // the room cell of each room, found again after a sort
    std::unique_ptr<session::CBatchRun> m_pRun;
    std::unique_ptr<session::CBatchCheck> m_pCheck;
    std::unique_ptr<session::CBatchResults> m_pResultsFile;
    std::unique_ptr<session::CSessionEngine> m_pEngine;
    std::shared_ptr<session::CHistory> m_pHistory;
    unsigned m_nRunSerial = 0; // a backup saved for an earlier run is not taken for this one's
    bool m_bResultsFailed = false;
    bool m_bStopped = false;
    int m_nListenerKey = 0;
};
