#pragma once

// The window's words for what the layers below report as codes: plan and
// value problems, a room's phase and outcome, a check's verdict, the code
// library's failures and refused rows, the file layer's reasons. Every text
// of the window that says such a code is made here, so each code has one
// sentence wherever the window shows it (the table, a message, the results
// file the window writes).

#include "BatchCheck.h"
#include "BatchJob.h"
#include "BatchPlan.h"
#include "BatchRun.h"
#include "CodeLibrary.h"
#include "Diagnosis.h"
#include "FileSystem.h"
#include "ImportPreview.h"
#include "LibraryError.h"
#include "LibraryWriter.h"
#include "SessionObserver.h"
#include "SettingsCheck.h"
#include "Snapshot.h"
#include "codec/AddressRange.h"

#include <QString>
#include <QStringList>

namespace words {

QString Q(const std::string& str);

QString IssueText(const session::SSettingIssue& issue);
// Why a row was refused before anything was sent.
QString ValueProblemText(const session::SValueProblem& p);
QString PlanProblemText(const session::SPlanProblem& p, const QString& strRoom, const QString& strOther);
// Why a plan file could not be opened (without the file's name).
QString PlanFileErrorText(const session::SPlanFileError& error);
// A row with more cells than the header names, which the window refuses.
QString BeyondHeaderText(const session::SPlanTable& plan, const session::SPlanRow& row);
QString PhaseText(const session::SBatchRoom& room);
// A finished room's outcome as the table and the results file say it.
QString RoomOutcomeText(const session::SBatchRoom& room);
// What stands in the way of writing a checked room; empty: it can be written.
QStringList CheckProblems(const session::SRoomCheck& check);
// The differences column of the results file the window writes: a room
// whose Set is under way, why a room failed or where it was found; else empty.
std::string ResultsDifferences(const session::SBatchRoom& room);
// Why the window sends nothing of a plan: its problems as a whole, then each
// room of the run whose row was refused; empty when there is none.
QStringList PlanRefusalLines(const std::vector<session::SPlanProblem>& problems,
                             const std::vector<session::SBatchRoom>& rooms);
// The lines the check report gives a checked room, its problems (CheckProblems) among them.
QStringList CheckReportLines(const session::SBatchRoom& room, const session::SRoomCheck& check,
                             const QStringList& problems);
// Where a run stands (bRunning) or how it ended, for the batch dialog's status line.
QString RunStatusText(const session::SBatchCounts& counts, bool bRunning, bool bStopped);
// The plan columns by the names the window shows them under.
QString ColumnLabel(const std::string& strColumn);

// What the window says for a controller's reply of this kind (1 to 4) that
// was not accepted; "" for any other kind.
QString ReceptionErrorText(int nKind);

// Why the system refused a file, in the window's words: the common causes
// by name, never the system's own English.
QString FileErrorText(const base::SFileError& error);
// The rule of a saved model a record breaks ("" for None).
QString RuleText(library::ERuleFailure eRule);
// Why reading or writing the code library failed.
QString LibraryErrorText(const library::SLibraryError& error);
// Why a row of an import preview is refused ("" for a row that is not).
QString RowReasonText(const library::CImportPreview& preview, std::size_t nRow);
// What an import or an export did, or why it did nothing.
QString ImportResultText(const library::SWriteResult& result);
QString ExportResultText(const library::SWriteResult& result);

// Why an address range (of a scan) was refused.
QString RangeErrorText(const codec::SRangeError& error);

// The diagnosis of a controller that does not answer: each check's label,
// its mark (✓, ✗, ?), what it found, the conclusion and the next step.
QString DiagnosisCheckLabel(session::ECheck eCheck);
QString DiagnosisMark(session::ECheckResult eResult);
QString DiagnosisDetail(const session::SDiagnosis& d, session::ECheck eCheck);
QString ConclusionText(session::EConclusion eConclusion);
QString DiagnosisAdvice(const session::SDiagnosis& d);

// How a Set ended: "发送成功！" only when every field read back as sent.
QString VerdictText(const session::SWriteResult& result);

// Why a saved configuration (a snapshot or a backup) could not be read.
QString SnapshotErrorText(const session::SSnapshotError& error);

// The projector code dialog: what its reads found, how a save ended, and
// the prompts of its own buttons.
// What a read of the library found ("" for None).
QString CodeNoticeText(library::ECodeNotice eNotice);
// How a save ended ("" for NotInserted: the database error says why).
QString CodeSaveText(const library::SSaveResult& result);
// Why a record is not handed to the main window ("" for None).
QString HandOverText(library::ERuleFailure eRule);

// The dialog's prompts that answer no code of the library.
enum class ECodePrompt {
    ChooseRow,      // a click in the list selected no row
    ChooseToDelete, // 删除 without a highlighted row
    ChooseToShow,   // 显示此型号 without a model
    Deleted,        // the model was deleted
    ReadOnlySave,   // the medium of data.mdb cannot be written
    ReadOnlyDelete,
    ReadOnlyImport,
};
QString CodePromptText(ECodePrompt ePrompt);
// The question before a model is deleted.
QString DeleteQuestion(const std::string& strModel);

// One reply part as the window names it: "投影机1代码", "投影机2代码", "IP设置", "附加设置".
QString PartName(session::EReplyPart ePart);
// "未收到：投影机2代码、IP设置" (the parts joined with "、"); "" for none.
QString MissingText(const std::vector<session::EReplyPart>& parts);

} // namespace words
