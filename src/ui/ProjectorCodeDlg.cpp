#include "ProjectorCodeDlg.h"
#include "CodeLibrary.h"
#include "DataExchange.h"

#include "FileFolders.h"
#include "codec/Numbers.h"

#include "Database.h"
#include "ImportPreview.h"
#include "LibraryImportDlg.h"
#include "LibraryWriter.h"
#include "MessageBox.h"
#include "ModelRules.h"
#include "ModelSearchDlg.h"
#include "ProgramValues.h"
#include "ProjectorTableModel.h"
#include "Resources.h"
#include "Words.h"
#include "codec/CodeBundle.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStringListModel>
#include <QTableView>

#include <algorithm>
#include <array>

namespace {

static_assert(library::kMaxCodeDigits == static_cast<int>(codec::kMaxCodeBytes) * 2,
              "a code the rules accept must fit a bundle block");

void Say(const QString& strText) {
    MessageBoxShow(strText);
}

void Say(words::ECodePrompt ePrompt) {
    Say(words::CodePromptText(ePrompt));
}

// Shows what a read found, if anything.
void Say(library::ECodeNotice eNotice) {
    if (eNotice != library::ECodeNotice::None)
        Say(words::CodeNoticeText(eNotice));
}

} // namespace

CProjectorCodeDlg::CProjectorCodeDlg(QWidget* pParent)
    : CDialogBase(104, pParent), m_pTable(new CProjectorTableModel(this)) {
    m_list = ControlAs<QTableView>(IDC_LIST);
    m_comboShowModel = ControlAs<QComboBox>(IDC_SHOW_MODEL_COMBO);
    m_comboBaud = ControlAs<QComboBox>(IDC_BAUD);
    m_comboParity = ControlAs<QComboBox>(IDC_PARITY);
    m_btnAsciiToHex = ControlAs<QPushButton>(IDC_ASCII_TO_HEX);

    // The found models can be the whole library: a plain string list serves
    // them, and the combo never measures every item for its size.
    m_pFoundModels = new QStringListModel(this);
    m_comboShowModel->setModel(m_pFoundModels);
    m_comboShowModel->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    SelectShownModel(-1);

    // The code edits scroll sideways instead of wrapping a long code.
    for (int nId : {IDC_VGA, IDC_VIDEO, IDC_POWER_ON, IDC_POWER_OFF})
        if (auto* pEdit = ControlAs<QPlainTextEdit>(nId))
            pEdit->setLineWrapMode(QPlainTextEdit::NoWrap);

    // The list in report mode: headings, no row numbers, whole rows selected,
    // every row the same height so a long library lays out at once.
    m_list->setModel(m_pTable);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QTableView::clicked, this, [this] { OnClickList(); });

    // The list's context menu reaches export and import as well.
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (const auto& [pszText, handler] : {std::pair{"导出代码库…", &CProjectorCodeDlg::OnExport},
                                           std::pair{"导入代码库…", &CProjectorCodeDlg::OnImport}}) {
        auto* pAction = new QAction(QString::fromUtf8(pszText), m_list);
        connect(pAction, &QAction::triggered, this, handler);
        m_list->addAction(pAction);
    }

    const std::array<std::pair<int, void (CProjectorCodeDlg::*)()>, 10> buttons{{
        {IDC_ADD, &CProjectorCodeDlg::OnAdd},
        {IDC_SAVE, &CProjectorCodeDlg::OnSave},
        {IDC_DELETE, &CProjectorCodeDlg::OnDelete},
        {IDC_FIND, &CProjectorCodeDlg::OnFind},
        {IDC_SHOW_MODEL, &CProjectorCodeDlg::OnShowModel},
        {IDC_ASCII_TO_HEX, &CProjectorCodeDlg::OnAsciiToHex},
        {IDC_EXPORT, &CProjectorCodeDlg::OnExport},
        {IDC_IMPORT, &CProjectorCodeDlg::OnImport},
        {1, &CProjectorCodeDlg::OnOK},
        {2, &QDialog::reject},
    }};
    for (const auto& [nId, handler] : buttons)
        if (auto* pButton = ControlAs<QPushButton>(nId))
            connect(pButton, &QPushButton::clicked, this, handler);

    OnInitDialog();
}

