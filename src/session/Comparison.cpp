#include "Comparison.h"
#include "Fields.h"

#include <algorithm>

namespace session {

SControllerSettings ExpectedReadBack(const SControllerSettings& sent) {
    const auto steps = codec::BuildSetSequence(ToSetValues(sent), ToMicRows(sent));
    SReadResult expected;
    for (std::size_t i = 0; i < 4; ++i) {
        codec::Datagram d = steps[i].datagram;
        // The reply mirrors the request with the reply marker and the
        // controller's new address.
        d[6] = 'F';
        d[7] = 'H';
        std::copy(sent.controllerIp.begin(), sent.controllerIp.end(), d.begin() + 8);
        ApplyReply(codec::ReadReply(d.data(), d.size(), sent.controllerIp), expected);
    }
    expected.settings.projectors[0].strModel = sent.projectors[0].strModel;
    expected.settings.projectors[1].strModel = sent.projectors[1].strModel;
    return expected.settings;
}

std::vector<SFieldResult> CompareFields(const SControllerSettings& sent, const SReadResult& readBack) {
    const SControllerSettings want = ExpectedReadBack(sent);
    const SControllerSettings& got = readBack.settings;
    std::vector<SFieldResult> fields;
    for (const SFieldDef& f : Fields()) {
        if (!readBack.received[f.nPart])
            fields.push_back({f.strKey, f.pfnText(want), kNotReceivedText, false});
        else
            fields.push_back({f.strKey, f.pfnText(want), f.pfnText(got), f.pfnSame(want, got)});
    }
    return fields;
}

bool AllEqual(const std::vector<SFieldResult>& fields) {
    return std::all_of(fields.begin(), fields.end(), [](const SFieldResult& f) { return f.bEqual; });
}

std::string DifferentFields(const std::vector<SFieldResult>& fields) {
    std::string strNames;
    for (const SFieldResult& f : fields) {
        if (f.bEqual)
            continue;
        if (!strNames.empty())
            strNames += ";";
        strNames += f.strField;
    }
    return strNames;
}

} // namespace session
