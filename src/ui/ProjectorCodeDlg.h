#pragma once

#include "DialogBase.h"

#include <QString>

#include <string>

class CProjectorTableModel;
namespace library {
class CImportPreview;
struct SModelRecord;
} // namespace library
class QComboBox;
class QPlainTextEdit;
class QPushButton;
class QStringListModel;
class QTableView;

// The projector code library: lists every model of the DATA table with its
// serial settings and four control codes, adds, saves and deletes models,
// finds models by keyword and hands the chosen model's code bundle to the
// main window ("返回投影机代码").
class CProjectorCodeDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CProjectorCodeDlg(QWidget* pParent = nullptr);
    ~CProjectorCodeDlg() override;

    CProjectorTableModel* TableModel() const { return m_pTable; }
    QTableView* ListView() const { return m_list; }

    // Handlers of the list and the buttons.
    void OnClickList();
    void OnAdd();
    void OnSave();
    void OnDelete();
    void OnFind();
    void OnShowModel();
    void OnAsciiToHex();
    void OnOK();
    // Sharing the library: every model to a CSV file, and models in from a
    // CSV file or another data.mdb through the import preview.
    void OnExport();
    void OnImport();

    // One list cell; column 0 inserts a new row at nRow.
    void SetCellText(int nRow, int nColumn, const std::string& strText);

    // Control ids.
    enum {
        IDC_MODEL = 1014,
        IDC_BAUD = 1015,
        IDC_PARITY = 1016,
        IDC_ASCII_TO_HEX = 1017,
        IDC_VGA = 1018,
        IDC_VIDEO = 1019,
        IDC_POWER_ON = 1020,
        IDC_POWER_OFF = 1021,
        IDC_LIST = 1023,
        IDC_FIND = 1030,
        IDC_SHOW_MODEL = 1031,
        IDC_SHOW_MODEL_COMBO = 1032,
        IDC_ADD = 1033,
        IDC_SAVE = 1034,
        IDC_DELETE = 1035,
        IDC_EXPORT = 1040,
        IDC_IMPORT = 1041,
    };

    // The current record, exchanged with the controls.
    int m_nSelectedRow = 0;    // list row of the last row click or delete
    bool m_bRowChosen = false; // a row was clicked since the list last changed
    QString m_strModel;
    QString m_strVga;
    QString m_strVideo;
    QString m_strPowerOff;
    QString m_strParity;
    QString m_strBaud;
    QString m_strPowerOn;
    QString m_strShowModel;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    // Selects a found model by its place in the list (-1: none).
    void SelectShownModel(int nIndex);
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    // Runs the keyword dialog modally and returns its result; tests answer it
    // themselves.
    virtual int RunSearchDialog();
    // The files of an export and an import, asked of the installer ("" when
    // they cancel); tests answer them themselves.
    virtual QString ChooseExportFile();
    virtual QString ChooseImportFile();
    // Runs the import preview modally; on confirm, strResult says what was
    // written.
    virtual int RunImportPreview(library::CImportPreview& preview, std::string& strResult);

private:
    void OnInitDialog();
    void FillList();
    // Reads the whole list again, after an import changed the library.
    void ReloadList();
    void EnableEntry(bool bEnable);
    // The list row the installer has highlighted, -1 for none.
    int HighlightedRow() const;
    // The current record's seven fields, as the library takes them.
    library::SModelRecord Record() const;
    void SetRecord(const library::SModelRecord& record);
    void SetFoundModels(const QStringList& models);

    CProjectorTableModel* m_pTable = nullptr;
    QTableView* m_list = nullptr;
    QComboBox* m_comboShowModel = nullptr;
    QStringListModel* m_pFoundModels = nullptr;
    QComboBox* m_comboBaud = nullptr;
    QComboBox* m_comboParity = nullptr;
    QPushButton* m_btnAsciiToHex = nullptr;
};
