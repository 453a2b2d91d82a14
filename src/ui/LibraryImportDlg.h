#pragma once

#include "DialogBase.h"

#include <string>

class CImportPreviewModel;
class QProgressBar;
class QTableView;

namespace library {
class CImportPreview;
}

// The preview of an import ("导入预览"): every row of the file or of the
// other data.mdb with its class (新增, 相同, 冲突, 无效) and, for an invalid
// row, the reason. For conflicting rows the installer keeps the library's
// codes or takes the imported ones, for the selected rows or for all of them.
// Nothing is written before "确认导入"; then everything is written in one
// transaction, or, on a failure, nothing.
class CLibraryImportDlg : public CDialogBase {
    Q_OBJECT
public:
    CLibraryImportDlg(library::CImportPreview& preview, std::string strLibraryPath,
                      QWidget* pParent = nullptr);

    enum {
        IDC_SUMMARY = 1101,
        IDC_PREVIEW_LIST = 1102,
        IDC_KEEP = 1103,
        IDC_TAKE = 1104,
        IDC_KEEP_ALL = 1105,
        IDC_TAKE_ALL = 1106,
        IDC_PROGRESS = 1107,
        IDC_ENCODING_CHOICE = 1108,
        IDC_ENCODING = 1109,
    };

    QTableView* ListView() const { return m_list; }
    CImportPreviewModel* PreviewModel() const { return m_pModel; }
    // After a confirmed import: what was written.
    const std::string& ResultMessage() const { return m_strResult; }

    void OnKeep();
    void OnTake();
    void OnKeepAll();
    void OnTakeAll();
    void OnOK();
    // Reads the file again as UTF-8 or GBK, or as the guess has it.
    void OnEncodingChosen(int nChoice);

    // How long the write waits for a lock held elsewhere (tests shorten it).
    int m_nBusyTimeoutMs = 2000;

private:
    void ChooseForSelection(bool bTake);
    void ShowSummary();
    void EnableChoices();

    library::CImportPreview& m_preview;
    std::string m_strLibraryPath;
    std::string m_strResult;
    CImportPreviewModel* m_pModel = nullptr;
    QTableView* m_list = nullptr;
    QProgressBar* m_pProgress = nullptr;
};