CProjectorCodeDlg::~CProjectorCodeDlg() = default;

void CProjectorCodeDlg::SelectShownModel(int nIndex) {
    CDataExchange dx(*this, false);
    dx.Index(IDC_SHOW_MODEL_COMBO, nIndex);
}

void CProjectorCodeDlg::DoDataExchange(CDataExchange& dx) {
    const std::array<std::pair<int, QString*>, 8> fields{{
        {IDC_MODEL, &m_strModel},
        {IDC_VGA, &m_strVga},
        {IDC_VIDEO, &m_strVideo},
        {IDC_POWER_OFF, &m_strPowerOff},
        {IDC_PARITY, &m_strParity},
        {IDC_BAUD, &m_strBaud},
        {IDC_POWER_ON, &m_strPowerOn},
        {IDC_SHOW_MODEL_COMBO, &m_strShowModel},
    }};
    for (const auto& [nId, pField] : fields)
        dx.Text(nId, *pField);
}

bool CProjectorCodeDlg::eventFilter(QObject* pWatched, QEvent* pEvent) {
    // A click below the last row reaches no cell and raises no clicked signal;
    // it is still a click in the list.
    if (pWatched == m_list->viewport() && pEvent->type() == QEvent::MouseButtonRelease) {
        auto* pMouse = static_cast<QMouseEvent*>(pEvent);
        if (pMouse->button() == Qt::LeftButton && !m_list->indexAt(pMouse->position().toPoint()).isValid())
            QMetaObject::invokeMethod(this, &CProjectorCodeDlg::OnClickList, Qt::QueuedConnection);
    }
    return CDialogBase::eventFilter(pWatched, pEvent);
}

void CProjectorCodeDlg::OnInitDialog() {
    UpdateData(false);
    FillList();
}

void CProjectorCodeDlg::ReloadList() {
    m_pTable->Clear();
    // The rows moved: the remembered row no longer shows what was clicked.
    m_bRowChosen = false;
    FillList();
}

void CProjectorCodeDlg::SetCellText(int nRow, int nColumn, const std::string& strText) {
    m_pTable->SetCellText(nRow, nColumn, strText);
}

void CProjectorCodeDlg::FillList() {
    // The list gets its columns only once the read has started; the fill
    // does not signal row by row.
    bool bLoading = false;
    const library::SListRead read = library::ReadModelList(
        [this] {
            m_list->setShowGrid(true);
            m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
            m_pTable->InsertColumns();
            // The columns keep their own widths: some styles (Windows) would
            // widen the narrow ones to the header's minimum.
            m_list->horizontalHeader()->setMinimumSectionSize(1);
            for (int i = 0; i < CProjectorTableModel::kColumns; ++i)
                m_list->horizontalHeader()->resizeSection(i, CProjectorTableModel::ColumnWidth(i));
        },
        [&](int nRow, int nColumn, const std::string& strText) {
            if (!bLoading)
                m_pTable->BeginBulkLoad();
            bLoading = true;
            SetCellText(nRow, nColumn, strText);
        });
    if (bLoading)
        m_pTable->EndBulkLoad();
    Say(read.eNotice);
    if (read.error)
        ReportDatabaseError(*read.error);
}

void CProjectorCodeDlg::EnableEntry(bool bEnable) {
    for (int nId :
         {IDC_MODEL, IDC_VGA, IDC_VIDEO, IDC_POWER_ON, IDC_POWER_OFF, IDC_PARITY, IDC_BAUD, IDC_ASCII_TO_HEX})
        EnableItem(nId, bEnable);
}

