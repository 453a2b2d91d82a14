#pragma once

// Controller reply datagrams for tests, written field by field at the places
// the wire layout names. It builds what a controller (or a broken one) sends;
// tests of the reader's golden bytes write theirs by hand instead.

#include "codec/Address.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class CReplyBuilder {
public:
    using Bytes = std::vector<std::uint8_t>;

    // The header ("KVMPRH", "FH", the address, 0, the kind) in a zero-filled
    // datagram of nLength bytes; 0 takes the kind's whole length.
    explicit CReplyBuilder(std::uint8_t nKind, const codec::Ip4& address = {127, 0, 0, 1},
                           std::size_t nLength = 0);

    // Another marker in bytes 6 and 7 (a request's "SZ" where a reply belongs).
    CReplyBuilder& Marker(std::string_view marker);
    // Raw bytes at an offset, for what no field below covers.
    CReplyBuilder& Put(std::size_t nOffset, const Bytes& bytes);

    // Kinds 1 and 2: bundle bytes from the start of the bundle.
    CReplyBuilder& Bundle(const Bytes& bundle);
    // One 52-byte block of the bundle: baud code, command, n = code bytes + 1,
    // the code, parity 00, 0xFF to the block's end.
    CReplyBuilder& Block(std::size_t nBlock, std::uint8_t nBaud, std::uint8_t nCommand, const Bytes& code);

    // Kind 3.
    CReplyBuilder& Network(const codec::Ip4& server, const codec::Ip4& controller, const codec::Ip4& mask,
                           const codec::Ip4& gateway);
    CReplyBuilder& OneKey(std::uint8_t nFirst, std::uint8_t nSecond);
    CReplyBuilder& Lock(std::uint8_t nType, std::uint8_t nTime);

    // Kind 4: the three type bytes, with the 0xFF gap after them.
    CReplyBuilder& Devices(std::uint8_t nDome, std::uint8_t nMicrophone, std::uint8_t nKeyboard);
    // One microphone entry: type, channel, dome, preset.
    CReplyBuilder& Mic(std::size_t nIndex, const Bytes& entry);
    // Entries nFrom to the last as unused (all 0xFF).
    CReplyBuilder& UnusedMics(std::size_t nFrom);
    // 0xFF after the microphone table, as a controller pads a device reply.
    CReplyBuilder& Padding();

    const Bytes& Build() const { return m_bytes; }
    operator const Bytes&() const { return m_bytes; }

private:
    void Fill(std::size_t nFrom, std::size_t nTo, std::uint8_t nValue);
    void PutAddress(std::size_t nOffset, const codec::Ip4& address);

    Bytes m_bytes;
};
