#include "ModelLookup.h"
#include "AsciiText.h"

#include "ControllerSettings.h"
#include "Database.h"
#include "Statements.h"
#include "codec/CodeBundle.h"
#include "codec/Reply.h"

#include <algorithm>
#include <cctype>

namespace session {
namespace {

// Hex texts compare without regard to letter case.
bool SameHex(const std::string& a, const std::string& b) {
    return base::SameIgnoringCase(a, b);
}

} // namespace

SModelLookup LookUpInLibrary(const std::string& strVideo) {
    SModelLookup result;
    try {
        auto pRecords = CDatabase::OpenRead(stmt::SelectByVideo(strVideo));
        while (!pRecords->AtEnd()) {
            std::string strModel = pRecords->FieldOr("投影机型号", std::string());
            if (!strModel.empty()) {
                const codec::ProjectorCodes codes{
                    pRecords->FieldOr("波特率", ""),   pRecords->FieldOr("校验", ""),
                    pRecords->FieldOr("VIDEO", ""),    pRecords->FieldOr("VGA", ""),
                    pRecords->FieldOr("POWER ON", ""), pRecords->FieldOr("POWER OFF", "")};
                const codec::BundleResult bundle = codec::BuildCodeBundle(codes);
                result.models.push_back(std::move(strModel));
                result.bundles.push_back(bundle.status == codec::BundleStatus::Ok ? bundle.bundle
                                                                                  : std::string());
            }
            pRecords->MoveNext();
        }
    } catch (const CDatabaseError& error) {
        result.strError = DatabaseErrorText(error.Code(), error.Text());
    }
    return result;
}

std::vector<std::string> WholeBundleMatches(const std::string& strBundle, const SModelLookup& found) {
    std::vector<std::string> models;
    for (std::size_t i = 0; i < found.models.size() && i < found.bundles.size(); ++i)
        if (!found.bundles[i].empty() && SameHex(found.bundles[i], strBundle))
            models.push_back(found.models[i]);
    return models;
}

std::string ModelName(const std::string& strBundle, const ModelLookupFn& lookup, SModelLookup* pLookup) {
    const std::string strVideo = codec::VideoTextFromCode(strBundle);
    if (strVideo.empty())
        return {};
    SModelLookup found = lookup ? lookup(strVideo) : SModelLookup{};
    std::string strModel;
    for (const std::string& strWhole : WholeBundleMatches(strBundle, found))
        strModel += (strModel.empty() ? "" : " / ") + strWhole;
    if (strModel.empty())
        strModel = found.models.empty() ? std::string(kUnknownModel) : found.models.back();
    if (pLookup)
        *pLookup = std::move(found);
    return strModel;
}

} // namespace session
