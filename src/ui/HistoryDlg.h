#pragma once

#include "Snapshot.h"

#include <QDialog>

#include <filesystem>
#include <optional>
#include <vector>

class QPushButton;
class QTableWidget;

// The backups kept before each Set of one controller, newest first: when it
// was taken and what changed compared with the backup before it. Choosing
// one ("载入" or a double-click) ends the dialog with that snapshot.
class CHistoryDlg : public QDialog {
    Q_OBJECT
public:
    // `files` oldest first, as the history lists them.
    // strController (the address whose backups these are) goes into the title.
    explicit CHistoryDlg(const std::vector<std::filesystem::path>& files, const QString& strController = {},
                         QWidget* pParent = nullptr);

    QTableWidget* Table() const { return m_pTable; }
    QPushButton* LoadButton() const { return m_pLoad; }
    // The file of a table row; what was chosen once the dialog is accepted.
    const std::filesystem::path& FileOfRow(int nRow) const;
    std::optional<std::filesystem::path> Chosen() const { return m_chosen; }

    // "服务器IP、电控锁时间": the fields in which `later` differs from `earlier`.
    static QString ChangesText(const session::SControllerSettings& earlier,
                               const session::SReadResult& later);

private:
    void OnLoad();

    std::vector<std::filesystem::path> m_rows; // newest first
    QTableWidget* m_pTable = nullptr;
    QPushButton* m_pLoad = nullptr;
    std::optional<std::filesystem::path> m_chosen;
};
