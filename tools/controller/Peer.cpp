#include "Peer.h"

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
    using codec::kReplyMarker;
    switch (kind) {
    case 1:
    case 2: {
        auto d = codec::MakeHeader(codec::kProjectorLength, kReplyMarker, current,
                                   static_cast<std::uint8_t>(kind));
        const auto& bundle = s.projectors[static_cast<std::size_t>(kind - 1)];
        std::copy_n(bundle.begin(), std::min(bundle.size(), codec::kBundleBytes), d.begin() + 14);
        return d;
    }
    case 3: {
        auto d = codec::MakeHeader(codec::kNetworkLength, kReplyMarker, current, 3);
        PutAddress(d, 14, s.server);
        PutAddress(d, 18, s.address);
        PutAddress(d, 22, s.mask);
        PutAddress(d, 26, s.gateway);
        d[36] = s.oneKey[0];
        d[37] = s.oneKey[1];
        d[38] = s.lockType;
        d[39] = s.lockTime;
        return d;
    }
    default: {
        auto d = codec::MakeHeader(codec::kDeviceLength, kReplyMarker, current, 4);
        d[14] = s.dome;
        d[15] = s.microphone;
        d[16] = s.keyboard;
        std::fill(d.begin() + 17, d.begin() + 24, 0xFF);
        for (std::size_t i = 0; i < s.mics.size(); ++i)
            std::copy(s.mics[i].begin(), s.mics[i].end(),
                      d.begin() + 24 + 4 * static_cast<std::ptrdiff_t>(i));
        std::fill(d.begin() + 104, d.end(), 0xFF);
        return d;
    }
    }
}

// The shortest reply of each kind that a reader accepts.
std::size_t NeededLength(int kind) {
    return kind <= 2 ? 222 : kind == 3 ? 40 : 104;
}

std::size_t RequestLength(int kind) {
    switch (kind) {
    case 1:
    case 2:
        return codec::kProjectorLength;
    case 3:
        return codec::kNetworkLength;
    case 4:
        return codec::kDeviceLength;
    default:
        return codec::kQueryLength;
    }
}

} // namespace

std::vector<codec::Datagram> Peer::Replies(const Faults& faults) const {
    std::vector<codec::Datagram> replies;
    if (faults.silent)
        return replies;
    for (int kind : faults.order) {
        if (kind < 1 || kind > 4 || kind == faults.dropKind)
            continue;
        codec::Datagram d = Reply(m_state, m_current, kind);
        if (kind == faults.badPrefixKind)
            d[5] = 'X';
        if (kind == faults.shortKind)
            d.resize(NeededLength(kind) - 1);
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
    h.kind = data[13];
    static constexpr std::uint8_t kRequestHead[] = {'K', 'V', 'M', 'P', 'R', 'H', 'S', 'Z'};
    if (!std::equal(std::begin(kRequestHead), std::end(kRequestHead), data)) {
        h.note = "ignored: not a request prefix";
        return h;
    }
    if (AddressAt(data, 8) != m_current) {
        h.note = "ignored: addressed to " + codec::BytesToAddress(AddressAt(data, 8));
        return h;
    }
    if (data[12] != 0 || h.kind < 1 || h.kind > 5) {
        h.note = "ignored: unknown kind";
        return h;
    }
    if (length < RequestLength(h.kind)) {
        h.note = "ignored: shorter than its kind";
        return h;
    }
    const auto take = [&](const char* field) { return faults.ignoreFields.count(field) == 0; };
    switch (h.kind) {
    case 1:
    case 2:
        if (take(h.kind == 1 ? "projector1" : "projector2"))
            state.projectors[static_cast<std::size_t>(h.kind - 1)].assign(data + 14,
                                                                          data + 14 + codec::kBundleBytes);
        h.note = "applied projector " + std::to_string(h.kind);
        break;
    case 3: {
        if (take("server-ip"))
            state.server = AddressAt(data, 14);
        if (take("mask"))
            state.mask = AddressAt(data, 22);
        if (take("gateway"))
            state.gateway = AddressAt(data, 26);
        if (take("one-key"))
            state.oneKey = {data[36], data[37]};
        if (take("lock-type"))
            state.lockType = data[38];
        if (take("lock-time"))
            state.lockTime = data[39];
        if (take("controller-ip"))
            state.address = AddressAt(data, 18);
        h.movePending = MovePending();
        h.note = h.movePending ? "applied network settings, moving to " + codec::BytesToAddress(state.address)
                               : "applied network settings";
        break;
    }
    case 4:
        if (take("dome"))
            state.dome = data[14];
        if (take("microphone"))
            state.microphone = data[15];
        if (take("keyboard"))
            state.keyboard = data[16];
        if (take("mics"))
            for (std::size_t i = 0; i < state.mics.size(); ++i)
                std::copy_n(data + 24 + 4 * i, 4, state.mics[i].begin());
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
