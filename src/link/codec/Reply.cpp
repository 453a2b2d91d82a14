#include "codec/Reply.h"

#include "codec/Hex.h"

#include <algorithm>

namespace codec {
namespace {

constexpr std::size_t kHeader = 14;
constexpr std::size_t kBlock = 52;
// n counts the code bytes plus the parity byte; 49 is the most a block holds.
constexpr unsigned kMaxBlockLength = 49;

// How many bytes the reader needs for each reply kind.
std::size_t NeededLength(int kind) {
    switch (kind) {
    case 1:
    case 2:
        return 222;
    case 3:
        return 40;
    default:
        return 104;
    }
}

Ip4 AddressAt(const std::uint8_t* data, std::size_t offset) {
    return Ip4{data[offset], data[offset + 1], data[offset + 2], data[offset + 3]};
}

void AppendHex(std::string& text, std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
}

bool ReadProjector(const std::uint8_t* data, ProjectorReply& out) {
    for (std::size_t b = 0; b < 4; ++b) {
        const std::uint8_t* block = data + kHeader + kBlock * b;
        const unsigned n = block[2];
        if (n > kMaxBlockLength)
            return false;
        std::string& shortText = out.shortText[b];
        shortText.clear();
        for (unsigned i = 0; i < n + 3; ++i)
            AppendHex(shortText, block[i]);
        std::string& filled = out.filledText[b];
        filled = shortText;
        for (unsigned i = n + 3; i < kBlock; ++i)
            filled += "FF";
    }
    out.codeText.clear();
    out.storedBundle.clear();
    for (std::size_t b = 0; b < 4; ++b) {
        out.codeText += out.shortText[b];
        out.storedBundle += out.filledText[b];
    }
    return true;
}

void ReadIp(const std::uint8_t* data, IpReply& out) {
    out.server = AddressAt(data, 14);
    out.controller = AddressAt(data, 18);
    out.mask = AddressAt(data, 22);
    out.gateway = AddressAt(data, 26);
    out.oneKey = data[36] == 0xAA && data[37] == 0xAA;
    out.lockTypeIndex = data[38] - 1;
    out.lockTimeIndex = data[39];
}

void ReadAdditional(const std::uint8_t* data, AdditionalReply& out) {
    out.domeIndex = data[14] - 1;
    out.micIndex = data[15] - 1;
    out.keyboardIndex = data[16] - 1;
    for (std::size_t i = 0; i < out.mic.size(); ++i)
        std::copy_n(data + 24 + 4 * i, 4, out.mic[i].begin());
}

} // namespace

Reply ReadReply(const std::uint8_t* data, std::size_t length, const Ip4& initialIp) {
    Reply reply;
    if (data == nullptr || length < kHeader)
        return reply;
    reply.address = AddressAt(data, 8);
    if (reply.address != initialIp)
        return reply;
    reply.kind = data[13];
    if (data[12] != 0 || reply.kind < 1 || reply.kind > 4) {
        reply.outcome = ReplyOutcome::OtherKind;
        return reply;
    }
    static constexpr std::uint8_t kReplyHead[] = {'K', 'V', 'M', 'P', 'R', 'H', 'F', 'H'};
    if (!std::equal(std::begin(kReplyHead), std::end(kReplyHead), data) ||
        length < NeededLength(reply.kind)) {
        reply.outcome = ReplyOutcome::ReceptionError;
        return reply;
    }
    switch (reply.kind) {
    case 1:
    case 2:
        reply.outcome =
            ReadProjector(data, reply.projector) ? ReplyOutcome::Projector : ReplyOutcome::ReceptionError;
        if (reply.outcome == ReplyOutcome::ReceptionError)
            reply.projector = {};
        break;
    case 3:
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

const char* ReceptionErrorMessage(int kind) {
    switch (kind) {
    case 1:
        return "投影机1代码接受异常";
    case 2:
        return "投影机2代码接受异常";
    case 3:
        return "具体IP接受异常";
    case 4:
        return "附加设置接受异常";
    default:
        return "";
    }
}

} // namespace codec
