#pragma once

// What the emulated controller does with one datagram: apply a setting,
// answer a query, or ignore it. No sockets here, so it is tested directly.

#include "State.h"
#include "codec/Requests.h"

#include <string>
#include <vector>

namespace controller {

// Misbehaviour switched on from the command line, for testing the tool.
struct Faults {
    bool silent = false;                // never answer
    int delayMs = 0;                    // answer this late
    std::vector<int> order{1, 2, 3, 4}; // kinds of the replies, in sending order
    int badPrefixKind = 0;              // this reply kind carries a wrong prefix
    int shortKind = 0;                  // this reply kind is one byte shorter than a reader needs
    bool only14 = false;                // every reply is cut to its 14-byte header
    int dropKind = 0;                   // this reply kind is not sent
};

struct Handling {
    int kind = 0;                         // byte 13 when there is a header, else 0
    bool applied = false;                 // a setting (kinds 1-4) was taken over
    bool addressChanged = false;          // kind 3 gave the controller a new address
    std::string note;                     // why it was ignored, or what was done
    std::vector<codec::Datagram> replies; // to send back to the sender
};

// The four replies to a query, kinds 1 to 4, mirroring the request layouts
// with the "FH" marker and the controller's current address, after faults.
std::vector<codec::Datagram> BuildReplies(const ControllerState& state, const Faults& faults);

// Applies or answers one received datagram. Only requests with the "KVMPRH"
// + "SZ" prefix, the controller's own address, a zero byte 12 and the full
// length of their kind are taken; everything else is ignored.
Handling HandleDatagram(ControllerState& state, const std::uint8_t* data, std::size_t length,
                        const Faults& faults);

} // namespace controller
