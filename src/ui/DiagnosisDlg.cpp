#include "DiagnosisDlg.h"

#include "MessageBox.h"
#include "ScreenFit.h"

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

QString KindLabel(int nKind) {
    switch (nKind) {
    case 1:
        return QStringLiteral("投影机1");
    case 2:
        return QStringLiteral("投影机2");
    case 3:
        return QStringLiteral("IP设置");
    case 4:
        return QStringLiteral("附加设置");
    }
    return QStringLiteral("?");
}

QString KindList(const std::vector<int>& kinds) {
    QStringList names;
    for (int nKind : kinds)
        names << KindLabel(nKind);
    return names.join(QStringLiteral("、"));
}

QString InterfaceText(const SInterfaceAddress& item) {
    return Text(item.strName) + QLatin1Char(' ') + AddressText(item.address) + QLatin1Char('/') +
           QString::number(item.nPrefix);
}

} // namespace

QString CDiagnosisDlg::CheckLabel(ECheck eCheck) {
    switch (eCheck) {
    case ECheck::Address:
        return QStringLiteral("地址");
    case ECheck::Interfaces:
        return QStringLiteral("本机网卡");
    case ECheck::Port:
        return QStringLiteral("端口");
    case ECheck::Query:
        return QStringLiteral("查询");
    case ECheck::Echo:
        return QStringLiteral("回显（ping）");
    case ECheck::Neighbour:
        return QStringLiteral("邻居表（ARP）");
    case ECheck::Firewall:
        return QStringLiteral("防火墙");
    }
    return {};
}

QString CDiagnosisDlg::ResultMark(ECheckResult eResult) {
    switch (eResult) {
    case ECheckResult::Ok:
        return QStringLiteral("✓");
    case ECheckResult::Fail:
        return QStringLiteral("✗");
    case ECheckResult::Skipped:
        return QStringLiteral("?");
    }
    return {};
}

QString CDiagnosisDlg::CheckDetail(const session::SDiagnosis& d, ECheck eCheck) {
    const QString strAddress = AddressText(d.address);
    switch (eCheck) {
    case ECheck::Address:
        switch (d.eAddressProblem) {
        case session::EAddressProblem::None:
            return strAddress + QStringLiteral(" 是可用的主机地址") +
                   (d.bLoopback ? QStringLiteral("（本机回环：本机上的模拟中控）") : QString());
        case session::EAddressProblem::Zero:
            return strAddress + QStringLiteral(" 不是主机地址");
        case session::EAddressProblem::Multicast:
            return strAddress + QStringLiteral(" 是组播地址，不是中控的地址");
        case session::EAddressProblem::Reserved:
            return strAddress + QStringLiteral(" 是保留或广播地址");
        case session::EAddressProblem::Network:
            return strAddress + QStringLiteral(" 是本机某子网的网络地址");
        case session::EAddressProblem::Broadcast:
            return strAddress + QStringLiteral(" 是本机某子网的广播地址");
        }
        break;
    case ECheck::Interfaces: {
        if (d.Result(ECheck::Interfaces) == ECheckResult::Skipped)
            return QStringLiteral("地址不可用，未检查");
        if (d.reaching)
            return QStringLiteral("经网卡 %1 可达").arg(InterfaceText(*d.reaching));
        QStringList local;
        for (const SInterfaceAddress& item : d.interfaces)
            if (!item.bLoopback)
                local << InterfaceText(item);
        SInterfaceAddress wanted;
        wanted.address = d.address;
        wanted.nPrefix = 24;
        return QStringLiteral(
                   "本机没有网卡在该地址的子网中（本机地址：%1）；本机需要 %2 或中控所在子网中的地址")
            .arg(local.isEmpty() ? QStringLiteral("无") : local.join(QStringLiteral("，")),
                 Text(session::SubnetText(wanted)));
    }
    case ECheck::Port:
        switch (d.port.eState) {
        case net::EPortState::Free:
            return QStringLiteral("UDP 端口 1550 可用");
        case net::EPortState::ThisProgram:
            return QStringLiteral("UDP 端口 1550 由本程序使用");
        case net::EPortState::OtherVelmora:
            return QStringLiteral("UDP 端口 1550 被 %1 占用").arg(Text(d.port.strHolder));
        case net::EPortState::OtherProgram:
            return QStringLiteral("UDP 端口 1550 被另一个程序独占");
        case net::EPortState::Failed:
            return QStringLiteral("无法使用 UDP 端口 1550：%1").arg(Text(d.port.strHolder));
        }
        break;
    case ECheck::Query: {
        if (!d.bQueried)
            return QStringLiteral("未发送查询");
        if (!d.strSendError.empty())
            return QStringLiteral("查询无法发出：%1").arg(Text(d.strSendError));
        QStringList parts;
        if (d.replies.empty()) {
            parts << QStringLiteral("没有回复");
        } else {
            QStringList came;
            for (const session::SReplySeen& r : d.replies)
                came << QStringLiteral("%1 %2 毫秒").arg(KindLabel(r.nKind)).arg(r.nMs);
            parts << QStringLiteral("收到：") + came.join(QStringLiteral("，"));
            if (const std::vector<int> missing = d.MissingKinds(); !missing.empty())
                parts << QStringLiteral("未收到：") + KindList(missing);
        }
        if (!d.otherAddresses.empty()) {
            QStringList others;
            for (const codec::Ip4& a : d.otherAddresses)
                others << AddressText(a);
            parts << QStringLiteral("回复带有另一个地址：") + others.join(QStringLiteral("，"));
        }
        if (d.nMalformed > 0)
            parts << QStringLiteral("%1 个格式错误").arg(d.nMalformed);
        if (d.nHeaderOnly > 0)
            parts << QStringLiteral("%1 个只有14字节").arg(d.nHeaderOnly);
        return parts.join(QStringLiteral("；"));
    }
    case ECheck::Echo:
        if (!d.bEchoTried)
            return QStringLiteral("未探测");
        switch (d.eEcho) {
        case net::ETriState::Yes:
            return QStringLiteral("有回显应答");
        case net::ETriState::No:
            return QStringLiteral("没有回显应答");
        case net::ETriState::Unknown:
            return QStringLiteral("本程序在此不能发送回显请求");
        }
        break;
    case ECheck::Neighbour:
        if (!d.bNeighbourTried)
            return QStringLiteral("未查询");
        if (d.Result(ECheck::Neighbour) == ECheckResult::Skipped)
            return QStringLiteral("本机地址，不在网线上");
        return d.neighbour ? QStringLiteral("物理地址 %1：网线上有设备使用该地址").arg(Text(*d.neighbour))
                           : QStringLiteral("邻居表中没有该地址：网线上没有设备应答");
    case ECheck::Firewall: {
        if (!d.firewall.bChecked)
            return d.firewall.strError.empty() ? QStringLiteral("只在 Windows 上检查")
                                               : Text(d.firewall.strError);
        const QString strProfile = QStringLiteral("配置文件 %1").arg(Text(d.firewall.strProfile));
        if (!d.firewall.bEnabled)
            return strProfile + QStringLiteral("：防火墙已关闭");
        switch (d.firewall.eAllowed) {
        case net::ETriState::Yes:
            return strProfile + QStringLiteral("：有入站规则允许 UDP 端口 1550");
        case net::ETriState::No:
            return strProfile + QStringLiteral("：没有入站规则允许 UDP 端口 1550");
        case net::ETriState::Unknown:
            return strProfile + QStringLiteral("：无法读取规则");
        }
        break;
    }
    }
    return {};
}

