#pragma once

// A scripted transport and observer for the engine, and the reply datagrams
// its tests feed it (from the shared reply builder).

#include "Bytes.h"
#include "ReplyBuilder.h"
#include "SessionEngine.h"

#include <map>
#include <string>
#include <vector>

namespace sessiontest {

using codec::Ip4;
using session::TimeMs;

struct SSent {
    TimeMs tAt;
    codec::Datagram datagram;
    Ip4 to;
};

class CFakeTransport : public session::IDatagramTransport {
public:
    void SendTo(const codec::Datagram& datagram, const Ip4& address) override {
        sent.push_back({*pNow, datagram, address});
    }
    const TimeMs* pNow = nullptr;
    std::vector<SSent> sent;
};

class CRecorder : public session::ISessionObserver {
public:
    void OnStarted(session::ExchangeId id) override { started.push_back(id); }
    void OnReply(session::ExchangeId id, const session::SReplyEvent& e) override {
        replies.push_back({id, e});
    }
    void OnSetStep(session::ExchangeId id, int n) override { steps.push_back({id, n}); }
    void OnReadDone(session::ExchangeId id, const session::SReadResult& r) override { reads[id] = r; }
    void OnWriteDone(session::ExchangeId id, const session::SWriteResult& r) override { writes[id] = r; }
    void OnNotRun(session::ExchangeId id) override { notRun.push_back(id); }

    std::vector<session::ExchangeId> started, notRun;
    std::vector<std::pair<session::ExchangeId, session::SReplyEvent>> replies;
    std::vector<std::pair<session::ExchangeId, int>> steps;
    std::map<session::ExchangeId, session::SReadResult> reads;
    std::map<session::ExchangeId, session::SWriteResult> writes;
};

// "KVMPRH" "FH", the address, 0x00, the kind, in a zero-filled datagram.
inline codec::Datagram ReplyHead(int kind, const Ip4& a, std::size_t length) {
    return CReplyBuilder(static_cast<std::uint8_t>(kind), a, length);
}

// One 52-byte block: baud F4 (9600), command, length n = code bytes + 1, the
// code, parity 00, FF fill.
inline std::string Block(int command, std::string_view codeHex) {
    const std::size_t k = codeHex.size() / 2;
    char head[16];
    std::snprintf(head, sizeof head, "F4%02X%02X", command, static_cast<unsigned>(k + 1));
    return std::string(head) + std::string(codeHex) + "00" + testbytes::Repeat("FF", 48 - k);
}

// A bundle whose VIDEO code is `video` and whose other codes are empty.
inline std::string Bundle(std::string_view video) {
    return Block(1, video) + Block(2, "") + Block(3, "") + Block(4, "");
}

inline codec::Datagram ProjectorReply(int kind, const Ip4& a, std::string_view bundleHex) {
    return CReplyBuilder(static_cast<std::uint8_t>(kind), a).Bundle(testbytes::Hex(bundleHex));
}

// An empty slot as the controller reports one it was sent zeros for.
inline codec::Datagram EmptyProjectorReply(int kind, const Ip4& a) {
    return CReplyBuilder(static_cast<std::uint8_t>(kind), a);
}

// Kind 3 with server 10.1.2.3, mask 255.255.254.0, gateway 10.1.2.254, the
// given controller address, one-key on, pulse lock, lock time byte.
inline codec::Datagram NetworkReply(const Ip4& a, const Ip4& controller, std::uint8_t lockTime = 0x1E) {
    return CReplyBuilder(3, a)
        .Network({10, 1, 2, 3}, controller, {255, 255, 254, 0}, {10, 1, 2, 254})
        .OneKey(0xAA, 0xAA)
        .Lock(1, lockTime);
}

// Kind 4: dome SONY (02), daisy chain (01), wireless keyboard (02); mic 1
// camera type 1, channel 3, dome 16, no preset (02 04 11 FF); the others none.
inline codec::Datagram DeviceReply(const Ip4& a, std::string_view mic1 = "020411FF") {
    return CReplyBuilder(4, a).Devices(2, 1, 2).Mic(0, testbytes::Hex(mic1)).UnusedMics(1).Padding();
}

} // namespace sessiontest
