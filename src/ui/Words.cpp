#include "Words.h"

#include "SetResultDlg.h"

#include "Comparison.h"
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
                     .arg(Q(p.strValue), RuleText(p.eLibraryRule));
        break;
    case EValueProblem::CodesTooLong:
        strWhy = QStringLiteral("“%1”的代码过长").arg(Q(p.strValue));
        break;
    case EValueProblem::LibraryUnreadable:
        strWhy = QStringLiteral("无法读取投影机库：") + Q(p.strDetail);
        break;
    case EValueProblem::SnapshotUnreadable:
        strWhy = QStringLiteral("无法读取“%1”：%2").arg(Q(p.strValue), SnapshotErrorText(p.snapshot));
        break;
    case EValueProblem::SnapshotIncomplete:
        strWhy = QStringLiteral("“%1”缺少部分设置（%2）").arg(Q(p.strValue), MissingText(p.missingParts));
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
    if (room.notes->unknownPart)
        // A forced write that lacks a part no snapshot or column gives.
        return QStringLiteral("失败：%1，%2须由快照或计划全部给出，未发送")
            .arg(MissingText(r.present.MissingParts()), PartName(*room.notes->unknownPart));
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
        return QStringLiteral("失败：") + MissingText(r.present.MissingParts()) + QStringLiteral("，未发送");
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
    case EPlanFileError::Unreadable:
        return LibraryErrorText(error.read);
    case EPlanFileError::Unterminated:
        return QStringLiteral("第 %1 行的引号没有结束，文件不完整").arg(Q(error.strDetail));
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

QString BeyondHeaderText(const session::SPlanTable& plan, const session::SPlanRow& row) {
    return QStringLiteral("第 %1 行有 %2 个单元格，标题行只有 %3 列")
        .arg(row.nLine)
        .arg(row.nCells)
        .arg(plan.nColumns);
}

