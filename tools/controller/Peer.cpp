#include "Peer.h"

#include "codec/Layout.h"

#include <algorithm>

namespace controller {
namespace {

void PutAddress(codec::Datagram& d, std::size_t offset, const codec::Ip4& a) {
    std::copy(a.begin(), a.end(), d.begin() + static_cast<std::ptrdiff_t>(offset));
}

codec::Ip4 AddressAt(const std::uint8_t* data, std::size_t offset) {
    return {data[offset], data[offset + 1], data[offset + 2], data[offset + 3]};
}

codec::Datagram Reply(const ControllerState& s, const codec::Ip4& current, int kind) {
    using namespace codec;
    switch (kind) {
    case kKindProjector1:
    case kKindProjector2: {
        auto d = MakeHeader(kProjectorLength, kReplyMarker, current, static_cast<std::uint8_t>(kind));
        const auto& bundle = s.projectors[static_cast<std::size_t>(kind - 1)];
        std::copy_n(bundle.begin(), std::min(bundle.size(), kBundleBytes), d.begin() + kBundleOffset);
        return d;
    }
    case kKindNetwork: {
        auto d = MakeHeader(kNetworkLength, kReplyMarker, current, kKindNetwork);
        PutAddress(d, kServerOffset, s.server);
        PutAddress(d, kControllerOffset, s.address);
        PutAddress(d, kMaskOffset, s.mask);
        PutAddress(d, kGatewayOffset, s.gateway);
        d[kOneKeyOffset] = s.oneKey[0];
        d[kOneKeyOffset + 1] = s.oneKey[1];
        d[kLockTypeOffset] = s.lockType;
        d[kLockTimeOffset] = s.lockTime;
        return d;
    }
    default: {
        auto d = MakeHeader(kDeviceLength, kReplyMarker, current, kKindDevice);
        d[kDomeOffset] = s.dome;
        d[kMicrophoneOffset] = s.microphone;
        d[kKeyboardOffset] = s.keyboard;
        std::fill(d.begin() + kDeviceGapOffset, d.begin() + kMicOffset, 0xFF);
        for (std::size_t i = 0; i < s.mics.size(); ++i)
            std::copy(s.mics[i].begin(), s.mics[i].end(),
                      d.begin() + static_cast<std::ptrdiff_t>(kMicOffset + kMicEntryLength * i));
        std::fill(d.begin() + kMicTableEnd, d.end(), 0xFF);
        return d;
    }
    }
}

} // namespace

std::vector<codec::Datagram> Peer::Replies(const Faults& faults) const {
    std::vector<codec::Datagram> replies;
    if (faults.silent)
        return replies;
    for (int kind : faults.order) {
        if (kind < codec::kKindProjector1 || kind > codec::kKindDevice || kind == faults.dropKind)
            continue;
        codec::Datagram d = Reply(m_state, faults.answerAs.value_or(m_current), kind);
        if (kind == faults.badPrefixKind)
            d[codec::kPrefixOffset + 5] = 'X'; // the prefix's last letter
        if (kind == faults.shortKind)
            d.resize(codec::ReplyNeededLength(kind) - 1);
        if (faults.only14)
            d.resize(codec::kHeaderLength);
        replies.push_back(std::move(d));
    }
    return replies;
}

Handling Peer::Handle(const std::uint8_t* data, std::size_t length, const Faults& faults) {
    ControllerState& state = m_state;
    Handling h;
    if (length < codec::kHeaderLength) {
        h.note = "ignored: shorter than a header";
        return h;
    }
    h.kind = data[codec::kKindOffset];
    const auto text = [data](std::size_t offset, std::string_view expected) {
        return std::equal(expected.begin(), expected.end(), data + offset);
    };
    if (!text(codec::kPrefixOffset, codec::kPrefix) || !text(codec::kMarkerOffset, codec::kRequestMarker)) {
        h.note = "ignored: not a request prefix";
        return h;
    }
    if (AddressAt(data, codec::kAddressOffset) != m_current) {
        h.note = "ignored: addressed to " + codec::BytesToAddress(AddressAt(data, codec::kAddressOffset));
        return h;
    }
    if (data[codec::kZeroOffset] != 0 || h.kind < codec::kKindProjector1 || h.kind > codec::kKindQuery) {
        h.note = "ignored: unknown kind";
        return h;
    }
    if (length < codec::RequestLength(h.kind)) {
        h.note = "ignored: shorter than its kind";
        return h;
    }
    const auto take = [&](const char* field) { return faults.ignoreFields.count(field) == 0; };
    switch (h.kind) {
    case codec::kKindProjector1:
    case codec::kKindProjector2:
        if (take(h.kind == codec::kKindProjector1 ? "projector1" : "projector2"))
            state.projectors[static_cast<std::size_t>(h.kind - 1)].assign(
                data + codec::kBundleOffset, data + codec::kBundleOffset + codec::kBundleBytes);
        h.note = "applied projector " + std::to_string(h.kind);
        break;
    case codec::kKindNetwork: {
        if (take("server-ip"))
            state.server = AddressAt(data, codec::kServerOffset);
        if (take("mask"))
            state.mask = AddressAt(data, codec::kMaskOffset);
        if (take("gateway"))
            state.gateway = AddressAt(data, codec::kGatewayOffset);
        if (take("one-key"))
            state.oneKey = {data[codec::kOneKeyOffset], data[codec::kOneKeyOffset + 1]};
        if (take("lock-type"))
            state.lockType = data[codec::kLockTypeOffset];
        if (take("lock-time"))
            state.lockTime = data[codec::kLockTimeOffset];
        if (take("controller-ip"))
            state.address = AddressAt(data, codec::kControllerOffset);
        h.movePending = MovePending();
        h.note = h.movePending ? "applied network settings, moving to " + codec::BytesToAddress(state.address)
                               : "applied network settings";
        break;
    }
    case codec::kKindDevice:
        if (take("dome"))
            state.dome = data[codec::kDomeOffset];
        if (take("microphone"))
            state.microphone = data[codec::kMicrophoneOffset];
        if (take("keyboard"))
            state.keyboard = data[codec::kKeyboardOffset];
        if (take("mics"))
            for (std::size_t i = 0; i < state.mics.size(); ++i)
                std::copy_n(data + codec::kMicOffset + codec::kMicEntryLength * i, codec::kMicEntryLength,
                            state.mics[i].begin());
        h.moveNow = MovePending();
        h.note = "applied device settings";
        break;
    default:
        h.replies = Replies(faults);
        h.note = "query answered with " + std::to_string(h.replies.size()) + " replies";
        return h;
    }
    h.applied = true;
    return h;
}

} // namespace controller