void CProjectorCodeDlg::OnClickList() {
    int nRow = -1;
    if (QItemSelectionModel* pSelection = m_list->selectionModel()) {
        for (const QModelIndex& index : pSelection->selectedIndexes())
            if (nRow < 0 || index.row() < nRow)
                nRow = index.row();
    }
    if (nRow < 0) {
        Say(words::ECodePrompt::ChooseRow);
        return;
    }
    const std::array<QString*, CProjectorTableModel::kColumns> fields{
        &m_strModel, &m_strBaud, &m_strParity, &m_strVga, &m_strVideo, &m_strPowerOn, &m_strPowerOff};
    for (int nColumn = 0; nColumn < CProjectorTableModel::kColumns; ++nColumn)
        *fields[static_cast<std::size_t>(nColumn)] =
            QString::fromStdString(m_pTable->CellText(nRow, nColumn));
    UpdateData(false);
    m_nSelectedRow = nRow;
    m_bRowChosen = true;
    EnableEntry(false);
}

void CProjectorCodeDlg::OnAdd() {
    for (QString* pField :
         {&m_strModel, &m_strVga, &m_strVideo, &m_strPowerOn, &m_strPowerOff, &m_strParity, &m_strBaud})
        pField->clear();
    UpdateData(false);
    CDataExchange dx(*this, false);
    int nNone = -1;
    dx.Index(IDC_BAUD, nNone);
    dx.Index(IDC_PARITY, nNone);
    EnableEntry(true);
}

library::SModelRecord CProjectorCodeDlg::Record() const {
    return library::SModelRecord{m_strModel.toStdString(),   m_strBaud.toStdString(),
                                 m_strParity.toStdString(),  m_strVga.toStdString(),
                                 m_strVideo.toStdString(),   m_strPowerOn.toStdString(),
                                 m_strPowerOff.toStdString()};
}

void CProjectorCodeDlg::SetRecord(const library::SModelRecord& record) {
    m_strModel = QString::fromStdString(record.model);
    m_strBaud = QString::fromStdString(record.baud);
    m_strParity = QString::fromStdString(record.parity);
    m_strVga = QString::fromStdString(record.vga);
    m_strVideo = QString::fromStdString(record.video);
    m_strPowerOn = QString::fromStdString(record.powerOn);
    m_strPowerOff = QString::fromStdString(record.powerOff);
}

void CProjectorCodeDlg::OnSave() {
    if (!CDatabase::CheckWritableMedium()) {
        Say(words::ECodePrompt::ReadOnlySave);
        return;
    }
    UpdateData(true);
    const library::SModelRecord record = Record();
    const library::SSaveResult result = library::SaveModel(record);
    Say(result.eNotice);
    if (result.checkError)
        ReportDatabaseError(*result.checkError);
    if (result.insertError) {
        ReportDatabaseError(*result.insertError);
        return;
    }
    if (result.eOutcome == library::ESaveOutcome::Saved) {
        // The new model goes on top, where the installer sees it, without a reload.
        const std::array<const std::string*, CProjectorTableModel::kColumns> values{
            &record.model, &record.baud,    &record.parity,  &record.vga,
            &record.video, &record.powerOn, &record.powerOff};
        for (int nColumn = 0; nColumn < CProjectorTableModel::kColumns; ++nColumn)
            SetCellText(0, nColumn, *values[static_cast<std::size_t>(nColumn)]);
        // The rows moved down: the remembered row no longer shows what was clicked.
        m_bRowChosen = false;
    }
    Say(words::CodeSaveText(result));
}

int CProjectorCodeDlg::HighlightedRow() const {
    // The list's current row is where the mouse clicked or the keyboard
    // moved; it counts only while it is highlighted.
    const QModelIndex current = m_list->currentIndex();
    QItemSelectionModel* pSelection = m_list->selectionModel();
    if (!current.isValid() || !pSelection || !pSelection->isRowSelected(current.row(), current.parent()))
        return -1;
    return current.row();
}

