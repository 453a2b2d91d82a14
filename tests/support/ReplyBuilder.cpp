#include "ReplyBuilder.h"

#include "codec/Layout.h"

#include <algorithm>
#include <stdexcept>

using namespace codec;

CReplyBuilder::CReplyBuilder(std::uint8_t nKind, const Ip4& address, std::size_t nLength)
    : m_bytes(nLength != 0 ? nLength : RequestLength(nKind), 0) {
    // Even a shorter datagram of a test starts as much of the header as fits.
    Bytes header(kHeaderLength, 0);
    std::copy(kPrefix.begin(), kPrefix.end(), header.begin() + kPrefixOffset);
    std::copy(kReplyMarker.begin(), kReplyMarker.end(), header.begin() + kMarkerOffset);
    std::copy(address.begin(), address.end(), header.begin() + kAddressOffset);
    header[kKindOffset] = nKind;
    std::copy_n(header.begin(), std::min(header.size(), m_bytes.size()), m_bytes.begin());
}

CReplyBuilder& CReplyBuilder::Marker(std::string_view marker) {
    return Put(kMarkerOffset, Bytes(marker.begin(), marker.end()));
}

CReplyBuilder& CReplyBuilder::Put(std::size_t nOffset, const Bytes& bytes) {
    if (nOffset + bytes.size() > m_bytes.size())
        throw std::out_of_range("reply bytes past the datagram");
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(nOffset));
    return *this;
}

CReplyBuilder& CReplyBuilder::Bundle(const Bytes& bundle) {
    return Put(kBundleOffset, Bytes(bundle.begin(), bundle.begin() + std::min(bundle.size(), kBundleBytes)));
}

CReplyBuilder& CReplyBuilder::Block(std::size_t nBlock, std::uint8_t nBaud, std::uint8_t nCommand,
                                    const Bytes& code) {
    const std::size_t nAt = kBundleOffset + kBlockLength * nBlock;
    Fill(nAt, nAt + kBlockLength, 0xFF);
    Bytes block{nBaud, nCommand, static_cast<std::uint8_t>(code.size() + 1)};
    block.insert(block.end(), code.begin(), code.end());
    block.push_back(0x00); // parity
    return Put(nAt, block);
}

CReplyBuilder& CReplyBuilder::Network(const Ip4& server, const Ip4& controller, const Ip4& mask,
                                      const Ip4& gateway) {
    PutAddress(kServerOffset, server);
    PutAddress(kControllerOffset, controller);
    PutAddress(kMaskOffset, mask);
    PutAddress(kGatewayOffset, gateway);
    return *this;
}

CReplyBuilder& CReplyBuilder::OneKey(std::uint8_t nFirst, std::uint8_t nSecond) {
    return Put(kOneKeyOffset, {nFirst, nSecond});
}

CReplyBuilder& CReplyBuilder::Lock(std::uint8_t nType, std::uint8_t nTime) {
    Put(kLockTypeOffset, {nType});
    return Put(kLockTimeOffset, {nTime});
}

CReplyBuilder& CReplyBuilder::Devices(std::uint8_t nDome, std::uint8_t nMicrophone, std::uint8_t nKeyboard) {
    Put(kDomeOffset, {nDome});
    Put(kMicrophoneOffset, {nMicrophone});
    Put(kKeyboardOffset, {nKeyboard});
    Fill(kDeviceGapOffset, kMicOffset, 0xFF);
    return *this;
}

CReplyBuilder& CReplyBuilder::Mic(std::size_t nIndex, const Bytes& entry) {
    if (entry.size() != kMicEntryLength || nIndex >= kMicEntries)
        throw std::out_of_range("no such microphone entry");
    return Put(kMicOffset + kMicEntryLength * nIndex, entry);
}

CReplyBuilder& CReplyBuilder::UnusedMics(std::size_t nFrom) {
    Fill(kMicOffset + kMicEntryLength * nFrom, kMicTableEnd, 0xFF);
    return *this;
}

CReplyBuilder& CReplyBuilder::Padding() {
    Fill(kMicTableEnd, m_bytes.size(), 0xFF);
    return *this;
}

void CReplyBuilder::Fill(std::size_t nFrom, std::size_t nTo, std::uint8_t nValue) {
    if (nTo > m_bytes.size() || nFrom > nTo)
        throw std::out_of_range("reply fill past the datagram");
    std::fill(m_bytes.begin() + static_cast<std::ptrdiff_t>(nFrom),
              m_bytes.begin() + static_cast<std::ptrdiff_t>(nTo), nValue);
}

void CReplyBuilder::PutAddress(std::size_t nOffset, const Ip4& address) {
    Put(nOffset, Bytes(address.begin(), address.end()));
}
