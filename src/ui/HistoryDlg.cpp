#include "HistoryDlg.h"

#include "Comparison.h"
#include "MessageBox.h"
#include "ScreenFit.h"
#include "SetResultDlg.h"
#include "Utf8Path.h"
#include "Words.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

QString CHistoryDlg::ChangesText(const session::SControllerSettings& earlier,
                                 const session::SReadResult& later) {
    QStringList changed;
    for (const session::SFieldResult& f : session::CompareFields(earlier, later))
        if (!f.bEqual)
            changed << CSetResultDlg::FieldLabel(f.strField);
    return changed.isEmpty() ? QStringLiteral("无变化") : changed.join(QStringLiteral("、"));
}

CHistoryDlg::CHistoryDlg(const std::vector<std::filesystem::path>& files, const QString& strController,
                         QWidget* pParent)
    : QDialog(pParent) {
    setWindowTitle(ProgramTitle() + QStringLiteral(" - 历史记录") +
                   (strController.isEmpty() ? QString() : QStringLiteral(" - 中控 ") + strController));
    auto* pLayout = new QVBoxLayout(this);
    m_rows.assign(files.rbegin(), files.rend());
    m_pTable = new QTableWidget(static_cast<int>(files.size()), 2, this);
    m_pTable->setAccessibleName(QStringLiteral("历史记录"));
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("时间"), QStringLiteral("与前一次相比的变化")});
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->verticalHeader()->hide();

    // Each backup is compared with the one taken before it (the next older file).
    std::vector<std::optional<session::SSnapshot>> loaded(files.size());
    std::vector<session::SSnapshotError> errors(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        session::SSnapshot snapshot;
        if (session::LoadSnapshot(files[i], snapshot, errors[i]))
            loaded[i] = std::move(snapshot);
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int nRow = static_cast<int>(files.size() - 1 - i);
        QString strTime = QString::fromStdString(Utf8FromPath(files[i].stem()));
        QString strChanges;
        if (!loaded[i]) {
            strChanges = QStringLiteral("无法读取：") + words::SnapshotErrorText(errors[i]);
        } else {
            const QDateTime when =
                QDateTime::fromString(QString::fromStdString(loaded[i]->strTime), Qt::ISODate);
            if (when.isValid())
                strTime = when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            if (i == 0)
                strChanges = QStringLiteral("（最早的备份）");
            else if (!loaded[i - 1])
                strChanges = QStringLiteral("（前一次备份无法读取）");
            else
                strChanges = ChangesText(loaded[i - 1]->read.settings, loaded[i]->read);
        }
        m_pTable->setItem(nRow, 0, new QTableWidgetItem(strTime));
        // A long list of changes is cut short in its cell and shows whole on hovering.
        auto* pChanges = new QTableWidgetItem(strChanges);
        pChanges->setToolTip(strChanges);
        m_pTable->setItem(nRow, 1, pChanges);
    }
    m_pTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    if (!m_rows.empty())
        m_pTable->selectRow(0);
    connect(m_pTable, &QTableWidget::activated, this, [this] { OnLoad(); });
    pLayout->addWidget(m_pTable);

    auto* pButtons = new QDialogButtonBox(this);
    m_pLoad = pButtons->addButton(QStringLiteral("载入"), QDialogButtonBox::AcceptRole);
    m_pLoad->setAccessibleName(m_pLoad->text());
    QPushButton* pClose = pButtons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    pClose->setAccessibleName(pClose->text());
    connect(m_pLoad, &QPushButton::clicked, this, &CHistoryDlg::OnLoad);
    connect(pClose, &QPushButton::clicked, this, &QDialog::reject);
    pLayout->addWidget(pButtons);
    resize(560, 360);
    FitToScreen(*this, AvailableScreenSize(*this));
}

const std::filesystem::path& CHistoryDlg::FileOfRow(int nRow) const {
    return m_rows.at(static_cast<std::size_t>(nRow));
}

void CHistoryDlg::OnLoad() {
    const int nRow = m_pTable->currentRow();
    if (nRow < 0 || nRow >= static_cast<int>(m_rows.size()))
        return;
    m_chosen = m_rows[static_cast<std::size_t>(nRow)];
    accept();
}
