#include "ProjectorCodeDlg.h"
#include "AsciiText.h"
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
#include "Statements.h"
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
#include <vector>

namespace {

// The columns of DATA, in the order of the list's columns.
constexpr std::array<const char*, CProjectorTableModel::kColumns> kFieldNames{
    "投影机型号", "波特率", "校验", "VGA", "VIDEO", "POWER ON", "POWER OFF"};

static_assert(library::kMaxCodeDigits == static_cast<int>(codec::kMaxCodeBytes) * 2,
              "a code the rules accept must fit a bundle block");

void Say(const char* pszText) {
    MessageBoxShow(QString::fromUtf8(pszText));
}

// Ends a read on every path, so no statement outlives its handler.
struct SReadScope {
    std::unique_ptr<CRecordWalker>& pRecordset;
    ~SReadScope() { pRecordset.reset(); }
};

// Keeps a fill of the list from signalling row by row, and ends the load even
// when the fill stops at a database error.
struct SBulkLoad {
    CProjectorTableModel& table;
    explicit SBulkLoad(CProjectorTableModel& t) : table(t) { table.BeginBulkLoad(); }
    ~SBulkLoad() { table.EndBulkLoad(); }
};

// The order of the found-models combo: ASCII letters without regard to case,
// then byte for byte, so "abc" and "ABD" sit together as an installer expects.
bool ComboLess(const std::string& a, const std::string& b) {
    return base::LessIgnoringCase(a, b);
}

} // namespace

namespace projector {

int CodePageBytes(const QString& strText) {
    return library::CodePageBytes(strText.toStdString());
}

bool IsHexText(const QString& strText) {
    return library::IsHexText(strText.toStdString());
}

QString AsciiToHex(const QString& strText) {
    const QByteArray bytes = strText.toUtf8();
    QByteArray raw;
    raw.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\\' && i + 1 < bytes.size()) {
            const char next = bytes[i + 1];
            if (next == 'r' || next == 'n' || next == '\\') {
                raw += next == 'r' ? '\r' : next == 'n' ? '\n' : '\\';
                ++i;
                continue;
            }
            if (next == 'x' && i + 3 < bytes.size() && base::HexDigit(bytes[i + 2]) >= 0 &&
                base::HexDigit(bytes[i + 3]) >= 0) {
                raw += static_cast<char>(base::HexDigit(bytes[i + 2]) * 16 + base::HexDigit(bytes[i + 3]));
                i += 3;
                continue;
            }
        }
        raw += c;
    }
    return QString::fromLatin1(raw.toHex().toUpper());
}

} // namespace projector

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
    SReadScope scope{m_pRecordset};
    try {
        m_pRecordset = CDatabase::OpenRead(stmt::SelectLibrarySorted(), CursorType::Keyset);
        m_list->setShowGrid(true);
        m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
        FillList();
    } catch (const CDatabaseError& error) {
        ReportDatabaseError(error);
    }
}

void CProjectorCodeDlg::ReloadList() {
    m_pTable->Clear();
    // The rows moved: the remembered row no longer shows what was clicked.
    m_bRowChosen = false;
    SReadScope scope{m_pRecordset};
    try {
        m_pRecordset = CDatabase::OpenRead(stmt::SelectLibrarySorted(), CursorType::Keyset);
        FillList();
    } catch (const CDatabaseError& error) {
        ReportDatabaseError(error);
    }
}

void CProjectorCodeDlg::SetCellText(int nRow, int nColumn, const std::string& strText) {
    m_pTable->SetCellText(nRow, nColumn, strText);
}

