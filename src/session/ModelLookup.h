#pragma once

// Naming a projector by the VIDEO code found in block 1 of its bundle.

#include <functional>
#include <string>
#include <vector>

namespace session {

// The library rows whose VIDEO code matches, in the order the store returns
// them; strError is the database's text when the lookup failed.
struct SModelLookup {
    std::vector<std::string> models;
    // The code bundle each row builds (baud, parity and its five codes), in
    // the order of `models`; "" for a row whose codes build none. A lookup
    // that leaves this empty names by VIDEO alone.
    std::vector<std::string> bundles;
    std::string strError;
};

using ModelLookupFn = std::function<SModelLookup(const std::string& strVideo)>;

// Looks the code up in DATA through the shared data.mdb connection. A row
// whose model cell is empty names nothing.
SModelLookup LookUpInLibrary(const std::string& strVideo);

// The rows of `found` whose whole bundle (baud, parity, five codes) is `strBundle`.
std::vector<std::string> WholeBundleMatches(const std::string& strBundle, const SModelLookup& found);

// The model name for a bundle: "" when block 1 carries no VIDEO code (an
// empty slot); else the rows whose whole bundle matches (several joined with
// " / "); else the last row with that VIDEO code; or the unknown-model text
// when no row matches or the lookup failed.
std::string ModelName(const std::string& strBundle, const ModelLookupFn& lookup,
                      SModelLookup* pLookup = nullptr);

} // namespace session
