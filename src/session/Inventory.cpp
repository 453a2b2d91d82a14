#include "Inventory.h"

#include "Csv.h"
#include "Fields.h"
#include "Overrides.h"

namespace session {

std::string InventoryCsv(const std::vector<FoundController>& found) {
    std::string text = "\xEF\xBB\xBF" + CsvLine({"room", "address", "server_ip", "mask", "gateway",
                                                 "lock_type", "lock_time", "projector1", "projector2"});
    for (const auto& [address, read] : found) {
        const SControllerSettings& s = read.settings;
        std::vector<std::string> row{"", codec::BytesToAddress(address)};
        // Each field is filed under the reply that carries it.
        for (const char* pszKey : {"server_ip", "mask", "gateway", "lock_type", "lock_time"}) {
            const SFieldDef& field = *FindField(pszKey);
            // A level lock has no lock time; a plan that named one would be refused.
            const bool bNoTime = field.strKey == "lock_time" && s.nLockType != 0;
            row.push_back(read.received[field.nPart] && !bNoTime ? field.pfnText(s) : std::string());
        }
        for (std::size_t nSlot = 0; nSlot < 2; ++nSlot) {
            // Only a model the library can write back is named; an empty
            // slot, an unknown or ambiguous code leaves the cell empty.
            std::string strModel = read.received[nSlot] ? s.projectors[nSlot].strModel : std::string();
            SProjectorSlot slot;
            if (!strModel.empty() && !ProjectorFromLibrary(strModel, slot))
                strModel.clear();
            row.push_back(strModel);
        }
        text += CsvLine(row);
    }
    return text;
}

} // namespace session
