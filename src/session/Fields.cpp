#include "Fields.h"
#include "AsciiText.h"
#include "Statements.h"

namespace session {
namespace {

std::string SlotText(const SProjectorSlot& slot) {
    if (!slot.strModel.empty())
        return slot.strModel;
    return codec::VideoTextFromCode(slot.strCode).empty() ? std::string("(空)") : std::string(kUnknownModel);
}

// A field that is one member of the settings value.
template <class T>
SFieldDef Member(std::string strKey, std::size_t nPart, T SControllerSettings::*pMember, T cleared,
                 std::function<std::string(const T&)> text) {
    SFieldDef f;
    f.strKey = std::move(strKey);
    f.nPart = nPart;
    f.pfnCopy = [pMember](const SControllerSettings& from, SControllerSettings& to) {
        to.*pMember = from.*pMember;
    };
    f.pfnClear = [pMember, cleared](SControllerSettings& s) { s.*pMember = cleared; };
    f.pfnText = [pMember, text](const SControllerSettings& s) { return text(s.*pMember); };
    f.pfnSame = [text, pMember](const SControllerSettings& a, const SControllerSettings& b) {
        return text(a.*pMember) == text(b.*pMember);
    };
    return f;
}

std::vector<SFieldDef> BuildFields() {
    std::vector<SFieldDef> fields;
    auto address = [](const codec::Ip4& a) { return codec::BytesToAddress(a); };
    const std::function<std::string(const codec::Ip4&)> addressText = address;
    fields.push_back(
        Member("controller_ip", kPartNetwork, &SControllerSettings::controllerIp, {}, addressText));
    fields.push_back(Member("server_ip", kPartNetwork, &SControllerSettings::serverIp, {}, addressText));
    fields.push_back(Member("mask", kPartNetwork, &SControllerSettings::maskIp, {}, addressText));
    fields.push_back(Member("gateway", kPartNetwork, &SControllerSettings::gatewayIp, {}, addressText));
    fields.push_back(Member<bool>("one_key", kPartNetwork, &SControllerSettings::bOneKey, false,
                                  [](const bool& b) { return std::string(b ? "开" : "关"); }));
    auto index = [&](const char* pszKey, std::size_t nPart, int SControllerSettings::*pMember,
                     std::string (*pfnText)(int)) {
        fields.push_back(
            Member<int>(pszKey, nPart, pMember, -1, [pfnText](const int& n) { return pfnText(n); }));
    };
    index("lock_type", kPartNetwork, &SControllerSettings::nLockType, LockTypeText);
    index("lock_time", kPartNetwork, &SControllerSettings::nLockTime, LockTimeText);
    index("dome", kPartDevices, &SControllerSettings::nDome, DomeText);
    index("microphone", kPartDevices, &SControllerSettings::nMic, MicSystemText);
    index("keyboard", kPartDevices, &SControllerSettings::nKeyboard, KeyboardText);
    for (std::size_t p = 0; p < 2; ++p) {
        SFieldDef f;
        f.strKey = p == 0 ? "projector1" : "projector2";
        f.nPart = p;
        f.pfnCopy = [p](const SControllerSettings& from, SControllerSettings& to) {
            to.projectors[p] = from.projectors[p];
        };
        f.pfnClear = [p](SControllerSettings& s) { s.projectors[p] = {}; };
        f.pfnText = [p](const SControllerSettings& s) { return SlotText(s.projectors[p]); };
        // Hex codes are the same in either letter case; the name is what the
        // library calls them, not part of what the controller holds.
        f.pfnSame = [p](const SControllerSettings& a, const SControllerSettings& b) {
            return base::AsciiLower(a.projectors[p].strCode) == base::AsciiLower(b.projectors[p].strCode);
        };
        fields.push_back(std::move(f));
    }
    for (std::size_t i = 0; i < codec::kMicEntries; ++i) {
        SFieldDef f;
        f.strKey = "mic" + std::to_string(i + 1);
        f.nPart = kPartDevices;
        f.pfnCopy = [i](const SControllerSettings& from, SControllerSettings& to) {
            to.mics[i] = from.mics[i];
        };
        f.pfnClear = [i](SControllerSettings& s) { s.mics[i] = {}; };
        f.pfnText = [i](const SControllerSettings& s) {
            const SMicEntry& e = s.mics[i];
            return e.strType + "," + e.strChannel + "," + e.strDome + "," + e.strPreset;
        };
        f.pfnSame = [i](const SControllerSettings& a, const SControllerSettings& b) {
            return a.mics[i] == b.mics[i];
        };
        fields.push_back(std::move(f));
    }
    return fields;
}

} // namespace

const std::vector<SFieldDef>& Fields() {
    static const std::vector<SFieldDef> fields = BuildFields();
    return fields;
}

const SFieldDef* FindField(std::string_view key) {
    for (const SFieldDef& f : Fields())
        if (f.strKey == key)
            return &f;
    return nullptr;
}

void TakePart(const SControllerSettings& from, std::size_t nPart, SControllerSettings& to) {
    for (const SFieldDef& f : Fields())
        if (f.nPart == nPart)
            f.pfnCopy(from, to);
}

void ClearPart(std::size_t nPart, SControllerSettings& to) {
    for (const SFieldDef& f : Fields())
        if (f.nPart == nPart)
            f.pfnClear(to);
}

} // namespace session
