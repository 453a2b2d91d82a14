#pragma once

// Everything one controller holds, as the tool reads and writes it, with no
// knowledge of controls: the window, the command line and the snapshot files
// all use this one value.

#include "codec/Address.h"
#include "codec/Reply.h"
#include "codec/Requests.h"

#include <array>
#include <string>
#include <vector>

namespace session {

// The model name a projector slot gets when its VIDEO code is in no library row.
inline constexpr const char* kUnknownModel = "未知投影机型号";

// One projector slot: the code bundle as hex text (as the window holds it)
// and the library model named by its VIDEO code. An empty slot (no VIDEO
// code) has an empty model name.
struct SProjectorSlot {
    std::string strCode;
    std::string strModel;
    bool operator==(const SProjectorSlot&) const = default;
};

// One microphone row of htset: zero-based list indexes as decimal text, "-1"
// for no choice (camera type, channel, dome camera, preset).
struct SMicEntry {
    std::string strType = "-1", strChannel = "-1", strDome = "-1", strPreset = "-1";
    bool operator==(const SMicEntry&) const = default;
};

struct SControllerSettings {
    codec::Ip4 initialIp{};    // where the controller is now (the address its replies carry)
    codec::Ip4 controllerIp{}; // the controller's own address setting (where a Set moves it)
    codec::Ip4 serverIp{}, maskIp{}, gatewayIp{};
    bool bOneKey = false;
    int nLockType = -1; // 0 pulse, 1 level, -1 none
    int nLockTime = -1; // item of the lock-time list: 0 is "0.5", n is n seconds; -1 none
    int nDome = -1, nMic = -1, nKeyboard = -1; // item indexes, -1 none
    std::array<SProjectorSlot, 2> projectors;
    std::array<SMicEntry, codec::kMicEntries> mics;

    bool operator==(const SControllerSettings&) const = default;
};

// The four replies to a query, in kind order.
enum EReplyPart { kPartProjector1 = 0, kPartProjector2 = 1, kPartNetwork = 2, kPartDevices = 3 };
inline constexpr std::size_t kReplyParts = 4;

// What a read gave: the settings and which of the four replies arrived.
struct SReadResult {
    SControllerSettings settings;
    std::array<bool, kReplyParts> received{};
    long long nAnswerMs = -1; // from the query to the first accepted reply; -1 when none came

    bool Complete() const;
    bool Any() const;
    // The parts that did not come, in kind order; empty when complete.
    std::vector<EReplyPart> MissingParts() const;
};

// An htset value for a microphone byte as the controller sends it: a byte of
// 0 or 255 means no choice ("-1"), any other is stored zero-based.
std::string StoredMicValue(std::uint8_t nByte);

// Takes one accepted reply into the settings and marks its part as received.
// Projector model names are left to the caller (they need the library).
void ApplyReply(const codec::Reply& reply, SReadResult& result);

// The values of a Set for these settings: addresses, lock, devices, codes.
codec::SettingsValues ToSetValues(const SControllerSettings& settings);
// The microphone rows of a Set, in microphone order.
std::vector<codec::MicEntryText> ToMicRows(const SControllerSettings& settings);

// Texts of single values as the window shows them.
std::string LockTypeText(int nIndex);  // "脉冲型", "电平型", "" for none
std::string LockTimeText(int nIndex);  // "0.5", "1" … "120", "" for none or out of the list
std::string DomeText(int nIndex);      // "海康", "SONY", ""
std::string MicSystemText(int nIndex); // "手拉手", "点对点", ""
std::string KeyboardText(int nIndex);  // "普通键盘", "无线触摸键盘", ""

} // namespace session
