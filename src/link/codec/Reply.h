#pragma once

#include "codec/Address.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace codec {

enum class ReplyOutcome {
    Dropped,        // too short for a header, or not from the controller the window shows
    OtherKind,      // right address, but byte 12 or 13 is outside the reply kinds
    ReceptionError, // a reply kind with a wrong prefix, too short, or a block that overruns
    Projector,      // kind 1 or 2
    IpSettings,     // kind 3
    Additional,     // kind 4
};

struct ProjectorReply {
    std::array<std::string, 4> shortText, filledText;
    std::string codeText;     // the four short texts joined
    std::string storedBundle; // the four filled texts joined
};

struct IpReply {
    Ip4 server{}, controller{}, mask{}, gateway{};
    bool oneKey = false;
    int lockTypeIndex = -1; // byte 38 - 1
    int lockTimeIndex = -1; // byte 39
};

struct AdditionalReply {
    int domeIndex = -1, micIndex = -1, keyboardIndex = -1; // byte - 1
    // bytes 24+4i .. 27+4i as on the wire: type, channel, dome, preset
    std::array<std::array<std::uint8_t, 4>, 20> mic{};
};

struct Reply {
    ReplyOutcome outcome = ReplyOutcome::Dropped;
    int kind = 0; // byte 13 once the address matched
    Ip4 address{};
    ProjectorReply projector;
    IpReply ip;
    AdditionalReply additional;
};

// Recognises one received datagram for a window whose initial IP is
// initialIp and decodes it. Never reads past data[length - 1].
Reply ReadReply(const std::uint8_t* data, std::size_t length, const Ip4& initialIp);

// The VIDEO code inside a projector code text: characters 4 and 5 read as a
// hex number n give the length, the 2n - 2 characters from character 6 the
// code, cut at the end of the text; empty for n of 0 or 1.
std::string VideoTextFromCode(std::string_view codeText);

} // namespace codec