void CProjectorCodeDlg::OnDelete() {
    if (!CDatabase::CheckWritableMedium()) {
        Say(words::ECodePrompt::ReadOnlyDelete);
        return;
    }
    // The model deleted is the one highlighted now, not the row last
    // clicked: the keyboard may have moved on since.
    const int nRow = HighlightedRow();
    if (nRow < 0 || nRow >= m_pTable->rowCount()) {
        Say(words::ECodePrompt::ChooseToDelete);
        return;
    }
    const std::string strModel = m_pTable->CellText(nRow, 0);
    if (!MessageBoxAsk(words::DeleteQuestion(strModel), true))
        return;
    m_nSelectedRow = nRow;
    if (const std::optional<CDatabaseError> error = library::DeleteModel(strModel)) {
        ReportDatabaseError(*error);
        return;
    }
    m_pTable->RemoveRow(nRow);
    // The row that moves up into its place was not chosen: the next delete
    // needs a new choice.
    if (QItemSelectionModel* pSelection = m_list->selectionModel())
        pSelection->clearSelection();
    m_bRowChosen = false;
    Say(words::ECodePrompt::Deleted);
}

int CProjectorCodeDlg::RunSearchDialog() {
    CModelSearchDlg dlg(this);
    return dlg.DoModal();
}

void CProjectorCodeDlg::SetFoundModels(const QStringList& models) {
    m_pFoundModels->setStringList(models);
    SelectShownModel(models.isEmpty() ? -1 : 0);
}

void CProjectorCodeDlg::OnFind() {
    // "取消" ends the search: the combo and the last keyword stay as they were.
    if (RunSearchDialog() != QDialog::Accepted)
        return;
    SetFoundModels(QStringList());
    const library::SSearchResult result = library::SearchModels(g_strSearchKeyword);
    g_strSearchKeyword = result.strKeyword;
    Say(result.eNotice);
    if (result.eNotice == library::ECodeNotice::KeywordEmpty)
        return;
    // After the search this holds the last model in the statement's order.
    if (!result.models.empty())
        m_strShowModel = QString::fromStdString(result.strLastFound);
    QStringList models;
    models.reserve(static_cast<qsizetype>(result.models.size()));
    for (const std::string& strModel : result.models)
        models << QString::fromStdString(strModel);
    // Models found before a database error stay in the combo.
    if (result.error) {
        m_pFoundModels->setStringList(models);
        ReportDatabaseError(*result.error);
        return;
    }
    SetFoundModels(models);
}

void CProjectorCodeDlg::OnShowModel() {
    // The model is the combo's selected item or, with none selected, the text
    // typed into it.
    const int nSelected = GetCurSel(IDC_SHOW_MODEL_COMBO);
    const QString strModel =
        nSelected >= 0 ? m_comboShowModel->itemText(nSelected) : m_comboShowModel->currentText();
    if (strModel.isEmpty()) {
        Say(words::ECodePrompt::ChooseToShow);
        return;
    }
    library::SModelRecord record = Record();
    const library::SModelRead read = library::ReadModel(strModel.toStdString(), record);
    SetRecord(record);
    Say(read.eNotice);
    if (read.error) {
        ReportDatabaseError(*read.error);
        return;
    }
    m_strShowModel = strModel;
    UpdateData(false);
    // The exchange selects the first item that begins with the text; put the
    // installer's own choice back.
    if (nSelected >= 0)
        SelectShownModel(nSelected);
}

void CProjectorCodeDlg::OnAsciiToHex() {
    UpdateData(true);
    for (QString* pCode : {&m_strVga, &m_strVideo, &m_strPowerOn, &m_strPowerOff})
        if (!pCode->isEmpty() && !library::IsHexText(pCode->toStdString()))
            *pCode = QString::fromStdString(library::AsciiToHex(pCode->toStdString()));
    UpdateData(false);
}

