#include "Words.h"

#include "SetResultDlg.h"

#include "ModelRules.h"

#include <algorithm>

namespace words {

namespace {

using session::EBatchOutcome;
using session::EBatchPhase;

QString AcceptedColumns();
QString OutcomeText(const session::SBatchRoom& room);
QString MovedOutcomeText(const session::SBatchRoom& room);

} // namespace

QString Q(const std::string& str) {
    return QString::fromStdString(str);
}

QString IssueText(const session::SSettingIssue& issue) {
    using session::ESettingProblem;
    QString strWhy;
    switch (issue.eProblem) {
    case ESettingProblem::MaskNotContiguous:
        strWhy = QStringLiteral("子网掩码不连续");
        break;
    case ESettingProblem::MaskPrefixOutOfRange:
        strWhy = QStringLiteral("子网掩码须在 /1 至 /30 之间");
        break;
    case ESettingProblem::AddressUnspecified:
        strWhy = QStringLiteral("0.0.0.0 不能作中控地址");
        break;
    case ESettingProblem::AddressBroadcast:
        strWhy = QStringLiteral("广播地址不能作中控地址");
        break;
    case ESettingProblem::AddressMulticast:
        strWhy = QStringLiteral("组播地址不能作中控地址");
        break;
    case ESettingProblem::AddressReserved:
        strWhy = QStringLiteral("保留地址（240.0.0.0 及以上）不能作中控地址");
        break;
    case ESettingProblem::AddressIsNetwork:
        strWhy = QStringLiteral("子网的网络地址不能作中控地址");
        break;
    case ESettingProblem::AddressIsSubnetBroadcast:
        strWhy = QStringLiteral("子网的广播地址不能作中控地址");
        break;
    case ESettingProblem::GatewayOutsideSubnet:
        strWhy = QStringLiteral("网关不在中控的子网内");
        break;
    case ESettingProblem::LockTimeWithLevelLock:
        strWhy = QStringLiteral("电平型电控锁没有电控锁时间");
        break;
    case ESettingProblem::None:
        break;
    }
    return CSetResultDlg::FieldLabel(issue.strField) + QStringLiteral("：") + strWhy;
}

QString ValueProblemText(const session::SValueProblem& p) {
    using session::EValueProblem;
    QString strWhy;
    switch (p.eProblem) {
    case EValueProblem::NotAnAddress:
        strWhy = QStringLiteral("“%1”不是有效的IP地址").arg(Q(p.strValue));
        break;
    case EValueProblem::BrokenRule:
        return IssueText({p.strField, p.eRule});
    case EValueProblem::NotPulseOrLevel:
        strWhy = QStringLiteral("“%1”应为脉冲型或电平型").arg(Q(p.strValue));
        break;
    case EValueProblem::BadLockTime:
        strWhy = QStringLiteral("“%1”应为 0.5 或 1 至 120 的整数秒").arg(Q(p.strValue));
        break;
    case EValueProblem::NotOnOrOff:
        strWhy = QStringLiteral("“%1”应为开或关").arg(Q(p.strValue));
        break;
    case EValueProblem::NoSuchModel:
        strWhy = QStringLiteral("投影机库中没有该型号“%1”").arg(Q(p.strValue));
        break;
    case EValueProblem::LibraryRowRule:
        strWhy = QStringLiteral("投影机库中“%1”一行不符合保存规则：%2")
                     .arg(Q(p.strValue), QString::fromUtf8(library::RuleMessage(p.eLibraryRule)));
        break;
    case EValueProblem::CodesTooLong:
        strWhy = QStringLiteral("“%1”的代码过长").arg(Q(p.strValue));
        break;
    case EValueProblem::LibraryUnreadable:
        strWhy = QStringLiteral("无法读取投影机库：") + Q(p.strDetail);
        break;
    case EValueProblem::SnapshotUnreadable:
        strWhy = QStringLiteral("无法读取“%1”：%2").arg(Q(p.strValue), Q(p.strDetail));
        break;
    case EValueProblem::SnapshotIncomplete:
        strWhy = QStringLiteral("“%1”缺少部分设置（%2）").arg(Q(p.strValue), Q(p.strDetail));
        break;
    case EValueProblem::TooManyCells:
        return QStringLiteral("这一行有 %1 个单元格，标题行只有 %2 列").arg(Q(p.strValue), Q(p.strDetail));
    case EValueProblem::None:
        break;
    }
    const QString strField = p.strField == "snapshot"  ? QStringLiteral("配置文件")
                             : p.strField == "address" ? QStringLiteral("现地址")
                                                       : CSetResultDlg::FieldLabel(p.strField);
    return strField + QStringLiteral("：") + strWhy;
}

namespace {

// The column names a plan may use, for a header that was refused.
QString AcceptedColumns() {
    QStringList labels, names;
    for (const std::string& name : session::kPlanColumnLabels)
        labels << Q(name);
    for (const std::string& name : session::kPlanColumns)
        names << Q(name);
    return QStringLiteral("。可用的列名：%1（或 %2）")
        .arg(labels.join(QStringLiteral("、")), names.join(QStringLiteral("、")));
}

} // namespace

QString PlanProblemText(const session::SPlanProblem& p, const QString& strRoom, const QString& strOther) {
    switch (p.eKind) {
    case session::SPlanProblem::AddressTwice:
        return QStringLiteral("“%1”的地址 %2 与“%3”重复").arg(strRoom, Q(p.strAddress), strOther);
    case session::SPlanProblem::NewAddressTwice:
        return QStringLiteral("“%1”的新中控IP %2 与“%3”的相同").arg(strRoom, Q(p.strAddress), strOther);
    case session::SPlanProblem::NewAddressIsOtherRow:
        break;
    }
    return QStringLiteral("“%1”的新中控IP %2 是“%3”的地址").arg(strRoom, Q(p.strAddress), strOther);
}

QString PhaseText(const session::SBatchRoom& room) {
    switch (room.ePhase) {
    case EBatchPhase::Waiting:
        return QStringLiteral("等待");
    case EBatchPhase::Reading:
        return QStringLiteral("读取中");
    case EBatchPhase::Setting:
        return QStringLiteral("设置中");
    case EBatchPhase::Done:
        break;
    }
    return room.eOutcome == EBatchOutcome::NotRun ? QStringLiteral("未执行") : QStringLiteral("完成");
}

namespace {

QString OutcomeText(const session::SBatchRoom& room) {
    if (room.eOutcome == EBatchOutcome::Ok)
        return QStringLiteral("成功");
    if (room.eOutcome == EBatchOutcome::NotRun)
        return QStringLiteral("未执行");
    if (room.notes->bRefused) {
        // Refused after the read: nothing went out, a failure like any other.
        QStringList issues;
        for (const session::SSettingIssue& issue : room.notes->issues)
            issues << IssueText(issue);
        return QStringLiteral("失败：") + issues.join(QStringLiteral("；")) + QStringLiteral("，未发送");
    }
    if (!room.result)
        return QStringLiteral("失败：") + ValueProblemText(room.problem);
    const session::SWriteResult& r = *room.result;
    switch (r.eOutcome) {
    case session::EWriteOutcome::Different: {
        QStringList fields;
        for (const session::SFieldResult& f : r.fields)
            if (!f.bEqual)
                fields << CSetResultDlg::FieldLabel(f.strField);
        return QStringLiteral("读回不同：") + fields.join(QStringLiteral("、"));
    }
    case session::EWriteOutcome::NoReadBack:
        return QStringLiteral("设置后无应答");
    case session::EWriteOutcome::Confirmed:
        return QStringLiteral("成功");
    case session::EWriteOutcome::NotSent:
        break;
    }
    switch (r.eStop) {
    case session::EWriteStop::AddressTaken:
        return QStringLiteral("失败：新地址已有其他中控应答，未发送");
    case session::EWriteStop::AddressInUse:
        return QStringLiteral("失败：该地址正在进行其他操作，未发送");
    case session::EWriteStop::NoAnswer:
        return QStringLiteral("失败：该中控无信息返回，未发送");
    case session::EWriteStop::ReadIncomplete:
        return QStringLiteral("失败：") + Q(r.present.MissingText()) + QStringLiteral("，未发送");
    case session::EWriteStop::Refused:
        return QStringLiteral("失败：") + Q(r.strRefusal);
    case session::EWriteStop::None:
        break;
    }
    return QStringLiteral("失败：未发送");
}

// A room an earlier run of the plan moved: found at its new address, it was
// written there; what was still to change is named.
QString MovedOutcomeText(const session::SBatchRoom& room) {
    if (room.eOutcome != EBatchOutcome::Ok)
        return QStringLiteral("已在新地址 %1；").arg(Q(room.strMovedTo)) + OutcomeText(room);
    QStringList fields;
    for (const std::string& field : session::FieldsToChange(*room.result))
        fields << CSetResultDlg::FieldLabel(field);
    return QStringLiteral("成功（已在新地址 %1，%2）")
        .arg(Q(room.strMovedTo), fields.isEmpty()
                                     ? QStringLiteral("无需更改")
                                     : QStringLiteral("写入：") + fields.join(QStringLiteral("、")));
}

} // namespace

QString RoomOutcomeText(const session::SBatchRoom& room) {
    return room.strMovedTo.empty() || !room.result ? OutcomeText(room) : MovedOutcomeText(room);
}

QString PlanFileErrorText(const session::SPlanFileError& error) {
    using session::EPlanFileError;
    switch (error.eError) {
    case EPlanFileError::Empty:
        return QStringLiteral("文件是空的");
    case EPlanFileError::UnknownColumn:
        return QStringLiteral("不认识的列“%1”").arg(Q(error.strDetail)) + AcceptedColumns();
    case EPlanFileError::UnnamedColumn:
        return QStringLiteral("第 %1 列有值但没有列名").arg(Q(error.strDetail)) + AcceptedColumns();
    case EPlanFileError::DuplicateColumn:
        return QStringLiteral("列“%1”出现两次").arg(Q(error.strDetail));
    case EPlanFileError::NoAddressColumn:
        return QStringLiteral("缺少 address 列");
    default:
        break;
    }
    return Q(error.strDetail);
}

QStringList CheckProblems(const session::SRoomCheck& c) {
    QStringList problems;
    if (c.bNoReply)
        problems << QStringLiteral("无应答");
    else if (!c.strMissing.empty())
        problems << Q(c.strMissing);
    for (const session::SSettingIssue& issue : c.issues)
        problems << IssueText(issue);
    if (c.bAddressTaken)
        problems << QStringLiteral("新地址已有其他中控应答");
    return problems;
}

QString ColumnLabel(const std::string& strColumn) {
    for (std::size_t i = 0; i < session::kPlanColumns.size() && i < session::kPlanColumnLabels.size(); ++i)
        if (session::kPlanColumns[i] == strColumn)
            return Q(session::kPlanColumnLabels[i]);
    return Q(strColumn);
}

std::string ResultsDifferences(const session::SBatchRoom& room) {
    if (room.ePhase == session::EBatchPhase::Setting)
        return "设置进行中";
    return room.eOutcome == session::EBatchOutcome::Failed || !room.strMovedTo.empty()
               ? RoomOutcomeText(room).toStdString()
               : std::string();
}

QStringList PlanRefusalLines(const std::vector<session::SPlanProblem>& problems,
                             const std::vector<session::SBatchRoom>& rooms) {
    QStringList lines;
    auto roomName = [&rooms](std::size_t nLine) {
        const std::size_t n = nLine - 2; // the header is line 1, the first room line 2
        return n < rooms.size() ? Q(rooms[n].strRoom) : QString();
    };
    for (const session::SPlanProblem& p : problems)
        lines << PlanProblemText(p, roomName(p.nLine), roomName(p.nOtherLine));
    for (const session::SBatchRoom& room : rooms)
        if (room.bRun && !room.bPrepared)
            lines << QStringLiteral("“%1”：%2").arg(Q(room.strRoom), ValueProblemText(room.problem));
    return lines;
}

QStringList CheckReportLines(const session::SBatchRoom& room, const session::SRoomCheck& check,
                             const QStringList& problems) {
    const bool bWritable = problems.isEmpty();
    QStringList lines{QStringLiteral("%1（%2）：%3")
                          .arg(Q(room.strRoom), Q(room.strAddress),
                               bWritable ? QStringLiteral("可以设置") : QStringLiteral("不能设置"))};
    if (!check.strAlreadyAt.empty())
        lines << QStringLiteral("    已在新地址 %1").arg(Q(check.strAlreadyAt));
    for (const session::SFieldResult& f : check.changes)
        lines << QStringLiteral("    %1：%2 → %3")
                     .arg(CSetResultDlg::FieldLabel(f.strField), CSetResultDlg::ValueText(f.strRead),
                          CSetResultDlg::ValueText(f.strSent));
    if (bWritable && check.changes.empty())
        lines << QStringLiteral("    （无变化）");
    for (const QString& strProblem : problems)
        lines << QStringLiteral("    问题：") + strProblem;
    return lines;
}

QString RunStatusText(const session::SBatchCounts& c, bool bRunning, bool bStopped) {
    QString strText = QStringLiteral("%1/%2 个房间已结束：成功 %3，失败 %4")
                          .arg(c.nEnded)
                          .arg(c.nRooms)
                          .arg(c.nOk)
                          .arg(c.nFailed);
    if (c.nNotRun)
        strText += QStringLiteral("，未执行 %1").arg(c.nNotRun);
    if (!bRunning)
        return QStringLiteral("%1：").arg(bStopped ? QStringLiteral("已停止") : QStringLiteral("设置完成")) +
               strText + QStringLiteral("。");
    if (bStopped) {
        strText = QStringLiteral("正在停止：已开始的设置将完成。") + strText;
    } else if (c.dSecondsLeft) {
        // Minutes and seconds.
        const int nSeconds = static_cast<int>(std::max(0.0, *c.dSecondsLeft) + 0.5);
        strText +=
            QStringLiteral("；预计还需 %1:%2").arg(nSeconds / 60).arg(nSeconds % 60, 2, 10, QLatin1Char('0'));
    }
    return strText + QStringLiteral("。");
}

} // namespace words
