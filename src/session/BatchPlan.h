#pragma once

// A plan of many rooms to write at once: its CSV columns, the rooms it
// names, the check of the plan as a whole (before anything is sent), the
// results file's lines and the retry rule. Both faces build their rooms
// here, from a plan file or from the window's table.

#include "LibraryError.h"
#include "RoomPlan.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace session {

// The columns a plan may have (only "address" is required, any order).
extern const std::vector<std::string> kPlanColumns;
// The same columns under the names the window's batch table and tick boxes
// show them, which a plan may use instead (kPlanColumns' order).
extern const std::vector<std::string> kPlanColumnLabels;
// The columns of a results file, in this order.
extern const std::vector<std::string> kResultColumns;

// One row of a plan: its line in the file (the header is line 1), its cells
// by column name, and the row as written (what a retry compares).
struct SPlanRow {
    std::size_t nLine = 0;
    std::map<std::string, std::string> cells;
    std::string strText;
    std::size_t nCells = 0; // up to its last cell that is not empty
};

struct SPlanTable {
    std::vector<SPlanRow> rows;
    bool bHasRoom = false;    // a "room" column: rooms are named by it, else by address
    std::size_t nColumns = 0; // the header's cells: a row with more is refused

    // A row with a value past the header's last cell: what it is meant for is unknown.
    bool BeyondHeader(const SPlanRow& row) const { return row.nCells > nColumns; }
};

// Why a plan or results file was not read; strDetail names the column, the
// line or the reader's reason.
enum class EPlanFileError {
    None,
    Unreadable,      // the reader's reason in read
    Unterminated,    // a quoted field is not closed; strDetail: its line
    Empty,           // no header
    UnknownColumn,   // strDetail: the column
    UnnamedColumn,   // a column without a name holds values; strDetail: its number (from 1)
    DuplicateColumn, // strDetail: the column
    NoAddressColumn,
    NotResults,      // a results file whose header is not kResultColumns
    ShortResultLine, // strDetail: the line number
};
struct SPlanFileError {
    EPlanFileError eError = EPlanFileError::None;
    std::string strDetail;
    library::SLibraryError read;
};

// A spreadsheet pads what it saves: rows whose cells are all empty, and
// columns without a name that are empty in every row, are left out, and a
// row's empty cells beyond the header are nothing. A column name is the
// English one or the window's (kPlanColumnLabels).
bool ReadPlanFile(const std::string& strPath, SPlanTable& out, SPlanFileError& error);
// The rows of a plan from a table of cells by column (the window's): the
// header names room, address, controller_ip, then every other column a row
// or the common values have, in the order met; each row is rows[order[i]],
// its own value winning over the common one.
using PlanCells = std::map<std::string, std::string>;
std::vector<std::vector<std::string>> PlanRowsOf(const std::vector<PlanCells>& rows, const PlanCells& common,
                                                 const std::vector<std::size_t>& order);
// The plan from rows already split (the window's table); rows[0] is the
// header. pLines gives each row's line in its file (default: its index + 1).
bool PlanFromRows(const std::vector<std::vector<std::string>>& rows, SPlanTable& out, SPlanFileError& error,
                  const std::vector<std::size_t>* pLines = nullptr);

enum class EBatchOutcome { NotRun, Ok, Failed };
// The outcome as a results file writes it: "ok", "failed", "not run".
const char* OutcomeWord(EBatchOutcome eOutcome);

// Where a room of a run is.
enum class EBatchPhase { Waiting, Reading, Setting, Done };

struct SBatchRoom {
    std::string strRoom, strAddress;
    std::string strRowText;  // the row as written in the plan
    std::string strSnapshot; // the snapshot file it takes (absolute), "" for none
    std::size_t nLine = 0;   // line of the plan (the header is line 1)
    EBatchOutcome eOutcome = EBatchOutcome::NotRun;
    EBatchPhase ePhase = EBatchPhase::Waiting;
    // Why its row was refused, or why the run stopped in its Set (the command
    // line's words); a finished write is worded by each face from `result`.
    std::string strDifferences;
    SValueProblem problem; // why its row was refused, as a code
    double dSeconds = 0;
    bool bRun = false;      // part of this run
    bool bPrepared = false; // its row was usable
    SRoomPlan plan;
    std::shared_ptr<SWriteNotes> notes = std::make_shared<SWriteNotes>();
    std::vector<std::string> kept; // a row left out of a retry keeps its earlier line
    // The ok line an earlier run of this row left in the results file: a
    // failure that sent nothing does not replace it (nor its backup path).
    std::vector<std::string> okBefore;
    std::optional<SWriteResult> result;
    TimeMs tStarted = 0;
    // Silent where the plan says it is, the room was looked for at its
    // planned new address (an earlier run of the plan moved it); strMovedTo
    // is that address when it answered there.
    bool bTriedMoved = false;
    std::string strMovedTo;
    // The conclusion code of a diagnosis run after it failed with no reply
    // (results column diagnosis); "" when none ran.
    std::string strDiagnosis;
};

// A room of this run that ended failed because its controller never answered
// (the read before the Set, or the read-back after it): the rooms a
// diagnosis can explain.
bool FailedWithoutReply(const SBatchRoom& room);

// The column a results file has after kResultColumns when its run diagnosed
// the silent rooms. A file without it (an older one, or a run without a
// diagnosis) reads the same.
inline constexpr const char* kDiagnosisColumn = "diagnosis";

// An earlier results file's lines, in its order, each with
// kResultColumns.size() fields and the diagnosis after them when the file has one.
using EarlierResults = std::vector<std::vector<std::string>>;
bool ReadResultsFile(const std::string& strPath, EarlierResults& earlier, SPlanFileError& error);

// The rooms of a plan, each row checked on its own (address, snapshot,
// overrides; a relative snapshot path is taken from planFolder). With
// earlier results, a row whose earlier line is ok and ran the same row
// (matched by the row's content and its place, never by its name alone:
// two rows may name one room) is not run and keeps that line; the others
// (failed, not run, new, changed) run.
std::vector<SBatchRoom> RoomsFromPlan(const SPlanTable& plan, const std::filesystem::path& planFolder,
                                      const EarlierResults* pEarlier = nullptr);

// What a face writes in the results file's free-text column for a room,
// in its own language.
using DifferencesWordsFn = std::function<std::string(const SBatchRoom& room)>;
// Before a run replaces a results file: each room whose row (matched as a
// retry matches it) ended ok there keeps that line, backup path included,
// unless this run sends it something.
void KeepOkLines(std::vector<SBatchRoom>& rooms, const EarlierResults& earlier);
// A room's line in the results file, its differences in the face's words;
// without words only what was found before the run (strDifferences), which
// is enough for what a retry reads back (the outcome and the plan row).
std::vector<std::string> ResultLine(const SBatchRoom& room, const DifferencesWordsFn& words = {});
// The fields a write found still to change: what it sent against what the
// controller held before (fields that did not come are left out).
std::vector<std::string> FieldsToChange(const SWriteResult& result);

// A problem of the plan as a whole: no address twice, no new controller
// address twice, no room moving onto another row's address.
struct SPlanProblem {
    enum EKind { AddressTwice, NewAddressTwice, NewAddressIsOtherRow } eKind = AddressTwice;
    std::size_t nLine = 0, nOtherLine = 0;
    std::string strAddress; // the address, or the new controller address, in question
};
std::vector<SPlanProblem> CheckAddresses(const std::vector<SBatchRoom>& rooms);

} // namespace session