void CProjectorCodeDlg::OnOK() {
    UpdateData(true);
    const library::SModelRecord record = Record();
    const library::ERuleFailure eRule = library::CheckHandOver(record);
    if (eRule != library::ERuleFailure::None) {
        Say(words::HandOverText(eRule));
        return;
    }
    const codec::BundleResult result = codec::BuildCodeBundle(codec::ProjectorCodes{
        record.baud, record.parity, record.video, record.vga, record.powerOn, record.powerOff});
    if (result.status != codec::BundleStatus::Ok)
        return; // the length checks above already refuse what does not fit
    g_strChosenCode = result.bundle;
    g_strChosenModel = record.model;
    g_bProjectorChosen = true;
    UpdateData(true);
    accept();
}

namespace {

// A progress window for reading or writing a large file; it appears only when
// the work takes a while, and its "取消" stops the work.
ProgressFn ProgressOf(QProgressDialog& progress, const QString& strTitle) {
    progress.setWindowTitle(strTitle);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    return [&progress](std::uint64_t nDone, std::uint64_t nTotal) {
        progress.setValue(nTotal ? static_cast<int>(std::min<std::uint64_t>(nDone, nTotal) * 1000 / nTotal)
                                 : 0);
        return !progress.wasCanceled();
    };
}

} // namespace

QString CProjectorCodeDlg::ChooseExportFile() {
    const QString strPath = QFileDialog::getSaveFileName(
        this, QStringLiteral("导出代码库"),
        CFileFolders::StartPath(CFileFolders::EKind::Library, QStringLiteral("投影机代码库.csv")),
        QStringLiteral("CSV文件 (*.csv)"));
    CFileFolders::Remember(CFileFolders::EKind::Library, strPath);
    return strPath;
}

QString CProjectorCodeDlg::ChooseImportFile() {
    const QString strPath = QFileDialog::getOpenFileName(
        this, QStringLiteral("导入代码库"), CFileFolders::StartPath(CFileFolders::EKind::Library),
        QStringLiteral("代码库 (*.csv *.mdb);;CSV文件 (*.csv);;data.mdb (*.mdb);;所有文件 (*)"));
    CFileFolders::Remember(CFileFolders::EKind::Library, strPath);
    return strPath;
}

int CProjectorCodeDlg::RunImportPreview(library::CImportPreview& preview, std::string& strResult) {
    CLibraryImportDlg dlg(preview, CDatabase::Path(), this);
    const int nResult = dlg.DoModal();
    strResult = dlg.ResultMessage();
    return nResult;
}

void CProjectorCodeDlg::OnExport() {
    const QString strFile = ChooseExportFile();
    if (strFile.isEmpty())
        return;
    library::SWriteResult result;
    {
        QProgressDialog progress(QStringLiteral("正在导出代码库…"), QStringLiteral("取消"), 0, 1000, this);
        result = library::ExportLibrary(CDatabase::Path(), strFile.toStdString(),
                                        ProgressOf(progress, QStringLiteral("导出代码库")));
    }
    MessageBoxShow(words::ExportResultText(result));
}

void CProjectorCodeDlg::OnImport() {
    if (!CDatabase::CheckWritableMedium()) {
        Say(words::ECodePrompt::ReadOnlyImport);
        return;
    }
    const QString strFile = ChooseImportFile();
    if (strFile.isEmpty())
        return;
    library::CImportPreview preview;
    bool bLoaded = false;
    {
        QProgressDialog progress(QStringLiteral("正在读取导入文件…"), QStringLiteral("取消"), 0, 1000, this);
        bLoaded = preview.Load(strFile.toStdString(), CDatabase::Path(),
                               ProgressOf(progress, QStringLiteral("导入代码库")));
    }
    if (!bLoaded) {
        MessageBoxShow(words::LibraryErrorText(preview.Error()));
        return;
    }
    std::string strResult;
    if (RunImportPreview(preview, strResult) != QDialog::Accepted)
        return;
    // The imported models show at once, in the list's order.
    ReloadList();
    MessageBoxShow(QString::fromStdString(strResult));
}
