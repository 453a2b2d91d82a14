#include "SetResultDlg.h"

#include "MessageBox.h"
#include "ScreenFit.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

QString CSetResultDlg::FieldLabel(const std::string& strField) {
    static const std::map<std::string, QString> labels{
        {"controller_ip", QStringLiteral("中控IP")}, {"server_ip", QStringLiteral("服务器IP")},
        {"mask", QStringLiteral("子网掩码")},        {"gateway", QStringLiteral("网关IP")},
        {"one_key", QStringLiteral("一键通")},       {"lock_type", QStringLiteral("电控锁类型")},
        {"lock_time", QStringLiteral("电控锁时间")}, {"dome", QStringLiteral("球机")},
        {"microphone", QStringLiteral("话筒")},      {"keyboard", QStringLiteral("键盘")},
        {"projector1", QStringLiteral("投影机1")},   {"projector2", QStringLiteral("投影机2")},
    };
    const auto it = labels.find(strField);
    if (it != labels.end())
        return it->second;
    // "mic7" is the seventh microphone's row of the linkage table.
    if (strField.rfind("mic", 0) == 0 && strField.size() > 3)
        return QStringLiteral("话筒%1联动").arg(QString::fromStdString(strField.substr(3)));
    return QString::fromStdString(strField);
}

QString CSetResultDlg::ValueText(const std::string& strValue) {
    // The window writes its brackets full-width, as everywhere else.
    if (strValue == session::kNotReceivedText)
        return QStringLiteral("（未收到）");
    return QString::fromStdString(strValue);
}

CSetResultDlg::CSetResultDlg(const std::vector<session::SFieldResult>& fields, const QString& strController,
                             QWidget* pParent)
    : QDialog(pParent) {
    setWindowTitle(ProgramTitle() + QStringLiteral(" - 设置结果") +
                   (strController.isEmpty() ? QString() : QStringLiteral(" - 中控 ") + strController));
    auto* pLayout = new QVBoxLayout(this);
    const auto nDifferent =
        std::count_if(fields.begin(), fields.end(), [](const auto& f) { return !f.bEqual; });
    auto* pSummary =
        new QLabel(nDifferent == 0 ? QStringLiteral("中控读回的每一项都与发送的相同。")
                                   : QStringLiteral("有 %1 项读回与发送的不同：").arg(nDifferent),
                   this);
    pLayout->addWidget(pSummary);

    std::vector<session::SFieldResult> rows = fields;
    std::stable_partition(rows.begin(), rows.end(), [](const auto& f) { return !f.bEqual; });
    m_pTable = new QTableWidget(static_cast<int>(rows.size()), 4, this);
    m_pTable->setAccessibleName(QStringLiteral("设置结果"));
    m_pTable->setHorizontalHeaderLabels(
        {QStringLiteral("字段"), QStringLiteral("发送"), QStringLiteral("读回"), QStringLiteral("结果")});
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->verticalHeader()->hide();
    for (int nRow = 0; nRow < static_cast<int>(rows.size()); ++nRow) {
        const session::SFieldResult& f = rows[static_cast<std::size_t>(nRow)];
        m_pTable->setItem(nRow, 0, new QTableWidgetItem(FieldLabel(f.strField)));
        // A long value (a model name, a code) is cut short in its cell; the
        // whole of it shows on hovering.
        for (const auto& [nColumn, strValue] : {std::pair{1, &f.strSent}, std::pair{2, &f.strRead}}) {
            auto* pItem = new QTableWidgetItem(ValueText(*strValue));
            pItem->setToolTip(pItem->text());
            m_pTable->setItem(nRow, nColumn, pItem);
        }
        auto* pMark = new QTableWidgetItem(f.bEqual ? QStringLiteral("✓") : QStringLiteral("✗"));
        pMark->setTextAlignment(Qt::AlignCenter);
        if (!f.bEqual)
            pMark->setForeground(Qt::red);
        m_pTable->setItem(nRow, 3, pMark);
    }
    // The field and the mark take what they need; the sent and read-back
    // values share the rest, so every column is in view without scrolling.
    QHeaderView* pHeader = m_pTable->horizontalHeader();
    pHeader->setSectionResizeMode(QHeaderView::Stretch);
    pHeader->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    pHeader->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    m_pTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pTable->setTextElideMode(Qt::ElideMiddle);
    pLayout->addWidget(m_pTable);

    auto* pButtons = new QDialogButtonBox(this);
    QPushButton* pClose = pButtons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    pClose->setAccessibleName(pClose->text());
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pButtons);
    resize(560, 420);
    FitToScreen(*this, AvailableScreenSize(*this));
}