QString CDiagnosisDlg::ConclusionText(EConclusion eConclusion) {
    switch (eConclusion) {
    case EConclusion::Ok:
        return QStringLiteral("中控应答完整");
    case EConclusion::Partial:
        return QStringLiteral("中控只回复了一部分");
    case EConclusion::WrongSubnet:
        return QStringLiteral("本机不在中控的子网中");
    case EConclusion::PortInUse:
        return QStringLiteral("端口被占用");
    case EConclusion::NoDevice:
        return QStringLiteral("该地址上没有设备");
    case EConclusion::NotAController:
        return QStringLiteral("该地址上的设备不是中控");
    case EConclusion::Filtered:
        return QStringLiteral("防火墙挡住了回复");
    case EConclusion::OtherAddress:
        return QStringLiteral("中控以另一个地址回复");
    case EConclusion::BadAddress:
        return QStringLiteral("地址不可用");
    }
    return {};
}

QString CDiagnosisDlg::Advice(const session::SDiagnosis& d) {
    switch (d.eConclusion) {
    case EConclusion::Ok:
        return QStringLiteral("可以获取和设置。");
    case EConclusion::Partial:
        return QStringLiteral("未收到：%1。请重试；如果重复出现，请检查网线。")
            .arg(KindList(d.MissingKinds()));
    case EConclusion::WrongSubnet:
        return QStringLiteral("请给本机设置中控子网中的地址，或检查地址是否填错。");
    case EConclusion::PortInUse:
        return QStringLiteral("请关闭占用 UDP 端口 1550 的程序后重试。");
    case EConclusion::NoDevice:
        return QStringLiteral("请检查地址、网线和中控电源。");
    case EConclusion::NotAController:
        return QStringLiteral("该地址上有别的设备，或中控的端口被挡住；请检查地址是否与别的设备冲突。");
    case EConclusion::Filtered:
        return QStringLiteral("请在防火墙中为本程序添加允许 UDP 入站的规则。");
    case EConclusion::OtherAddress:
        if (!d.otherAddresses.empty())
            return QStringLiteral("中控的地址已改为 %1，请用该地址获取。")
                .arg(AddressText(d.otherAddresses.front()));
        break;
    case EConclusion::BadAddress:
        return QStringLiteral("请填写中控的主机地址。");
    }
    return {};
}

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
        m_pTable->setItem(nRow, 0, new QTableWidgetItem(CheckLabel(static_cast<ECheck>(nRow))));
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
        auto* pMark = new QTableWidgetItem(ResultMark(d.Result(eCheck)));
        pMark->setTextAlignment(Qt::AlignCenter);
        if (d.Result(eCheck) == ECheckResult::Fail)
            pMark->setForeground(Qt::red);
        m_pTable->setItem(nRow, 1, pMark);
        m_pTable->setItem(nRow, 2, new QTableWidgetItem(CheckDetail(d, eCheck)));
    }
    QStringList also;
    for (EConclusion e : d.also)
        also << ConclusionText(e);
    m_pConclusion->setText(
        QStringLiteral("结论：%1（%2）\n下一步：%3")
            .arg(ConclusionText(d.eConclusion), QString::fromUtf8(session::ConclusionCode(d.eConclusion)),
                 Advice(d)) +
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
        strText += ResultMark(m_result.Result(eCheck)) + QLatin1Char(' ') + CheckLabel(eCheck) +
                   QStringLiteral("：") + CheckDetail(m_result, eCheck) + QLatin1Char('\n');
    }
    return strText + m_pConclusion->text() + QLatin1Char('\n');
}

void CDiagnosisDlg::OnCopy() {
    if (m_bHaveResult)
        QApplication::clipboard()->setText(ReportText());
}
