#include "LibraryImportDlg.h"
#include "DataExchange.h"

#include "ImportPreview.h"
#include "ImportPreviewModel.h"
#include "LibraryWriter.h"
#include "MessageBox.h"
#include "Words.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTableView>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <optional>
#include <set>

CLibraryImportDlg::CLibraryImportDlg(library::CImportPreview& preview, std::string strLibraryPath,
                                     QWidget* pParent)
    : CDialogBase(107, pParent), m_preview(preview), m_strLibraryPath(std::move(strLibraryPath)) {
    m_list = ControlAs<QTableView>(IDC_PREVIEW_LIST);
    m_pProgress = ControlAs<QProgressBar>(IDC_PROGRESS);
    m_pModel = new CImportPreviewModel(m_preview, this);
    m_list->setModel(m_pModel);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    m_list->setShowGrid(true);
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    // The columns share the list's width in these proportions, so every one
    // of them is in view; long models and codes are cut short in their cells
    // (and a column can still be widened by hand).
    const int widths[CImportPreviewModel::ColumnCount] = {50, 40, 120, 50, 40, 90, 90, 90, 90, 260};
    const int nTotal = std::accumulate(std::begin(widths), std::end(widths), 0);
    const int nRoom = m_list->width() - 2 * m_list->frameWidth() -
                      m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list);
    m_list->setTextElideMode(Qt::ElideMiddle);
    // The header's own minimum is the font's widest glyph, which with some
    // CJK faces leaves no room for the proportions.
    m_list->horizontalHeader()->setMinimumSectionSize(24);
    m_list->horizontalHeader()->setStretchLastSection(true);
    for (int i = 0; i < CImportPreviewModel::ColumnCount; ++i)
        m_list->horizontalHeader()->resizeSection(i, std::max(24, widths[i] * nRoom / nTotal));
    // A double click on a conflicting row turns its choice over.
    connect(m_list, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const auto nRow = static_cast<std::size_t>(index.row());
        if (m_preview.Class(nRow) != library::ERowClass::Conflict)
            return;
        m_preview.SetChoice(nRow, m_preview.Choice(nRow) == library::EChoice::Take ? library::EChoice::Keep
                                                                                   : library::EChoice::Take);
        m_pModel->ChoicesChanged();
    });
    m_pProgress->setRange(0, 1000);
    m_pProgress->setValue(0);

    const std::pair<int, void (CLibraryImportDlg::*)()> buttons[] = {
        {IDC_KEEP, &CLibraryImportDlg::OnKeep},
        {IDC_TAKE, &CLibraryImportDlg::OnTake},
        {IDC_KEEP_ALL, &CLibraryImportDlg::OnKeepAll},
        {IDC_TAKE_ALL, &CLibraryImportDlg::OnTakeAll},
        {1, &CLibraryImportDlg::OnOK},
        {2, &QDialog::reject},
    };
    for (const auto& [nId, handler] : buttons)
        if (auto* pButton = ControlAs<QPushButton>(nId))
            connect(pButton, &QPushButton::clicked, this, handler);
    if (auto* pEncoding = ControlAs<QComboBox>(IDC_ENCODING_CHOICE)) {
        pEncoding->setCurrentIndex(0);
        pEncoding->setEnabled(!m_preview.FromDatabase());
        connect(pEncoding, &QComboBox::activated, this, &CLibraryImportDlg::OnEncodingChosen);
    }
    EnableChoices();
    ShowSummary();
}

void CLibraryImportDlg::EnableChoices() {
    const bool bConflicts = m_preview.Counts().nConflict > 0;
    for (int nId : {IDC_KEEP, IDC_TAKE, IDC_KEEP_ALL, IDC_TAKE_ALL})
        EnableItem(nId, bConflicts);
}

void CLibraryImportDlg::OnEncodingChosen(int nChoice) {
    std::optional<library::EEncoding> forced;
    if (nChoice == 1)
        forced = library::EEncoding::Utf8;
    else if (nChoice == 2)
        forced = library::EEncoding::Gb18030;
    const std::string strSource = m_preview.Source();
    m_pModel->BeginReload();
    const bool bLoaded = m_preview.Load(strSource, m_strLibraryPath, {}, forced);
    m_pModel->EndReload();
    EnableChoices();
    ShowSummary();
    if (!bLoaded)
        MessageBoxShow(words::LibraryErrorText(m_preview.Error()));
}

void CLibraryImportDlg::ShowSummary() {
    const library::SPreviewCounts counts = m_preview.Counts();
    QString strSummary = QStringLiteral("新增%1个，相同%2个，冲突%3个，无效%4个")
                             .arg(counts.nNew)
                             .arg(counts.nIdentical)
                             .arg(counts.nConflict)
                             .arg(counts.nInvalid);
    QString strEncoding = m_preview.FromDatabase() || m_preview.Source().empty() ? QString()
                          : m_preview.Encoding() == library::EEncoding::Utf8 ? QStringLiteral("编码：UTF-8")
                                                                             : QStringLiteral("编码：GBK");
    CDataExchange dx(*this, false);
    dx.Text(IDC_SUMMARY, strSummary);
    dx.Text(IDC_ENCODING, strEncoding);
}

void CLibraryImportDlg::ChooseForSelection(bool bTake) {
    std::set<int> rows;
    if (QItemSelectionModel* pSelection = m_list->selectionModel())
        for (const QModelIndex& index : pSelection->selectedIndexes())
            rows.insert(index.row());
    if (rows.empty()) {
        MessageBoxShow(QStringLiteral("请先在列表中选择冲突的型号！"));
        return;
    }
    for (int nRow : rows)
        m_preview.SetChoice(static_cast<std::size_t>(nRow),
                            bTake ? library::EChoice::Take : library::EChoice::Keep);
    m_pModel->ChoicesChanged();
}

void CLibraryImportDlg::OnKeep() {
    ChooseForSelection(false);
}

void CLibraryImportDlg::OnTake() {
    ChooseForSelection(true);
}

void CLibraryImportDlg::OnKeepAll() {
    m_preview.SetChoiceForAll(library::EChoice::Keep);
    m_pModel->ChoicesChanged();
}

void CLibraryImportDlg::OnTakeAll() {
    m_preview.SetChoiceForAll(library::EChoice::Take);
    m_pModel->ChoicesChanged();
}

void CLibraryImportDlg::OnOK() {
    library::SApplyOptions options;
    options.nBusyTimeoutMs = m_nBusyTimeoutMs;
    options.progress = [this](std::uint64_t nDone, std::uint64_t nTotal) {
        m_pProgress->setValue(nTotal ? static_cast<int>(nDone * 1000 / nTotal) : 1000);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    };
    for (int nId : {int(IDC_KEEP), int(IDC_TAKE), int(IDC_KEEP_ALL), int(IDC_TAKE_ALL), 1, 2})
        EnableItem(nId, false);
    const library::SWriteResult result = library::ApplyImport(m_preview, m_strLibraryPath, options);
    if (!result.bOk) {
        // The library is as it was; the installer may try again or cancel.
        m_pProgress->setValue(0);
        const bool bConflicts = m_preview.Counts().nConflict > 0;
        for (int nId : {IDC_KEEP, IDC_TAKE, IDC_KEEP_ALL, IDC_TAKE_ALL})
            EnableItem(nId, bConflicts);
        EnableItem(1, true);
        EnableItem(2, true);
        MessageBoxShow(words::ImportResultText(result));
        return;
    }
    m_pProgress->setValue(1000);
    m_strResult = words::ImportResultText(result).toStdString();
    accept();
}
