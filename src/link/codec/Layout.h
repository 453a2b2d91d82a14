#pragma once

// Where everything sits in a controller datagram. Requests, replies and the
// emulator read and write the bytes through these names only, so the layout
// is written down once.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace codec {

// The header, the same in every datagram: "KVMPRH", a two-letter marker
// ("SZ" from a tool, "FH" from a controller), the controller's address, a
// zero byte and the kind.
constexpr std::string_view kPrefix = "KVMPRH";
constexpr std::string_view kRequestMarker = "SZ";
constexpr std::string_view kReplyMarker = "FH";
constexpr std::size_t kPrefixOffset = 0;
constexpr std::size_t kMarkerOffset = 6;  // two marker letters
constexpr std::size_t kAddressOffset = 8; // bytes 8..11, first octet first
constexpr std::size_t kZeroOffset = 12;   // always 0 in a datagram of a known kind
constexpr std::size_t kKindOffset = 13;   // 1 to 5, below
constexpr std::size_t kHeaderLength = 14; // the body starts here
constexpr std::size_t kIp4Length = 4;     // bytes of each address in a body

// The kinds in byte 13. A query (5) is only a header; a controller answers it
// with one reply of each of the kinds 1 to 4, which mirror the requests.
constexpr std::uint8_t kKindProjector1 = 1;
constexpr std::uint8_t kKindProjector2 = 2;
constexpr std::uint8_t kKindNetwork = 3;
constexpr std::uint8_t kKindDevice = 4;
constexpr std::uint8_t kKindQuery = 5;

// Whole datagrams as a tool sends them and a controller answers.
constexpr std::size_t kProjectorLength = 222;
constexpr std::size_t kNetworkLength = 40;
constexpr std::size_t kDeviceLength = 184;
constexpr std::size_t kQueryLength = kHeaderLength;

// Kinds 1 and 2: a projector code bundle from byte 14, four blocks of 52
// bytes. Byte 2 of a block holds n, the count of its code bytes plus the
// parity byte; the block's text is its first n + 3 bytes.
constexpr std::size_t kBundleOffset = kHeaderLength;
constexpr std::size_t kBundleBytes = 208; // bytes of a projector bundle on the wire
constexpr std::size_t kBlockCount = 4;
constexpr std::size_t kBlockLength = 52;
constexpr std::size_t kBlockSizeOffset = 2; // n, within a block

// Kind 3: the network settings.
constexpr std::size_t kServerOffset = 14;     // server address
constexpr std::size_t kControllerOffset = 18; // the controller's own (new) address
constexpr std::size_t kMaskOffset = 22;       // subnet mask
constexpr std::size_t kGatewayOffset = 26;    // gateway
constexpr std::size_t kOneKeyOffset = 36;     // two bytes, both 0xAA when one-key is on, else 0xA0
constexpr std::size_t kLockTypeOffset = 38;   // 1 pulse lock, 2 level lock
constexpr std::size_t kLockTimeOffset = 39;   // the pulse lock's time index; 0xFF for none

// Kind 4: the device types and the microphone table.
constexpr std::size_t kDomeOffset = 14;       // dome type, selection + 1
constexpr std::size_t kMicrophoneOffset = 15; // microphone type, selection + 1
constexpr std::size_t kKeyboardOffset = 16;   // keyboard type, selection + 1
constexpr std::size_t kDeviceGapOffset = 17;  // bytes 17..23 are 0xFF
constexpr std::size_t kMicOffset = 24;        // the table: entries of four bytes
constexpr std::size_t kMicEntryLength = 4;    // type, channel, dome, preset
constexpr std::size_t kMicEntries = 20;
constexpr std::size_t kMicTableEnd = kMicOffset + kMicEntryLength * kMicEntries; // 104; 0xFF from here on

// The shortest datagram of a kind that a controller accepts as a request.
constexpr std::size_t RequestLength(int kind) {
    switch (kind) {
    case kKindProjector1:
    case kKindProjector2:
        return kProjectorLength;
    case kKindNetwork:
        return kNetworkLength;
    case kKindDevice:
        return kDeviceLength;
    default:
        return kQueryLength;
    }
}

// The shortest reply of a kind that a reader accepts: a device reply is read
// up to the end of its microphone table only.
constexpr std::size_t ReplyNeededLength(int kind) {
    switch (kind) {
    case kKindProjector1:
    case kKindProjector2:
        return kProjectorLength;
    case kKindNetwork:
        return kNetworkLength;
    default:
        return kMicTableEnd;
    }
}

} // namespace codec
