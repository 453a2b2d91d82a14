#pragma once

#include "Diagnosis.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <thread>

class QLabel;
class QPushButton;
class QTableWidget;

// Why a controller does not answer: each check of the diagnosis with ✓, ✗
// or ?, the conclusion and what to do next. The diagnosis takes a few
// seconds of waiting, so it runs on a thread of its own and the dialog fills
// when it ends; "复制" puts the report on the clipboard for a support call.
class CDiagnosisDlg : public QDialog {
    Q_OBJECT
public:
    using RunFn = std::function<session::SDiagnosis(const codec::Ip4&)>;

    CDiagnosisDlg(const codec::Ip4& address, RunFn pfnRun, QWidget* pParent = nullptr);
    ~CDiagnosisDlg() override;

    // Texts of the controls, also their accessible names.
    static constexpr const char* kCopy = "复制";
    static constexpr const char* kAgain = "重新诊断";
    static constexpr const char* kClose = "关闭";

    // Starts the diagnosis (again); the dialog says it is running meanwhile.
    void Start();
    bool Running() const { return m_bRunning; }
    QTableWidget* Table() const { return m_pTable; }
    QLabel* Conclusion() const { return m_pConclusion; }
    // The whole report as "复制" copies it; empty while it runs.
    QString ReportText() const;
    void OnCopy();

signals:
    void Finished();

private:
    void Show(const session::SDiagnosis& d);

    codec::Ip4 m_address;
    RunFn m_pfnRun;
    std::thread m_worker;
    bool m_bRunning = false;
    bool m_bHaveResult = false;
    session::SDiagnosis m_result;
    QLabel* m_pStatus = nullptr;
    QTableWidget* m_pTable = nullptr;
    QLabel* m_pConclusion = nullptr;
    QPushButton* m_pCopy = nullptr;
    QPushButton* m_pAgain = nullptr;
};
