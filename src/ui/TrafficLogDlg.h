#pragma once

#include "TrafficLog.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

// The rows of the traffic log that pass the address filter, oldest first.
// It takes what the log gained only when Refresh() is called (a timer's
// tick), so a flood of datagrams costs one update per tick, never one per
// datagram; rows are decoded when they are drawn.
class CTrafficLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum EColumn { kTime, kDirection, kAddress, kKind, kLength, kDecoding, kBytes, kColumnCount };

    explicit CTrafficLogModel(session::CTrafficLog& log, QObject* pParent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation eOrientation,
                        int nRole = Qt::DisplayRole) const override;

    // Takes the datagrams the log gained since the last call.
    void Refresh();
    // Shows only datagrams whose address contains strFilter (empty: all).
    void SetFilter(const QString& strFilter);
    // Empties the log and the table.
    void Clear();
    const session::STrafficEntry& Entry(int nRow) const { return *m_rows[static_cast<std::size_t>(nRow)]; }

    // The window's words for the parts of a line.
    static const session::STrafficWords& Words();

private:
    bool Passes(const session::STrafficEntry& entry) const;

    session::CTrafficLog& m_log;
    std::vector<session::TrafficEntryPtr> m_rows;
    std::uint64_t m_nNextSeq = 0;
    std::string m_strFilter;
};

// 通信记录: every datagram the program sent and received since it started,
// newest last, with a filter by address, 暂停/继续, 保存 as a text file and
// 清除. Not modal: it stays open beside the window while the installer works.
class CTrafficLogDlg : public QDialog {
    Q_OBJECT
public:
    // nRefreshMs: how often the table takes what the log gained.
    explicit CTrafficLogDlg(session::CTrafficLog& log, QWidget* pParent = nullptr, int nRefreshMs = 200);

    // Texts of the controls, also their accessible names.
    static constexpr const char* kPause = "暂停";
    static constexpr const char* kResume = "继续";
    static constexpr const char* kSave = "保存";
    static constexpr const char* kClear = "清除";
    static constexpr const char* kHex = "显示字节";
    static constexpr const char* kFilter = "地址：";

    CTrafficLogModel* Model() const { return m_pModel; }
    QTableView* View() const { return m_pView; }
    QLineEdit* FilterEdit() const { return m_pFilter; }
    QLabel* DroppedLabel() const { return m_pDropped; }
    QPushButton* PauseButton() const { return m_pPause; }
    QCheckBox* HexBox() const { return m_pHex; }
    bool Paused() const { return m_bPaused; }

    // The listed rows as the saved file holds them, one line each.
    QString Text() const;

    void OnRefresh();
    void OnPause();
    void OnSave();
    void OnClear();

    // The file to save to (empty: none); tests replace it.
    std::function<QString()> m_pfnChooseFile;

private:
    void ShowDropped();

    session::CTrafficLog& m_log;
    CTrafficLogModel* m_pModel = nullptr;
    QTableView* m_pView = nullptr;
    QLineEdit* m_pFilter = nullptr;
    QLabel* m_pDropped = nullptr;
    QPushButton* m_pPause = nullptr;
    QCheckBox* m_pHex = nullptr;
    QTimer* m_pTimer = nullptr;
    bool m_bPaused = false;
};
