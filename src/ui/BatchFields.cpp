#include "BatchFields.h"

#include "MessageBox.h"
#include "ModelSearchDlg.h"
#include "Words.h"

#include "CodeLibrary.h"
#include "Database.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace {

// The plan column each ticked field fills, and its label.
const char* const kFieldColumns[CBatchFields::kFields] = {"server_ip",  "mask",       "gateway",
                                                          "lock_type",  "lock_time",  "one_key",
                                                          "projector1", "projector2", "snapshot"};
const char* const kFieldLabels[CBatchFields::kFields] = {
    "服务器IP", "子网掩码", "网关IP", "电控锁类型", "电控锁时间", "一键通", "投影机1", "投影机2", "配置文件"};

} // namespace

CBatchFields::CBatchFields(std::function<QString()> pfnChooseSnapshot, QWidget* pParent)
    : QGroupBox(QStringLiteral("写入的设置（只写入勾选的项；计划中房间自己的值优先）"), pParent),
      m_pfnChooseSnapshot(std::move(pfnChooseSnapshot)) {
    auto* pGrid = new QGridLayout(this);
    auto addressEdit = [this] {
        auto* pEdit = new QLineEdit(this);
        pEdit->setPlaceholderText(QStringLiteral("0.0.0.0"));
        return pEdit;
    };
    auto combo = [this](const QStringList& items, bool bEditable) {
        auto* pCombo = new QComboBox(this);
        pCombo->setEditable(bEditable);
        pCombo->addItems(items);
        // A long model name does not widen the dialog past a small screen.
        pCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        pCombo->setMinimumContentsLength(4);
        return pCombo;
    };
    QStringList times{QStringLiteral("0.5")};
    for (int i = 1; i <= 120; ++i)
        times << QString::number(i);
    // Without the library the lists stay empty; a typed model is still
    // looked up before anything is sent.
    QStringList models;
    if (CDatabase::IsOpen())
        library::ReadModelList([] {},
                               [&models](int, int nColumn, const std::string& strText) {
                                   if (nColumn == 0)
                                       models << words::Q(strText);
                               });
    m_pEditors[kServerIp] = addressEdit();
    m_pEditors[kMask] = addressEdit();
    m_pEditors[kGateway] = addressEdit();
    m_pEditors[kLockType] = combo({QStringLiteral("脉冲型"), QStringLiteral("电平型")}, false);
    m_pEditors[kLockTime] = combo(times, false);
    m_pEditors[kOneKey] = combo({QStringLiteral("开"), QStringLiteral("关")}, false);
    m_pEditors[kProjector1] = combo(models, true);
    m_pEditors[kProjector2] = combo(models, true);
    m_pEditors[kSnapshot] = new QLineEdit(this);
    // The editors share the width that is there; none asks for more.
    for (int n : {kServerIp, kMask, kGateway, kSnapshot})
        m_pEditors[n]->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) /
                                       2);
    for (int n = 0; n < kFields; ++n) {
        m_pTicks[n] = new QCheckBox(QString::fromUtf8(kFieldLabels[n]), this);
        m_pTicks[n]->setAccessibleName(m_pTicks[n]->text());
        m_pEditors[n]->setAccessibleName(m_pTicks[n]->text());
        connect(m_pTicks[n], &QCheckBox::toggled, this, &CBatchFields::FollowTicks);
        // Three fields a line: tick box, editor (and its button).
        const int nRow = n / 3, nCol = (n % 3) * 3;
        pGrid->addWidget(m_pTicks[n], nRow, nCol);
        pGrid->addWidget(m_pEditors[n], nRow, nCol + 1);
        pGrid->setColumnStretch(nCol + 1, 1);
    }
    auto addButton = [&](EField eField, const QString& strText) {
        auto* pButton = new QPushButton(strText, this);
        pButton->setAccessibleName(pButton->text());
        pButton->setAccessibleDescription(QString::fromUtf8(kFieldLabels[eField]));
        pButton->setAutoDefault(false);
        pGrid->addWidget(pButton, eField / 3, (eField % 3) * 3 + 2);
        m_buttons[eField] = pButton;
        return pButton;
    };
    for (EField eField : {kProjector1, kProjector2}) {
        auto* pCombo = static_cast<QComboBox*>(m_pEditors[eField]);
        connect(addButton(eField, QStringLiteral("查找…")), &QPushButton::clicked, this,
                [this, pCombo] { SearchModel(pCombo); });
    }
    connect(addButton(kSnapshot, QStringLiteral("浏览…")), &QPushButton::clicked, this, [this] {
        const QString strPath = m_pfnChooseSnapshot ? m_pfnChooseSnapshot() : QString();
        if (!strPath.isEmpty())
            static_cast<QLineEdit*>(m_pEditors[kSnapshot])->setText(strPath);
    });
    FollowTicks();
}

void CBatchFields::FollowTicks() {
    for (int n = 0; n < kFields; ++n) {
        const bool bOpen = !m_bLocked && m_pTicks[n]->isChecked();
        m_pTicks[n]->setEnabled(!m_bLocked);
        m_pEditors[n]->setEnabled(bOpen);
        if (m_buttons.count(n))
            m_buttons[n]->setEnabled(bOpen);
    }
}

void CBatchFields::SetLocked(bool bLocked) {
    m_bLocked = bLocked;
    FollowTicks();
}

std::map<std::string, std::string> CBatchFields::Ticked(bool bKeepEmpty) const {
    std::map<std::string, std::string> ticked;
    for (int n = 0; n < kFields; ++n) {
        if (!m_pTicks[n]->isChecked())
            continue;
        QString strValue;
        if (auto* pEdit = qobject_cast<QLineEdit*>(m_pEditors[n]))
            strValue = pEdit->text().trimmed();
        else if (auto* pCombo = qobject_cast<QComboBox*>(m_pEditors[n]))
            strValue = pCombo->currentText().trimmed();
        if (n == kSnapshot && !strValue.isEmpty())
            strValue = QFileInfo(strValue).absoluteFilePath();
        ticked[kFieldColumns[n]] =
            strValue.isEmpty() && !bKeepEmpty ? std::string("?") : strValue.toStdString();
    }
    return ticked;
}

// The model search of the code dialog, with a keyword of its own: the
// models holding it (either letter case) fill the list.
void CBatchFields::SearchModel(QComboBox* pCombo) {
    CModelSearchDlg search(this, &m_strSearchKeyword);
    if (search.exec() != QDialog::Accepted)
        return;
    const library::SSearchResult result = library::SearchModels(m_strSearchKeyword);
    if (result.error) {
        MessageBoxShow(words::Q(DatabaseErrorText(result.error->Code(), result.error->Text())));
        return;
    }
    if (result.eNotice != library::ECodeNotice::None) {
        MessageBoxShow(words::CodeNoticeText(result.eNotice));
        return;
    }
    pCombo->clear();
    for (const std::string& strModel : result.models)
        pCombo->addItem(words::Q(strModel));
}
