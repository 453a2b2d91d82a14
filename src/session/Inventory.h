#pragma once

// The inventory of a scan: one line per controller that answered, in the
// columns of a batch plan, so the file can be edited and opened as a plan.
// A part that did not come leaves its cells empty, so the plan keeps what
// the controller holds there.

#include "ControllerSettings.h"
#include "codec/Address.h"

#include <string>
#include <utility>
#include <vector>

namespace session {

using FoundController = std::pair<codec::Ip4, SReadResult>;

// The whole file, starting with a byte-order mark so a spreadsheet reads it as UTF-8.
std::string InventoryCsv(const std::vector<FoundController>& found);

} // namespace session
