#pragma once

// A plan of many rooms to write at once: its CSV columns, the rooms it
// names, the check of the plan as a whole (before anything is sent), the
// results file's lines and the retry rule. Both faces build their rooms
// here, from a plan file or from the window's table.

#include "RoomPlan.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace session {

// The columns a plan may have (only "address" is required, any order).
extern const std::vector<std::string> kPlanColumns;
// The columns of a results file, in this order.
extern const std::vector<std::string> kResultColumns;

// One row of a plan: its line in the file (the header is line 1), its cells
// by column name, and the row as written (what a retry compares).
struct SPlanRow {
    std::size_t nLine = 0;
    std::map<std::string, std::string> cells;
    std::string strText;
};

struct SPlanTable {
    std::vector<SPlanRow> rows;
    bool bHasRoom = false; // a "room" column: rooms are matched by name, else by address
};

// Why a plan or results file was not read; strDetail names the column, the
// line or the reader's reason.
enum class EPlanFileError {
    None,
    Unreadable,      // the reader's reason in strDetail
    Empty,           // no header
    UnknownColumn,   // strDetail: the column
    DuplicateColumn, // strDetail: the column
    NoAddressColumn,
    NotResults,      // a results file whose header is not kResultColumns
    ShortResultLine, // strDetail: the line number
};
struct SPlanFileError {
    EPlanFileError eError = EPlanFileError::None;
    std::string strDetail;
};

bool ReadPlanFile(const std::string& strPath, SPlanTable& out, SPlanFileError& error);
// The plan from rows already split (the window's table); rows[0] is the header.
bool PlanFromRows(const std::vector<std::vector<std::string>>& rows, SPlanTable& out, SPlanFileError& error);

enum class EBatchOutcome { NotRun, Ok, Failed };
// The outcome as a results file writes it: "ok", "failed", "not run".
const char* OutcomeWord(EBatchOutcome eOutcome);

// Where a room of a run is.
enum class EBatchPhase { Waiting, Reading, Setting, Done };

struct SBatchRoom {
    std::string strRoom, strAddress;
    std::string strKey;      // how a later retry finds this row: its room, or its address
    std::string strRowText;  // the row as written in the plan
    std::string strSnapshot; // the snapshot file it takes (absolute), "" for none
    std::size_t nLine = 0;   // line of the plan (the header is line 1)
    EBatchOutcome eOutcome = EBatchOutcome::NotRun;
    EBatchPhase ePhase = EBatchPhase::Waiting;
    std::string strDifferences; // why it failed, as the results file says it
    SValueProblem problem;      // why its row was refused, as a code
    double dSeconds = 0;
    bool bRun = false;      // part of this run
    bool bPrepared = false; // its row was usable
    SRoomPlan plan;
    std::shared_ptr<SWriteNotes> notes = std::make_shared<SWriteNotes>();
    std::vector<std::string> kept; // a row left out of a retry keeps its earlier line
    std::optional<SWriteResult> result;
    TimeMs tStarted = 0;
};

// An earlier results file's lines by key (room, or address without a room column).
using EarlierResults = std::map<std::string, std::vector<std::string>>;
bool ReadResultsFile(const std::string& strPath, EarlierResults& earlier, SPlanFileError& error);

// The rooms of a plan, each row checked on its own (address, snapshot,
// overrides; a relative snapshot path is taken from planFolder). With
// earlier results, a row whose earlier line is ok and unchanged is not run
// and keeps that line; the others (failed, not run, new, changed) run.
std::vector<SBatchRoom> RoomsFromPlan(const SPlanTable& plan, const std::filesystem::path& planFolder,
                                      const EarlierResults* pEarlier = nullptr);

// A room's line in the results file.
std::vector<std::string> ResultLine(const SBatchRoom& room);
// What the results file says of a finished write.
std::string DifferencesText(const SWriteResult& result);
// The results file's words for a new address that another controller answers.
inline constexpr const char* kAddressTakenText = "address taken by another controller";

// A problem of the plan as a whole: no address twice, no new controller
// address twice, no room moving onto another row's address.
struct SPlanProblem {
    enum EKind { AddressTwice, NewAddressTwice, NewAddressIsOtherRow } eKind = AddressTwice;
    std::size_t nLine = 0, nOtherLine = 0;
    std::string strAddress; // the address, or the new controller address, in question
};
std::vector<SPlanProblem> CheckAddresses(const std::vector<SBatchRoom>& rooms);

} // namespace session
