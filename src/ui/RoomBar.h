#pragma once

#include "DiagnosisDlg.h"
#include "Snapshot.h"

#include <QKeySequence>
#include <QString>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

class CBatchDlg;
class CMainConfigDlg;
class CScanDlg;
class CSetResultDlg;
class CTrafficLogDlg;
class QPushButton;

// The rows of buttons under the main window's controls for the work across
// many rooms: find controllers, save and load a room, the backups kept
// before each Set, what the last Set changed, and the microphone linkage.
// It widens the window's frame downwards by one row and moves no control;
// on a screen too short for both, the controls scroll above it.
class CRoomBar : public QWidget {
    Q_OBJECT
public:
    explicit CRoomBar(CMainConfigDlg& window);
    ~CRoomBar() override;

    // Button texts, also their accessible names.
    static constexpr const char* kFind = "查找中控";
    static constexpr const char* kSave = "保存配置";
    static constexpr const char* kLoad = "载入配置";
    static constexpr const char* kHistory = "历史记录";
    static constexpr const char* kSetResult = "设置结果";
    static constexpr const char* kMicSettings = "话筒具体设置";
    static constexpr const char* kBatch = "批量设置";
    static constexpr const char* kDiagnose = "诊断";
    static constexpr const char* kTrafficLog = "通信记录";

    QPushButton* Button(const char* pszText) const;

    // Handlers of the buttons.
    void OnFind();
    void OnSave();
    void OnLoad();
    void OnHistory();
    void OnSetResult();
    void OnBatch();
    // Diagnoses the controller in "初始IP：" in a dialog of its own.
    void OnDiagnose();
    // Opens the diagnosis dialog for any address (a message box's "诊断", a
    // room of the batch); a diagnosis already running is shown instead.
    void DiagnoseAddress(const codec::Ip4& address);
    // Shows the traffic log, made on first use and kept.
    void OnTrafficLog();

    // Loads a snapshot file into the window; a file that is refused leaves
    // the window exactly as it was. True when it was loaded.
    bool LoadFile(const QString& strPath);

    // The file the installer picks (empty: none); tests replace it.
    enum class EFileChoice { Save, Open };
    std::function<QString(EFileChoice)> m_pfnChooseFile;
    // Runs the history list; returns the chosen file or nothing. Tests replace it.
    std::function<std::optional<std::filesystem::path>(const std::vector<std::filesystem::path>&)>
        m_pfnRunHistory;
    // The scan's timing, for the dialog made on the first 查找中控.
    std::function<CScanDlg*(CMainConfigDlg&, QWidget*)> m_pfnMakeScanDlg;
    // The batch's timing, for the dialog made on the first 批量设置 (or 加入批量).
    std::function<CBatchDlg*(CMainConfigDlg&, QWidget*)> m_pfnMakeBatchDlg;

    // Runs the diagnosis of an address beside the window's own socket; tests
    // shorten its waits through m_diagnosisTiming or replace it.
    CDiagnosisDlg::RunFn m_pfnDiagnose;
    session::SDiagnosisTiming m_diagnosisTiming;

    CDiagnosisDlg* DiagnosisDialog() const { return m_pDiagnosis; }
    CTrafficLogDlg* TrafficLogDialog() const { return m_pTrafficLog; }
    CScanDlg* ScanDialog() const { return m_pScan; }
    CSetResultDlg* SetResultDialog() const { return m_pSetResult; }
    CBatchDlg* BatchDialog() const { return m_pBatch; }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    QPushButton* AddButton(const char* pszText, const QKeySequence& shortcut, void (CRoomBar::*pHandler)());
    void FollowMicButton();
    void OnSetEnded();
    void ShowSetResult();

    CMainConfigDlg& m_window;
    CScanDlg* m_pScan = nullptr;
    CSetResultDlg* m_pSetResult = nullptr;
    CBatchDlg* m_pBatch = nullptr;
    CDiagnosisDlg* m_pDiagnosis = nullptr;
    CTrafficLogDlg* m_pTrafficLog = nullptr;
    QWidget* m_pMicButton = nullptr;
    std::vector<QPushButton*> m_buttons; // in their order on the bar
    QString m_strLastSetAddress;         // the controller the last Set wrote
};
