#include "ModelLookup.h"

#include "ControllerSettings.h"
#include "Database.h"
#include "Statements.h"
#include "codec/Reply.h"

namespace session {

SModelLookup LookUpInLibrary(const std::string& strVideo) {
    SModelLookup result;
    try {
        auto pRecords = CDatabase::OpenRead(stmt::SelectByVideo(strVideo));
        while (!pRecords->AtEnd()) {
            std::string strModel = pRecords->FieldOr("投影机型号", std::string());
            if (!strModel.empty())
                result.models.push_back(std::move(strModel));
            pRecords->MoveNext();
        }
    } catch (const CDatabaseError& error) {
        result.strError = DatabaseErrorText(error.Code(), error.Text());
    }
    return result;
}

std::string ModelName(const std::string& strBundle, const ModelLookupFn& lookup, SModelLookup* pLookup) {
    const std::string strVideo = codec::VideoTextFromCode(strBundle);
    if (strVideo.empty())
        return {};
    SModelLookup found = lookup ? lookup(strVideo) : SModelLookup{};
    std::string strModel = found.models.empty() ? std::string(kUnknownModel) : found.models.back();
    if (pLookup)
        *pLookup = std::move(found);
    return strModel;
}

} // namespace session
