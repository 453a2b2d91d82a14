#pragma once

#include "BatchFields.h"
#include "BatchTableModel.h"

#include <QString>

#include <functional>

class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;

// The controls of the batch dialog, laid out on it: the rooms' table with
// its filter, the common fields, the run row (parallel rooms, results
// file), the progress and status, the buttons and the check report; and the
// file dialogs the installer picks files in. The dialog connects them; the
// buttons are named by the dialog's texts (CBatchDlg::kAdd, ...).
class CBatchControls {
public:
    enum class EFileChoice { OpenPlan, SavePlan, Snapshot, Results };

    // pfnChooseSnapshot: the snapshot file a common field takes.
    CBatchControls(QDialog& dialog, std::function<QString()> pfnChooseSnapshot);

    QPushButton* Button(const QString& strText) const;
    // A file dialog for the installer's choice (empty: none).
    QString ChooseFile(EFileChoice eChoice);
    void SetStatus(const QString& strText);
    // Idle, the plan can be edited and a check or run started; busy, only stopped.
    void SetIdle(bool bIdle);

    CBatchTableModel* m_pModel = nullptr;
    CBatchFilterModel* m_pFilter = nullptr;
    QTableView* m_pTable = nullptr;
    CBatchFields* m_pFields = nullptr;
    QCheckBox* m_pFailedOnly = nullptr;
    QSpinBox* m_pParallel = nullptr;
    QLineEdit* m_pResults = nullptr;
    QPushButton* m_pBrowseResults = nullptr;
    QPushButton* m_pClose = nullptr;
    QPlainTextEdit* m_pReport = nullptr;
    QLabel* m_pStatus = nullptr;
    QProgressBar* m_pProgress = nullptr;

private:
    QPushButton* AddButton(const char* pszText);

    QDialog& m_dialog;
};