void CProjectorCodeDlg::FillList() {
    m_pTable->InsertColumns();
    // The columns keep their own widths: some styles (Windows) would widen
    // the narrow ones to the header's minimum.
    m_list->horizontalHeader()->setMinimumSectionSize(1);
    for (int i = 0; i < CProjectorTableModel::kColumns; ++i)
        m_list->horizontalHeader()->resizeSection(i, CProjectorTableModel::ColumnWidth(i));

    CRecordWalker& records = *m_pRecordset;
    if (records.IsEmpty()) {
        Say("表内数据为空");
        return;
    }
    SBulkLoad load(*m_pTable);
    for (int nRow = 0; !records.AtEnd(); ++nRow, records.MoveNext()) {
        for (int nColumn = 0; nColumn < CProjectorTableModel::kColumns; ++nColumn)
            SetCellText(nRow, nColumn, records.Field(kFieldNames[static_cast<std::size_t>(nColumn)]));
    }
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
        Say("请选择一行数据！");
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

bool CProjectorCodeDlg::CheckCodes() {
    const library::ERuleFailure eFailure =
        library::CheckCodes(m_strVga.toStdString(), m_strVideo.toStdString(), m_strPowerOn.toStdString(),
                            m_strPowerOff.toStdString());
    if (eFailure == library::ERuleFailure::None)
        return true;
    MessageBoxShow(words::RuleText(eFailure));
    return false;
}

void CProjectorCodeDlg::OnSave() {
    if (!CDatabase::CheckWritableMedium()) {
        Say("在光盘中不能进行保存数据操作，请把程序复制到本地硬盘后再进行操作！");
        return;
    }
    UpdateData(true);
    if (m_strModel.isEmpty()) {
        Say("投影机型号不能为空，请输入！");
        return;
    }
    if (m_strBaud.isEmpty()) {
        Say("波特率不能为空，请选择！");
        return;
    }
    if (m_strParity.isEmpty()) {
        Say("校验类型不能为空，请选择！");
        return;
    }
    if (!CheckCodes())
        return;

    const std::string strModel = m_strModel.toStdString();
    SReadScope scope{m_pRecordset};
    try {
        m_pRecordset = CDatabase::OpenRead(stmt::SelectLibrary(), CursorType::Keyset);
        if (m_pRecordset->IsEmpty())
            Say("表内数据为空");
        for (; !m_pRecordset->AtEnd(); m_pRecordset->MoveNext()) {
            if (m_pRecordset->Field(kFieldNames[0]) == strModel) {
                Say("数据库中已经存在该型号投影机，新增失败！");
                return;
            }
        }
    } catch (const CDatabaseError& error) {
        // The check could not finish; the insert still goes ahead.
        ReportDatabaseError(error);
    }
    m_pRecordset.reset();

    const std::array<std::string, CProjectorTableModel::kColumns> values{strModel,
                                                                         m_strBaud.toStdString(),
                                                                         m_strParity.toStdString(),
                                                                         m_strVga.toStdString(),
                                                                         m_strVideo.toStdString(),
                                                                         m_strPowerOn.toStdString(),
                                                                         m_strPowerOff.toStdString()};
    try {
        CDatabase::ExecuteWrite(
            stmt::InsertModel(values[0], values[1], values[2], values[3], values[4], values[5], values[6]));
    } catch (const CDatabaseError& error) {
        ReportDatabaseError(error);
        return;
    }
    // The new model goes on top, where the installer sees it, without a reload.
    for (int nColumn = 0; nColumn < CProjectorTableModel::kColumns; ++nColumn)
        SetCellText(0, nColumn, values[static_cast<std::size_t>(nColumn)]);
    // The rows moved down: the remembered row no longer shows what was clicked.
    m_bRowChosen = false;
    Say("保存当前型号记录成功！");
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
        Say("在光盘中不能进行删除数据操作，请把程序复制到本地硬盘后再进行操作！");
        return;
    }
    // The model deleted is the one highlighted now, not the row last
    // clicked: the keyboard may have moved on since.
    const int nRow = HighlightedRow();
    if (nRow < 0 || nRow >= m_pTable->rowCount()) {
        Say("请选择一条记录，再点击删除按钮！");
        return;
    }
    const std::string strModel = m_pTable->CellText(nRow, 0);
    if (!MessageBoxAsk(QStringLiteral("确定删除型号“%1”吗？").arg(QString::fromStdString(strModel)), true))
        return;
    m_nSelectedRow = nRow;
    try {
        CDatabase::ExecuteWrite(stmt::DeleteModel(strModel));
    } catch (const CDatabaseError& error) {
        ReportDatabaseError(error);
        return;
    }
    m_pTable->RemoveRow(nRow);
    // The row that moves up into its place was not chosen: the next delete
    // needs a new choice.
    if (QItemSelectionModel* pSelection = m_list->selectionModel())
        pSelection->clearSelection();
    m_bRowChosen = false;
    Say("删除当前型号记录成功！");
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
    if (g_strSearchKeyword.empty()) {
        Say("查询关键字为空，请重新查询！");
        return;
    }
    g_strSearchKeyword = base::AsciiUpper(g_strSearchKeyword);
    const std::string strUpper = g_strSearchKeyword;
    g_strSearchKeyword = base::AsciiLower(g_strSearchKeyword);
    const std::string strStatement = stmt::SearchModels(strUpper, g_strSearchKeyword);

    std::vector<std::string> found;
    std::unique_ptr<CDatabaseError> pError;
    {
        SReadScope scope{m_pRecordset};
        try {
            m_pRecordset = CDatabase::OpenRead(strStatement, CursorType::Keyset);
            if (m_pRecordset->IsEmpty())
                Say("数据库中没有该型号的投影机！");
            for (; !m_pRecordset->AtEnd(); m_pRecordset->MoveNext()) {
                found.push_back(m_pRecordset->Field(kFieldNames[0]));
                // After the walk this holds the last model in the statement's order.
                m_strShowModel = QString::fromStdString(found.back());
            }
        } catch (const CDatabaseError& error) {
            pError = std::make_unique<CDatabaseError>(error);
        }
    }

    // The combo keeps its items sorted; the statement's order usually is that
    // order already. Models found before a database error stay in the combo.
    if (!std::is_sorted(found.begin(), found.end(), ComboLess))
        std::stable_sort(found.begin(), found.end(), ComboLess);
    QStringList models;
    models.reserve(static_cast<qsizetype>(found.size()));
    for (const std::string& strModel : found)
        models << QString::fromStdString(strModel);
    if (pError) {
        m_pFoundModels->setStringList(models);
        ReportDatabaseError(*pError);
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
        Say("请选选择一个型号，再点击显示该型号！");
        return;
    }
    SReadScope scope{m_pRecordset};
    try {
        m_pRecordset = CDatabase::OpenRead(stmt::SelectModel(strModel.toStdString()), CursorType::Keyset);
        if (m_pRecordset->IsEmpty())
            Say("数据库中没有该型号的投影机！");
        const std::array<QString*, CProjectorTableModel::kColumns> fields{
            &m_strModel, &m_strBaud, &m_strParity, &m_strVga, &m_strVideo, &m_strPowerOn, &m_strPowerOff};
        for (; !m_pRecordset->AtEnd(); m_pRecordset->MoveNext()) {
            for (std::size_t i = 0; i < fields.size(); ++i)
                *fields[i] = QString::fromStdString(m_pRecordset->Field(kFieldNames[i]));
        }
    } catch (const CDatabaseError& error) {
        ReportDatabaseError(error);
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
        if (!pCode->isEmpty() && !projector::IsHexText(*pCode))
            *pCode = projector::AsciiToHex(*pCode);
    UpdateData(false);
}

void CProjectorCodeDlg::OnOK() {
    UpdateData(true);
    if (m_strModel.isEmpty()) {
        Say("请选择一个投影机型号，再点击确定！");
        return;
    }
    // Codes the controller could not use are refused here too, also for a
    // model typed in and never saved.
    if (!CheckCodes())
        return;
    const std::string strBaud = m_strBaud.toStdString();
    const std::string strParity = m_strParity.toStdString();
    // The rules of "保存投影机代码" for the whole row: a row kept from before
    // them (an unknown baud rate or parity) is never sent.
    const library::ERuleFailure eRule = library::CheckRecord(library::SModelRecord{
        m_strModel.toStdString(), strBaud, strParity, m_strVga.toStdString(), m_strVideo.toStdString(),
        m_strPowerOn.toStdString(), m_strPowerOff.toStdString()});
    if (eRule != library::ERuleFailure::None) {
        MessageBoxShow(words::RuleText(eRule));
        return;
    }
    const codec::BundleResult result = codec::BuildCodeBundle(
        codec::ProjectorCodes{strBaud, strParity, m_strVideo.toStdString(), m_strVga.toStdString(),
                              m_strPowerOn.toStdString(), m_strPowerOff.toStdString()});
    if (result.status != codec::BundleStatus::Ok)
        return; // the length checks above already refuse what does not fit
    g_strChosenCode = result.bundle;
    g_strChosenModel = m_strModel.toStdString();
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
        Say("在光盘中不能进行导入数据操作，请把程序复制到本地硬盘后再进行操作！");
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
