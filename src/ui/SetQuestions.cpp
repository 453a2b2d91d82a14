#include "SetQuestions.h"

#include "MessageBox.h"
#include "SettingsCheck.h"

bool AskAboutUnreadParts(const std::array<bool, session::kReplyParts>& known, const QString& strCode1,
                         const QString& strCode2) {
    for (int nSlot = 1; nSlot <= 2; ++nSlot) {
        if (known[static_cast<std::size_t>(nSlot - 1)])
            continue;
        const QString& strCode = nSlot == 1 ? strCode1 : strCode2;
        const QString strText =
            strCode.trimmed().isEmpty()
                ? QStringLiteral("投影机%1的代码未读取，设置将清除中控中的投影机%1代码，是否继续？")
                      .arg(nSlot)
                : QStringLiteral(
                      "投影机%1的代码未读取，设置将以窗口中的投影机%1代码覆盖中控中的代码，是否继续？")
                      .arg(nSlot);
        if (!MessageBoxAsk(strText))
            return false;
    }
    if (!known[session::kPartNetwork] &&
        !MessageBoxAsk(QStringLiteral("IP设置未从该中控读取，设置将以窗口中的中控IP、服务器IP、子网掩码和网关"
                                      "覆盖中控中的设置，是否继续？"),
                       true))
        return false;
    if (!known[session::kPartDevices] &&
        !MessageBoxAsk(
            QStringLiteral("附加设置未从该中控读取，设置将以窗口中的附加设置和话筒设置覆盖中控中的设置，"
                           "是否继续？"),
            true))
        return false;
    return true;
}

bool AskAboutValues(const session::SControllerSettings& settings) {
    // The lock time is the window's own choice, so a level lock is no problem here.
    for (const session::SSettingIssue& issue : session::CheckSettings(settings, false)) {
        switch (issue.eProblem) {
        case session::ESettingProblem::GatewayOutsideSubnet:
            if (!MessageBoxAsk(QStringLiteral("网关不在中控IP所在网段内，是否继续？"), true))
                return false;
            continue;
        case session::ESettingProblem::MaskNotContiguous:
        case session::ESettingProblem::MaskPrefixOutOfRange:
            MessageBoxShow(QStringLiteral("子网掩码无效！"));
            return false;
        case session::ESettingProblem::LockTimeWithLevelLock:
        case session::ESettingProblem::None:
            continue;
        default:
            MessageBoxShow(QStringLiteral("中控IP不是可用的主机地址！"));
            return false;
        }
    }
    return true;
}
