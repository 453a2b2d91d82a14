#pragma once

#include "DatabaseError.h"
#include "ModelRules.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The code dialog's work on the DATA table of the open data.mdb (the shared
// connection of CDatabase): the whole list, one model, the keyword search,
// a save with its checks and a delete. Nothing here says anything: the
// results are codes and values, and a database error travels as a value for
// the caller to report.
namespace library {

// What a read found that the installer is told about before its result.
enum class ECodeNotice {
    None,
    LibraryEmpty, // the table holds no model
    NoSuchModel,  // no model matched
    KeywordEmpty, // a search without a keyword: nothing was read
};

// A read of the whole list, sorted by model.
struct SListRead {
    bool bOpened = false; // false: the read could not start (error says why)
    ECodeNotice eNotice = ECodeNotice::None;
    std::optional<CDatabaseError> error;
};

// One cell of the list: row from 0, column in SModelRecord's order.
using ListCellFn = std::function<void(int nRow, int nColumn, const std::string& strText)>;

// Reads every model sorted by name. started runs once the read is open,
// before the first cell; then every cell goes to cell, row by row. A
// database error (a NULL cell, say) ends the walk: the cells before it have
// been handed over.
SListRead ReadModelList(const std::function<void()>& started, const ListCellFn& cell);

// A read of one model into a record.
struct SModelRead {
    ECodeNotice eNotice = ECodeNotice::None;
    std::optional<CDatabaseError> error;
};

// Reads the rows holding the model into record, column by column (with
// several rows the last one wins). A field not read keeps the value the
// caller put there, also when a database error stops the read.
SModelRead ReadModel(std::string_view model, SModelRecord& record);

// A keyword search of the models' names.
struct SSearchResult {
    ECodeNotice eNotice = ECodeNotice::None;
    // The keyword as the search leaves it: in lower case (ASCII letters only).
    std::string strKeyword;
    // The models found, in the order of LessIgnoringCase; with a database
    // error, those found before it.
    std::vector<std::string> models;
    // The last model found in the statement's order ("" with none found).
    std::string strLastFound;
    std::optional<CDatabaseError> error;
};

// Finds every model whose name holds the keyword in its upper-case or its
// lower-case form (ASCII letters only; "%" and "_" are wildcards).
SSearchResult SearchModels(std::string_view keyword);

// How a save of a new model ended.
enum class ESaveOutcome {
    Refused,     // a field breaks a rule (eRule); nothing was read or written
    Duplicate,   // the library holds the model already (the names compare exactly)
    NotInserted, // the insert failed (insertError)
    Saved,
};

struct SSaveResult {
    ESaveOutcome eOutcome = ESaveOutcome::Refused;
    ERuleFailure eRule = ERuleFailure::None;
    // The duplicate check found an empty table, or could not finish
    // (checkError); the insert went ahead either way.
    ECodeNotice eNotice = ECodeNotice::None;
    std::optional<CDatabaseError> checkError;
    std::optional<CDatabaseError> insertError;
};

// The checks of a save: the model, the baud rate and the parity must not be
// empty (the dialog's combos offer only known ones), then the rules of the
// four codes.
ERuleFailure CheckNewModel(const SModelRecord& record);
// Checks the record, refuses a model the library holds, and inserts it.
SSaveResult SaveModel(const SModelRecord& record);

// Deletes every row of the model; a model no longer there is no error.
std::optional<CDatabaseError> DeleteModel(std::string_view model);

// The checks of handing a record to the main window: a model must be
// chosen (ModelEmpty), its codes must pass (in the order the installer fixes
// them), then the whole record, so a row kept from before the rules (an
// unknown baud rate or parity) is never sent.
ERuleFailure CheckHandOver(const SModelRecord& record);

// The bytes of a typed text as upper-case hex pairs. "\r", "\n", "\\" and
// "\xHH" stand for one byte each; any other backslash is itself.
std::string AsciiToHex(std::string_view text);

} // namespace library
