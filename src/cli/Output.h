#pragma once

// Human-readable tables and JSON of what the subcommands report.

#include "Comparison.h"
#include "ControllerSettings.h"
#include "OutputRule.h"
#include "SessionObserver.h"
#include "Words.h"
#include "codec/AddressRange.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace cli {

// "name  value" lines of everything a read gave, missing parts named last.
std::string SettingsTable(const session::SReadResult& read);
// "field  sent  read  ok|DIFFERENT" lines.
std::string FieldTable(const std::vector<session::SFieldResult>& fields);
nlohmann::json FieldsJson(const std::vector<session::SFieldResult>& fields);

// How a write ended, in the command line's words.
std::string WriteMessage(const session::SWriteResult& result, const session::SWriteNotes& notes);

// Whether a command that uses the library `strDb` and reads `inputs` may
// write `strPath` (the one output rule); when not, says why on stderr and
// the command writes nothing.
bool OutputAllowed(const std::string& strPath, const std::string& strDb,
                   const std::vector<std::string>& inputs = {});

// Columns padded to their widest cell (counted in characters, not bytes).
std::string Table(const std::vector<std::vector<std::string>>& rows);

} // namespace cli
