#include "ControllerSettings.h"

namespace session {
namespace {

// A list selection from a one-based byte: 1 and 2 name the two items, any
// other value leaves the list without a selection.
int TwoItemIndex(int nZeroBased) {
    return nZeroBased == 0 || nZeroBased == 1 ? nZeroBased : -1;
}

const char* Pick(int nIndex, const char* pszFirst, const char* pszSecond) {
    return nIndex == 0 ? pszFirst : nIndex == 1 ? pszSecond : "";
}

} // namespace

bool SReadResult::Complete() const {
    for (bool b : received)
        if (!b)
            return false;
    return true;
}

bool SReadResult::Any() const {
    for (bool b : received)
        if (b)
            return true;
    return false;
}

std::vector<EReplyPart> SReadResult::MissingParts() const {
    std::vector<EReplyPart> missing;
    for (std::size_t i = 0; i < kReplyParts; ++i)
        if (!received[i])
            missing.push_back(static_cast<EReplyPart>(i));
    return missing;
}

std::string StoredMicValue(std::uint8_t nByte) {
    return nByte == 0 || nByte == 255 ? std::string("-1") : std::to_string(nByte - 1);
}

void ApplyReply(const codec::Reply& reply, SReadResult& result) {
    SControllerSettings& s = result.settings;
    switch (reply.outcome) {
    case codec::ReplyOutcome::Projector: {
        const std::size_t nSlot = reply.kind == 1 ? 0 : 1;
        s.initialIp = reply.address;
        s.projectors[nSlot].strCode = reply.projector.storedBundle;
        result.received[nSlot] = true;
        break;
    }
    case codec::ReplyOutcome::IpSettings:
        s.initialIp = reply.address;
        s.serverIp = reply.ip.server;
        s.controllerIp = reply.ip.controller;
        s.maskIp = reply.ip.mask;
        s.gatewayIp = reply.ip.gateway;
        s.bOneKey = reply.ip.oneKey;
        s.nLockType = TwoItemIndex(reply.ip.lockTypeIndex);
        s.nLockTime =
            reply.ip.lockTimeIndex >= 0 && reply.ip.lockTimeIndex <= 120 ? reply.ip.lockTimeIndex : -1;
        result.received[kPartNetwork] = true;
        break;
    case codec::ReplyOutcome::Additional:
        s.initialIp = reply.address;
        s.nDome = TwoItemIndex(reply.additional.domeIndex);
        s.nMic = TwoItemIndex(reply.additional.micIndex);
        s.nKeyboard = TwoItemIndex(reply.additional.keyboardIndex);
        for (std::size_t i = 0; i < codec::kMicEntries; ++i) {
            const auto& entry = reply.additional.mic[i];
            s.mics[i] = {StoredMicValue(entry[0]), StoredMicValue(entry[1]), StoredMicValue(entry[2]),
                         StoredMicValue(entry[3])};
        }
        result.received[kPartDevices] = true;
        break;
    default:
        break;
    }
}

codec::SettingsValues ToSetValues(const SControllerSettings& s) {
    codec::SettingsValues v;
    v.initialIp = s.initialIp;
    v.serverIp = s.serverIp;
    v.controllerIp = s.controllerIp;
    v.maskIp = s.maskIp;
    v.gatewayIp = s.gatewayIp;
    v.code1 = s.projectors[0].strCode;
    v.code2 = s.projectors[1].strCode;
    v.oneKey = s.bOneKey;
    v.lockTypeIndex = s.nLockType;
    v.lockTimeIndex = s.nLockTime;
    v.domeIndex = s.nDome;
    v.micIndex = s.nMic;
    v.keyboardIndex = s.nKeyboard;
    return v;
}

std::vector<codec::MicEntryText> ToMicRows(const SControllerSettings& s) {
    std::vector<codec::MicEntryText> rows;
    for (const SMicEntry& m : s.mics)
        rows.push_back({m.strChannel, m.strDome, m.strPreset, m.strType});
    return rows;
}

std::string LockTypeText(int nIndex) {
    return Pick(nIndex, "脉冲型", "电平型");
}

std::string LockTimeText(int nIndex) {
    if (nIndex == 0)
        return "0.5";
    if (nIndex > 0 && nIndex <= 120)
        return std::to_string(nIndex);
    return "";
}

std::string DomeText(int nIndex) {
    return Pick(nIndex, "海康", "SONY");
}

std::string MicSystemText(int nIndex) {
    return Pick(nIndex, "手拉手", "点对点");
}

std::string KeyboardText(int nIndex) {
    return Pick(nIndex, "普通键盘", "无线触摸键盘");
}

} // namespace session
