#include "DiagnosisDlg.h"

#include "MessageBox.h"
#include "ScreenFit.h"
#include "Words.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

using session::ECheck;
using session::ECheckResult;
using session::EConclusion;

QString Text(const std::string& str) {
    return QString::fromStdString(str);
}

QString AddressText(const codec::Ip4& address) {
    return Text(codec::BytesToAddress(address));
}

} // namespace

CDiagnosisDlg::CDiagnosisDlg(const codec::Ip4& address, RunFn pfnRun, QWidget* pParent)
    : QDialog(pParent), m_address(address), m_pfnRun(std::move(pfnRun)) {
    setWindowTitle(ProgramTitle() + QStringLiteral(" - 诊断 - 中控 ") + AddressText(address));
    auto* pLayout = new QVBoxLayout(this);
    m_pStatus = new QLabel(this);
    m_pStatus->setAccessibleName(QStringLiteral("诊断状态"));
    pLayout->addWidget(m_pStatus);
    m_pTable = new QTableWidget(static_cast<int>(session::kCheckCount), 3, this);
    m_pTable->setAccessibleName(QStringLiteral("诊断结果"));
    m_pTable->setHorizontalHeaderLabels(
        {QStringLiteral("检查"), QStringLiteral("结果"), QStringLiteral("说明")});
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->setMinimumWidth(640);
    pLayout->addWidget(m_pTable);
    m_pConclusion = new QLabel(this);
    m_pConclusion->setAccessibleName(QStringLiteral("结论"));
    m_pConclusion->setWordWrap(true);
    m_pConclusion->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pLayout->addWidget(m_pConclusion);

    auto* pButtons = new QDialogButtonBox(this);
    m_pCopy = pButtons->addButton(QString::fromUtf8(kCopy), QDialogButtonBox::ActionRole);
    m_pAgain = pButtons->addButton(QString::fromUtf8(kAgain), QDialogButtonBox::ActionRole);
    QPushButton* pClose = pButtons->addButton(QString::fromUtf8(kClose), QDialogButtonBox::RejectRole);
    for (QPushButton* pButton : {m_pCopy, m_pAgain, pClose}) {
        pButton->setAccessibleName(pButton->text());
        pButton->setAutoDefault(false);
    }
    connect(m_pCopy, &QPushButton::clicked, this, &CDiagnosisDlg::OnCopy);
    connect(m_pAgain, &QPushButton::clicked, this, &CDiagnosisDlg::Start);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pButtons);
    FitToScreen(*this, AvailableScreenSize(*this));
}

CDiagnosisDlg::~CDiagnosisDlg() {
    // The diagnosis ends within its waits; its result then goes nowhere.
    if (m_worker.joinable())
        m_worker.join();
}

void CDiagnosisDlg::Start() {
    if (m_bRunning)
        return;
    if (m_worker.joinable())
        m_worker.join();
    m_bRunning = true;
    m_bHaveResult = false;
    m_pStatus->setText(QStringLiteral("正在诊断 %1……").arg(AddressText(m_address)));
    m_pConclusion->clear();
    for (int nRow = 0; nRow < m_pTable->rowCount(); ++nRow) {
        m_pTable->setItem(nRow, 0,
                          new QTableWidgetItem(words::DiagnosisCheckLabel(static_cast<ECheck>(nRow))));
        m_pTable->setItem(nRow, 1, new QTableWidgetItem(QString()));
        m_pTable->setItem(nRow, 2, new QTableWidgetItem(QString()));
    }
    m_pCopy->setEnabled(false);
    m_pAgain->setEnabled(false);
    QPointer<CDiagnosisDlg> pThis(this);
    m_worker = std::thread([this, pThis, address = m_address, pfnRun = m_pfnRun] {
        session::SDiagnosis result = pfnRun(address);
        // The dialog waits for this thread before it goes, so it is still there.
        QMetaObject::invokeMethod(
            this,
            [pThis, result] {
                if (pThis)
                    pThis->Show(result);
            },
            Qt::QueuedConnection);
    });
}

void CDiagnosisDlg::Show(const session::SDiagnosis& d) {
    m_result = d;
    m_bHaveResult = true;
    m_bRunning = false;
    m_pStatus->setText(QStringLiteral("诊断 %1 完成").arg(AddressText(m_address)));
    for (int nRow = 0; nRow < m_pTable->rowCount(); ++nRow) {
        const auto eCheck = static_cast<ECheck>(nRow);
        auto* pMark = new QTableWidgetItem(words::DiagnosisMark(d.Result(eCheck)));
        pMark->setTextAlignment(Qt::AlignCenter);
        if (d.Result(eCheck) == ECheckResult::Fail)
            pMark->setForeground(Qt::red);
        m_pTable->setItem(nRow, 1, pMark);
        m_pTable->setItem(nRow, 2, new QTableWidgetItem(words::DiagnosisDetail(d, eCheck)));
    }
    QStringList also;
    for (EConclusion e : d.also)
        also << words::ConclusionText(e);
    m_pConclusion->setText(
        QStringLiteral("结论：%1（%2）\n下一步：%3")
            .arg(words::ConclusionText(d.eConclusion),
                 QString::fromUtf8(session::ConclusionCode(d.eConclusion)), words::DiagnosisAdvice(d)) +
        (also.isEmpty() ? QString() : QStringLiteral("\n另外：") + also.join(QStringLiteral("；"))));
    m_pCopy->setEnabled(true);
    m_pAgain->setEnabled(true);
    emit Finished();
}

QString CDiagnosisDlg::ReportText() const {
    if (!m_bHaveResult)
        return {};
    QString strText = QStringLiteral("诊断 中控 %1\n").arg(AddressText(m_address));
    for (std::size_t i = 0; i < session::kCheckCount; ++i) {
        const auto eCheck = static_cast<ECheck>(i);
        strText += words::DiagnosisMark(m_result.Result(eCheck)) + QLatin1Char(' ') +
                   words::DiagnosisCheckLabel(eCheck) + QStringLiteral("：") +
                   words::DiagnosisDetail(m_result, eCheck) + QLatin1Char('\n');
    }
    return strText + m_pConclusion->text() + QLatin1Char('\n');
}

void CDiagnosisDlg::OnCopy() {
    if (m_bHaveResult)
        QApplication::clipboard()->setText(ReportText());
}
