#include "codec/Reply.h"
#include "AsciiText.h"

#include "codec/Hex.h"
#include "codec/Layout.h"

#include <algorithm>

namespace codec {
namespace {

// n counts the code bytes plus the parity byte; 49 is the most a block holds.
constexpr unsigned kMaxBlockLength = 49;

Ip4 AddressAt(const std::uint8_t* data, std::size_t offset) {
    return Ip4{data[offset], data[offset + 1], data[offset + 2], data[offset + 3]};
}

void AppendHex(std::string& text, std::uint8_t byte) {
    text += base::HexText(&byte, 1);
}

bool ReadProjector(const std::uint8_t* data, ProjectorReply& out) {
    for (std::size_t b = 0; b < kBlockCount; ++b) {
        const std::uint8_t* block = data + kBundleOffset + kBlockLength * b;
        const unsigned n = block[kBlockSizeOffset];
        if (n > kMaxBlockLength)
            return false;
        std::string& shortText = out.shortText[b];
        shortText.clear();
        for (unsigned i = 0; i < n + 3; ++i)
            AppendHex(shortText, block[i]);
        std::string& filled = out.filledText[b];
        filled = shortText;
        for (unsigned i = n + 3; i < kBlockLength; ++i)
            filled += "FF";
    }
    out.codeText.clear();
    out.storedBundle.clear();
    for (std::size_t b = 0; b < kBlockCount; ++b) {
        out.codeText += out.shortText[b];
        out.storedBundle += out.filledText[b];
    }
    return true;
}

void ReadIp(const std::uint8_t* data, IpReply& out) {
    out.server = AddressAt(data, kServerOffset);
    out.controller = AddressAt(data, kControllerOffset);
    out.mask = AddressAt(data, kMaskOffset);
    out.gateway = AddressAt(data, kGatewayOffset);
    out.oneKey = data[kOneKeyOffset] == 0xAA && data[kOneKeyOffset + 1] == 0xAA;
    out.lockTypeIndex = data[kLockTypeOffset] - 1;
    out.lockTimeIndex = data[kLockTimeOffset];
}

void ReadAdditional(const std::uint8_t* data, AdditionalReply& out) {
    out.domeIndex = data[kDomeOffset] - 1;
    out.micIndex = data[kMicrophoneOffset] - 1;
    out.keyboardIndex = data[kKeyboardOffset] - 1;
    for (std::size_t i = 0; i < out.mic.size(); ++i)
        std::copy_n(data + kMicOffset + kMicEntryLength * i, kMicEntryLength, out.mic[i].begin());
}

} // namespace

Reply ReadReply(const std::uint8_t* data, std::size_t length, const Ip4& initialIp) {
    Reply reply;
    if (data == nullptr || length < kHeaderLength)
        return reply;
    reply.address = AddressAt(data, kAddressOffset);
    if (reply.address != initialIp)
        return reply;
    reply.kind = data[kKindOffset];
    if (data[kZeroOffset] != 0 || reply.kind < kKindProjector1 || reply.kind > kKindDevice) {
        reply.outcome = ReplyOutcome::OtherKind;
        return reply;
    }
    const auto text = [data](std::size_t offset, std::string_view expected) {
        return std::equal(expected.begin(), expected.end(), data + offset);
    };
    if (!text(kPrefixOffset, kPrefix) || !text(kMarkerOffset, kReplyMarker) ||
        length < ReplyNeededLength(reply.kind)) {
        reply.outcome = ReplyOutcome::ReceptionError;
        return reply;
    }
    switch (reply.kind) {
    case kKindProjector1:
    case kKindProjector2:
        reply.outcome =
            ReadProjector(data, reply.projector) ? ReplyOutcome::Projector : ReplyOutcome::ReceptionError;
        if (reply.outcome == ReplyOutcome::ReceptionError)
            reply.projector = {};
        break;
    case kKindNetwork:
        ReadIp(data, reply.ip);
        reply.outcome = ReplyOutcome::IpSettings;
        break;
    default:
        ReadAdditional(data, reply.additional);
        reply.outcome = ReplyOutcome::Additional;
        break;
    }
    return reply;
}

std::string VideoTextFromCode(std::string_view codeText) {
    if (codeText.size() < 6)
        return {};
    const unsigned n = HexPairToByte(codeText.data() + 4);
    if (n <= 1)
        return {};
    return std::string(codeText.substr(6, 2 * n - 2));
}

} // namespace codec
