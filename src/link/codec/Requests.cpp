#include "codec/Requests.h"

#include "codec/Numbers.h"

#include "codec/Hex.h"

#include <algorithm>

namespace codec {
namespace {

void PutAddress(Datagram& d, std::size_t offset, const Ip4& address) {
    std::copy(address.begin(), address.end(), d.begin() + static_cast<std::ptrdiff_t>(offset));
}

// A combo selection as its one-based code; no selection gives 0.
std::uint8_t SelectionCode(int index) {
    return index < 0 ? 0 : static_cast<std::uint8_t>(index + 1);
}

} // namespace

Datagram MakeHeader(std::size_t length, std::string_view marker, const Ip4& address, std::uint8_t kind) {
    Datagram d(std::max(length, kHeaderLength), 0);
    std::copy(kPrefix.begin(), kPrefix.end(), d.begin() + kPrefixOffset);
    std::copy(marker.begin(), marker.begin() + 2, d.begin() + kMarkerOffset);
    PutAddress(d, kAddressOffset, address);
    d[kZeroOffset] = 0;
    d[kKindOffset] = kind;
    return d;
}

Datagram BuildProjectorRequest(int kind, const Ip4& address, std::string_view bundle) {
    Datagram d = MakeHeader(kProjectorLength, kRequestMarker, address, static_cast<std::uint8_t>(kind));
    const std::size_t bytes = std::min(bundle.size() / 2, kBundleBytes);
    for (std::size_t i = 0; i < bytes; ++i)
        d[kBundleOffset + i] = HexPairToByte(bundle.data() + 2 * i);
    return d;
}

Datagram BuildNetworkRequest(const SettingsValues& v) {
    Datagram d = MakeHeader(kNetworkLength, kRequestMarker, v.initialIp, kKindNetwork);
    PutAddress(d, kServerOffset, v.serverIp);
    PutAddress(d, kControllerOffset, v.controllerIp);
    PutAddress(d, kMaskOffset, v.maskIp);
    PutAddress(d, kGatewayOffset, v.gatewayIp);
    d[kOneKeyOffset] = d[kOneKeyOffset + 1] = v.oneKey ? 0xAA : 0xA0;
    // Only the pulse lock has a time; the level lock and no selection send 0x02 0xFF.
    if (v.lockTypeIndex == 0) {
        d[kLockTypeOffset] = 0x01;
        d[kLockTimeOffset] = v.lockTimeIndex < 0 ? 0xFF : static_cast<std::uint8_t>(v.lockTimeIndex);
    } else {
        d[kLockTypeOffset] = 0x02;
        d[kLockTimeOffset] = 0xFF;
    }
    return d;
}

std::uint8_t MicValueToByte(std::string_view text) {
    const long long v = LeadingInteger(text);
    if (v == -1)
        return 0xFF;
    return static_cast<std::uint8_t>(static_cast<unsigned long long>(v + 1) & 0xFFu);
}

Datagram BuildDeviceRequest(const SettingsValues& v, const std::vector<MicEntryText>& rows) {
    Datagram d = MakeHeader(kDeviceLength, kRequestMarker, v.initialIp, kKindDevice);
    d[kDomeOffset] = SelectionCode(v.domeIndex);
    d[kMicrophoneOffset] = SelectionCode(v.micIndex);
    d[kKeyboardOffset] = SelectionCode(v.keyboardIndex);
    std::fill(d.begin() + kDeviceGapOffset, d.begin() + kMicOffset, 0xFF);
    const std::size_t count = std::min(rows.size(), kMicEntries);
    for (std::size_t k = 0; k < count; ++k) {
        const MicEntryText& row = rows[k];
        const std::size_t at = kMicOffset + kMicEntryLength * k;
        d[at + 0] = MicValueToByte(row.tyjnum);
        d[at + 1] = MicValueToByte(row.tdnum);
        d[at + 2] = MicValueToByte(row.qjnum);
        d[at + 3] = MicValueToByte(row.bitnum);
    }
    std::fill(d.begin() + kMicTableEnd, d.end(), 0xFF);
    return d;
}

Datagram BuildQuery(const Ip4& address) {
    return MakeHeader(kQueryLength, kRequestMarker, address, kKindQuery);
}

std::vector<SetStep> BuildSetSequence(const SettingsValues& v, const std::vector<MicEntryText>& rows) {
    std::vector<SetStep> steps;
    steps.push_back({BuildProjectorRequest(1, v.initialIp, v.code1), v.initialIp, 2000});
    steps.push_back({BuildProjectorRequest(2, v.initialIp, v.code2), v.initialIp, 2000});
    steps.push_back({BuildNetworkRequest(v), v.initialIp, 2000});
    steps.push_back({BuildDeviceRequest(v, rows), v.initialIp, 4000});
    steps.push_back({BuildQuery(v.controllerIp), v.controllerIp, 0});
    return steps;
}

} // namespace codec
