#pragma once

#include "codec/Address.h"
#include "codec/Layout.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace codec {

constexpr std::uint16_t kControllerPort = 1550;

using Datagram = std::vector<std::uint8_t>;

// One htset record as text.
struct MicEntryText {
    std::string tdnum, qjnum, bitnum, tyjnum;
};

// The values one Set sends, as the main window holds them.
struct SettingsValues {
    Ip4 initialIp{}, serverIp{}, controllerIp{}, maskIp{}, gatewayIp{};
    std::string code1, code2; // projector code bundles (hex text)
    bool oneKey = false;
    int lockTypeIndex = -1; // selected item of the lock-type combo, -1 = none
    int lockTimeIndex = -1; // selected item of the lock-time combo, -1 = none
    int domeIndex = -1, micIndex = -1, keyboardIndex = -1;
};

// Writes the 14-byte header (prefix, marker, address, 0, kind) into a
// zero-filled datagram of the given length.
Datagram MakeHeader(std::size_t length, std::string_view marker, const Ip4& address, std::uint8_t kind);

// Kind 1 or 2: the bundle text converted pair by pair; bytes past its end stay 0.
Datagram BuildProjectorRequest(int kind, const Ip4& address, std::string_view bundle);
// Kind 3: addresses, one-key option and electric lock, sent to the initial IP.
Datagram BuildNetworkRequest(const SettingsValues& v);
// Kind 4: device types and the twenty microphone entries from the htset records.
Datagram BuildDeviceRequest(const SettingsValues& v, const std::vector<MicEntryText>& rows);
// Kind 5: the query, carrying the address it is sent to.
Datagram BuildQuery(const Ip4& address);

// An htset value as it goes out: leading decimal integer v (0 if none);
// -1 gives 0xFF, anything else the low eight bits of v + 1.
std::uint8_t MicValueToByte(std::string_view text);

// One datagram of a Set, where it goes and how long to wait after it.
struct SetStep {
    Datagram datagram;
    Ip4 destination;
    int pauseAfterMs;
};

// The whole Set in order: kinds 1, 2, 3, 4 to the initial IP with pauses of
// 2000, 2000, 2000 and 4000 ms, then the query to the new controller IP.
std::vector<SetStep> BuildSetSequence(const SettingsValues& v, const std::vector<MicEntryText>& rows);

} // namespace codec