QStringList CheckProblems(const session::SRoomCheck& c) {
    QStringList problems;
    if (c.bNoReply)
        problems << QStringLiteral("无应答");
    else if (!c.missing.empty())
        problems << MissingText(c.missing);
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

QString ReceptionErrorText(int nKind) {
    switch (nKind) {
    case 1:
        return QStringLiteral("投影机1代码接受异常");
    case 2:
        return QStringLiteral("投影机2代码接受异常");
    case 3:
        return QStringLiteral("具体IP接受异常");
    case 4:
        return QStringLiteral("附加设置接受异常");
    default:
        return QString();
    }
}

QString FileErrorText(const base::SFileError& error) {
    switch (error.eKind) {
    case base::EFileError::None:
        return QString();
    case base::EFileError::NotFound:
        return QStringLiteral("文件不存在");
    case base::EFileError::AccessDenied:
        return QStringLiteral("没有访问权限");
    case base::EFileError::ReadOnly:
        return QStringLiteral("文件是只读的");
    case base::EFileError::InUse:
        return QStringLiteral("文件正被其他程序使用");
    case base::EFileError::DiskFull:
        return QStringLiteral("磁盘已满");
    case base::EFileError::NotADatabase:
        return QStringLiteral("不是数据库文件");
    case base::EFileError::Damaged:
        return QStringLiteral("数据库文件已损坏");
    case base::EFileError::Other:
        break;
    }
    return QStringLiteral("系统错误");
}

QString RuleText(library::ERuleFailure eRule) {
    using library::ERuleFailure;
    switch (eRule) {
    case ERuleFailure::None:
        return QString();
    case ERuleFailure::ModelEmpty:
        return QStringLiteral("投影机型号不能为空，请输入！");
    case ERuleFailure::BaudEmpty:
        return QStringLiteral("波特率不能为空，请选择！");
    case ERuleFailure::BaudUnknown:
        return QStringLiteral("波特率只能是2400、4800、9600、19200、38400、57600或115200！");
    case ERuleFailure::ParityEmpty:
        return QStringLiteral("校验类型不能为空，请选择！");
    case ERuleFailure::ParityUnknown:
        return QStringLiteral("校验类型只能是无、奇或偶！");
    case ERuleFailure::NotHex:
        return QStringLiteral(
            "请确保VIDEO/VGA/POWER ON/POWER OFF中都是16进制数，否则请点击ASCII码转16进制按钮！");
    default:
        break;
    }
    // The four codes share three sentences, each naming its code.
    const int nCode = static_cast<int>(eRule) - static_cast<int>(ERuleFailure::VgaEmpty);
    static const char* const kCodes[] = {"VGA", "VIDEO", "POWER ON", "POWER OFF"};
    const QString strCode = QString::fromLatin1(kCodes[nCode / 3]);
    switch (nCode % 3) {
    case 0:
        return QStringLiteral("%1不能为空，请输入偶数位数据！").arg(strCode);
    case 1:
        return QStringLiteral("%1输入不正确，请检查%1位数！").arg(strCode);
    default:
        return QStringLiteral("%1不能超过96位，请检查%1位数！").arg(strCode);
    }
}

QString LibraryErrorText(const library::SLibraryError& e) {
    using library::ELibraryError;
    const QString strPath = Q(e.strPath);
    const QString strCause = FileErrorText(e.system);
    const QString strUnchanged = QStringLiteral("资料库没有改动。");
    const QString strOtherName = QStringLiteral("请另选一个CSV文件名。");
    switch (e.eCode) {
    case ELibraryError::None:
        return QString();
    case ELibraryError::Cancelled:
        return QStringLiteral("导入已取消。");
    case ELibraryError::SourceIsFolder:
        return strPath + QStringLiteral("是一个文件夹，不是文件。");
    case ELibraryError::CannotOpenSource:
        return QStringLiteral("无法打开文件") + strPath + QStringLiteral("：") + strCause;
    case ELibraryError::Utf16:
        return QStringLiteral("不支持UTF-16编码的文件，请另存为UTF-8或GBK编码的CSV文件。");
    case ELibraryError::NoGb18030:
        return QStringLiteral("系统不支持GB18030编码转换。");
    case ELibraryError::ReadFailed:
        return QStringLiteral("读取文件出错：") + strCause;
    case ELibraryError::CutInCharacter:
        return QStringLiteral("文件在一个汉字的中间结束，文件不完整。");
    case ELibraryError::UnknownEncoding:
        return QStringLiteral("文件编码无法识别（第%1个字节），请另存为UTF-8或GBK编码的CSV文件。")
            .arg(e.nNumber);
    case ELibraryError::EmptyFile:
        return QStringLiteral("文件是空的，没有可导入的数据。");
    case ELibraryError::HeaderUnterminated:
        return QStringLiteral("文件的第一行在引号内结束，文件不完整。");
    case ELibraryError::RepeatedColumn:
        return QStringLiteral("第1行的列名“%1”出现了两次。").arg(Q(e.strDetail));
    case ELibraryError::MissingColumns:
        return QStringLiteral("文件缺少列：%1。第一行应是列名：model,baud,parity,VGA,VIDEO,POWER ON,POWER "
                              "OFF（或投影机型号、波特率、校验、VGA、VIDEO、POWER ON、POWER OFF）。")
            .arg(Q(e.strDetail));
    case ELibraryError::NotLibrary:
        return strPath +
               QStringLiteral(
                   "不是Velmora的data.mdb文件（应是含有DATA和htset两张表的数据库），没有导入任何数据。");
    case ELibraryError::LibraryColumnsMissing:
        return strPath + QStringLiteral("不是Velmora的data.mdb文件（DATA表缺少列：%1），没有导入任何数据。")
                             .arg(Q(e.strDetail));
    case ELibraryError::LibraryNotFound:
        return QStringLiteral("找不到%1：文件夹“%2”中没有这个文件。")
            .arg(Q(base::Utf8FromPath(base::PathFromUtf8(e.strPath).filename())), Q(e.strDetail));
    case ELibraryError::CannotOpenLibrary:
        return QStringLiteral("无法打开") + strPath + QStringLiteral("：") + strCause;
    case ELibraryError::CannotReadLibrary:
        return QStringLiteral("无法读取") + strPath + QStringLiteral("：") + strCause;
    case ELibraryError::LookupFailed:
        return QStringLiteral("读取资料库失败。");
    case ELibraryError::LibraryUnreadable:
        return QStringLiteral("读取资料库失败：") + strCause;
    case ELibraryError::SourceReadFailed:
        return QStringLiteral("读取") + strPath + QStringLiteral("失败：") + strCause;
    case ELibraryError::LibraryGone:
        return QStringLiteral("找不到") + strPath + QStringLiteral("：") + strCause + QStringLiteral("。");
    case ELibraryError::LibraryReadOnly:
        return QStringLiteral("data.mdb是只读的，不能写入。") + strUnchanged;
    case ELibraryError::LibraryBusy:
        return QStringLiteral("data.mdb正被其他程序使用，请关闭该程序后再导入。") + strUnchanged;
    case ELibraryError::WriteFailed:
        return QStringLiteral("写入data.mdb失败：") + strCause + QStringLiteral("。") + strUnchanged;
    case ELibraryError::LibraryChanged:
        return QStringLiteral("预览之后data.mdb已被改动，请重新导入。") + strUnchanged;
    case ELibraryError::ImportCancelled:
        return QStringLiteral("导入已取消。") + strUnchanged;
    case ELibraryError::ExportOverLibrary:
        return QStringLiteral("不能导出到%1：这是正在使用的代码库，导出会把它覆盖。").arg(strPath) +
               strOtherName;
    case ELibraryError::ExportOverDatabase:
        return QStringLiteral("不能导出到%1：这是一个数据库文件，导出会把它覆盖。").arg(strPath) +
               strOtherName;
    case ELibraryError::ExportOverFolder:
        return QStringLiteral("不能导出到%1：这是一个文件夹。").arg(strPath) + strOtherName;
    case ELibraryError::ExportMdbName:
        return QStringLiteral("不能导出到%1：以.mdb结尾的文件名留给代码库。").arg(strPath) + strOtherName;
    case ELibraryError::ExportReadFailed:
        return QStringLiteral("读取data.mdb失败：") + strCause + QStringLiteral("。");
    case ELibraryError::CannotWriteCsv:
        return QStringLiteral("无法写入") + strPath + QStringLiteral("：") + strCause + QStringLiteral("。");
    case ELibraryError::CsvWriteFailed:
        return QStringLiteral("写入") + strPath + QStringLiteral("失败：") + strCause + QStringLiteral("。");
    case ELibraryError::ExportCancelled:
        return QStringLiteral("导出已取消。");
    }
    return QString();
}

QString RowReasonText(const library::CImportPreview& preview, std::size_t nRow) {
    using library::ERowProblem;
    // The columns by their names in the library's table.
    static const char* const kColumns[] = {"投影机型号", "波特率",   "校验",     "VGA",
                                           "VIDEO",      "POWER ON", "POWER OFF"};
    const std::uint64_t nDetail = preview.ProblemDetail(nRow);
    const QString strColumn = QString::fromUtf8(kColumns[nDetail % 7]);
    switch (preview.Problem(nRow)) {
    case ERowProblem::None:
        return QString();
    case ERowProblem::Rule:
        return RuleText(preview.RuleFailure(nRow));
    case ERowProblem::TooFewFields:
        return QStringLiteral("字段太少：有%1个，应有%2个。").arg(nDetail).arg(preview.ExpectedFields(nRow));
    case ERowProblem::TooManyFields:
        return QStringLiteral("字段太多：有%1个，应有%2个。").arg(nDetail).arg(preview.ExpectedFields(nRow));
    case ERowProblem::Unterminated:
        return QStringLiteral("文件在引号内结束，这一行不完整。");
    case ERowProblem::Repeated:
        return QStringLiteral("型号与第%1行重复。").arg(nDetail);
    case ERowProblem::NullCell:
        return strColumn + QStringLiteral("没有值（NULL）。");
    case ERowProblem::NoLineEnd:
        return QStringLiteral("文件在这一行中间结束（行末没有换行），这一行可能不完整。");
    case ERowProblem::NotUtf8:
        return strColumn + QStringLiteral("不是有效的UTF-8文本，请检查文件的编码。");
    }
    return QString();
}

QString ImportResultText(const library::SWriteResult& result) {
    if (!result.bOk)
        return LibraryErrorText(result.error);
    if (result.nInserted + result.nUpdated == 0)
        return QStringLiteral("没有需要写入的型号。");
    return QStringLiteral("导入完成：新增%1个型号，更新%2个型号。")
        .arg(result.nInserted)
        .arg(result.nUpdated);
}

QString ExportResultText(const library::SWriteResult& result) {
    if (!result.bOk)
        return LibraryErrorText(result.error);
    return QStringLiteral("导出完成：共%1个型号。").arg(result.nExported);
}

QString RangeErrorText(const codec::SRangeError& error) {
    const QString strPiece = QString::fromStdString(error.strPiece);
    switch (error.eProblem) {
    case codec::ERangeProblem::TooMany:
        return QStringLiteral("地址超过%1个").arg(error.nMaxCount);
    case codec::ERangeProblem::NotCidr:
        return QStringLiteral("“%1”不是网段（如 192.168.1.0/24）").arg(strPiece);
    case codec::ERangeProblem::NotRange:
        return QStringLiteral("“%1”不是地址范围（如 192.168.1.10-192.168.1.50）").arg(strPiece);
    case codec::ERangeProblem::NotAddress:
        return QStringLiteral("“%1”不是IP地址").arg(strPiece);
    case codec::ERangeProblem::None:
        break;
    }
    return QString();
}

// ---- The diagnosis: its checks, what each found, the conclusion and the advice.

namespace {

using session::ECheck;
using session::ECheckResult;
using session::EConclusion;

QString DiagAddressText(const codec::Ip4& address) {
    return Q(codec::BytesToAddress(address));
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
    return Q(item.strName) + QLatin1Char(' ') + DiagAddressText(item.address) + QLatin1Char('/') +
           QString::number(item.nPrefix);
}

} // namespace

QString DiagnosisCheckLabel(ECheck eCheck) {
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

QString DiagnosisMark(ECheckResult eResult) {
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

QString DiagnosisDetail(const session::SDiagnosis& d, ECheck eCheck) {
    const QString strAddress = DiagAddressText(d.address);
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
                 Q(session::SubnetText(wanted)));
    }
    case ECheck::Port:
        switch (d.port.eState) {
        case net::EPortState::Free:
            return QStringLiteral("UDP 端口 1550 可用");
        case net::EPortState::ThisProgram:
            return QStringLiteral("UDP 端口 1550 由本程序使用");
        case net::EPortState::OtherVelmora:
            return QStringLiteral("UDP 端口 1550 被 %1 占用").arg(Q(d.port.strHolder));
        case net::EPortState::OtherProgram:
            return QStringLiteral("UDP 端口 1550 被另一个程序独占");
        case net::EPortState::Failed:
            return QStringLiteral("无法使用 UDP 端口 1550：%1").arg(Q(d.port.strHolder));
        }
        break;
    case ECheck::Query: {
        if (!d.bQueried)
            return QStringLiteral("未发送查询");
        if (!d.strSendError.empty())
            return QStringLiteral("查询无法发出：%1").arg(Q(d.strSendError));
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
                others << DiagAddressText(a);
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
        return d.neighbour ? QStringLiteral("物理地址 %1：网线上有设备使用该地址").arg(Q(*d.neighbour))
                           : QStringLiteral("邻居表中没有该地址：网线上没有设备应答");
    case ECheck::Firewall: {
        if (!d.firewall.bChecked)
            return d.firewall.strError.empty() ? QStringLiteral("只在 Windows 上检查")
                                               : Q(d.firewall.strError);
        const QString strProfile = QStringLiteral("配置文件 %1").arg(Q(d.firewall.strProfile));
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

QString ConclusionText(EConclusion eConclusion) {
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

QString DiagnosisAdvice(const session::SDiagnosis& d) {
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
                .arg(DiagAddressText(d.otherAddresses.front()));
        break;
    case EConclusion::BadAddress:
        return QStringLiteral("请填写中控的主机地址。");
    }
    return {};
}

// ---- How a Set of the window ended.

QString VerdictText(const session::SWriteResult& result) {
    switch (result.eOutcome) {
    case session::EWriteOutcome::Confirmed:
        return QStringLiteral("发送成功！");
    case session::EWriteOutcome::NoReadBack:
        return QStringLiteral("该中控无信息返回！");
    case session::EWriteOutcome::NotSent:
        if (result.eStop == session::EWriteStop::AddressTaken)
            return QStringLiteral("新中控IP已被其他中控使用，未发送任何数据！");
        if (result.eStop == session::EWriteStop::AddressInUse)
            return QStringLiteral("新中控IP正被另一项操作使用，未发送任何数据！");
        return QStringLiteral("未发送任何数据！");
    case session::EWriteOutcome::Different:
        break;
    }
    // A projector that reads back as another model is the message it always
    // was; any other field that did not take is counted.
    const auto& fields = result.fields;
    const bool bProjectorWrong =
        std::any_of(fields.begin(), fields.end(), [](const session::SFieldResult& f) {
            return !f.bEqual && (f.strField == "projector1" || f.strField == "projector2") &&
                   f.strRead != session::kNotReceivedText;
        });
    if (bProjectorWrong)
        return QStringLiteral("投影机写入出错！");
    const auto nDifferent =
        std::count_if(fields.begin(), fields.end(), [](const session::SFieldResult& f) { return !f.bEqual; });
    return QStringLiteral("设置未完全生效：有%1项读回与发送的不同").arg(nDifferent);
}

// ---- Saved configurations.

QString SnapshotErrorText(const session::SSnapshotError& error) {
    switch (error.eKind) {
    case session::ESnapshotError::File:
        return FileErrorText(error.file);
    case session::ESnapshotError::Corrupt:
        return QStringLiteral("文件已损坏或不完整");
    case session::ESnapshotError::NotSnapshot:
        return QStringLiteral("这不是配置文件");
    case session::ESnapshotError::Version:
        return QStringLiteral("配置文件的版本较新，本程序不能读取");
    case session::ESnapshotError::BadField:
        return QStringLiteral("“%1”缺失或无效").arg(Q(error.strField));
    case session::ESnapshotError::None:
        break;
    }
    return QString();
}

// ---- The projector code dialog.

QString CodeNoticeText(library::ECodeNotice eNotice) {
    switch (eNotice) {
    case library::ECodeNotice::None:
        break;
    case library::ECodeNotice::LibraryEmpty:
        return QStringLiteral("表内数据为空");
    case library::ECodeNotice::NoSuchModel:
        return QStringLiteral("数据库中没有该型号的投影机！");
    case library::ECodeNotice::KeywordEmpty:
        return QStringLiteral("查询关键字为空，请重新查询！");
    }
    return QString();
}

QString CodeSaveText(const library::SSaveResult& result) {
    switch (result.eOutcome) {
    case library::ESaveOutcome::Refused:
        return RuleText(result.eRule);
    case library::ESaveOutcome::Duplicate:
        return QStringLiteral("数据库中已经存在该型号投影机，新增失败！");
    case library::ESaveOutcome::NotInserted:
        break;
    case library::ESaveOutcome::Saved:
        return QStringLiteral("保存当前型号记录成功！");
    }
    return QString();
}

QString HandOverText(library::ERuleFailure eRule) {
    if (eRule == library::ERuleFailure::ModelEmpty)
        return QStringLiteral("请选择一个投影机型号，再点击确定！");
    return RuleText(eRule);
}

QString CodePromptText(ECodePrompt ePrompt) {
    switch (ePrompt) {
    case ECodePrompt::ChooseRow:
        return QStringLiteral("请选择一行数据！");
    case ECodePrompt::ChooseToDelete:
        return QStringLiteral("请选择一条记录，再点击删除按钮！");
    case ECodePrompt::ChooseToShow:
        return QStringLiteral("请选选择一个型号，再点击显示该型号！");
    case ECodePrompt::Deleted:
        return QStringLiteral("删除当前型号记录成功！");
    case ECodePrompt::ReadOnlySave:
        return QStringLiteral("在光盘中不能进行保存数据操作，请把程序复制到本地硬盘后再进行操作！");
    case ECodePrompt::ReadOnlyDelete:
        return QStringLiteral("在光盘中不能进行删除数据操作，请把程序复制到本地硬盘后再进行操作！");
    case ECodePrompt::ReadOnlyImport:
        return QStringLiteral("在光盘中不能进行导入数据操作，请把程序复制到本地硬盘后再进行操作！");
    }
    return QString();
}

QString DeleteQuestion(const std::string& strModel) {
    return QStringLiteral("确定删除型号“%1”吗？").arg(Q(strModel));
}

// ---- The parts of a read that did not come.
QString PartName(session::EReplyPart ePart) {
    switch (ePart) {
    case session::kPartProjector1:
        return QStringLiteral("投影机1代码");
    case session::kPartProjector2:
        return QStringLiteral("投影机2代码");
    case session::kPartNetwork:
        return QStringLiteral("IP设置");
    case session::kPartDevices:
        break;
    }
    return QStringLiteral("附加设置");
}

QString MissingText(const std::vector<session::EReplyPart>& parts) {
    QStringList names;
    for (const session::EReplyPart ePart : parts)
        names << PartName(ePart);
    return names.isEmpty() ? QString() : QStringLiteral("未收到：") + names.join(QStringLiteral("、"));
}

} // namespace words
