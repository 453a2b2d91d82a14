#include "Comparison.h"

#include <algorithm>
#include <cctype>

namespace session {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string MicText(const SMicEntry& e) {
    return e.strType + "," + e.strChannel + "," + e.strDome + "," + e.strPreset;
}

std::string SlotText(const SProjectorSlot& slot) {
    if (!slot.strModel.empty())
        return slot.strModel;
    return codec::VideoTextFromCode(slot.strCode).empty() ? std::string("(空)") : std::string(kUnknownModel);
}

} // namespace

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
    auto add = [&](const char* pszField, std::size_t nPart, std::string strSent, std::string strRead,
                   bool bEqual) {
        if (!readBack.received[nPart])
            fields.push_back({pszField, std::move(strSent), kNotReceivedText, false});
        else
            fields.push_back({pszField, std::move(strSent), std::move(strRead), bEqual});
    };
    auto address = [&](const char* pszField, const codec::Ip4& a, const codec::Ip4& b) {
        add(pszField, kPartNetwork, codec::BytesToAddress(a), codec::BytesToAddress(b), a == b);
    };
    auto text = [&](const char* pszField, std::size_t nPart, const std::string& a, const std::string& b) {
        add(pszField, nPart, a, b, a == b);
    };
    address("controller_ip", want.controllerIp, got.controllerIp);
    address("server_ip", want.serverIp, got.serverIp);
    address("mask", want.maskIp, got.maskIp);
    address("gateway", want.gatewayIp, got.gatewayIp);
    text("one_key", kPartNetwork, want.bOneKey ? "开" : "关", got.bOneKey ? "开" : "关");
    text("lock_type", kPartNetwork, LockTypeText(want.nLockType), LockTypeText(got.nLockType));
    text("lock_time", kPartNetwork, LockTimeText(want.nLockTime), LockTimeText(got.nLockTime));
    text("dome", kPartDevices, DomeText(want.nDome), DomeText(got.nDome));
    text("microphone", kPartDevices, MicSystemText(want.nMic), MicSystemText(got.nMic));
    text("keyboard", kPartDevices, KeyboardText(want.nKeyboard), KeyboardText(got.nKeyboard));
    for (std::size_t p = 0; p < 2; ++p) {
        const char* pszField = p == 0 ? "projector1" : "projector2";
        add(pszField, p, SlotText(want.projectors[p]), SlotText(got.projectors[p]),
            Lower(want.projectors[p].strCode) == Lower(got.projectors[p].strCode));
    }
    for (std::size_t i = 0; i < codec::kMicEntries; ++i) {
        const std::string strField = "mic" + std::to_string(i + 1);
        add(strField.c_str(), kPartDevices, MicText(want.mics[i]), MicText(got.mics[i]),
            want.mics[i] == got.mics[i]);
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
