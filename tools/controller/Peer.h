#pragma once

// What the emulated controller does with one datagram: apply a setting,
// answer a query, or ignore it. No sockets here, so it is tested directly.

#include "State.h"
#include "codec/Requests.h"

#include <optional>
#include <set>
#include <string>
#include <utility>
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
    std::set<std::string> ignoreFields; // settings of a Set that are not taken over (see FieldNames())
    std::optional<codec::Ip4> answerAs; // replies carry this address in bytes 8 to 11 instead of its own
};

// The settings a Set can carry, as --ignore-field names them.
inline const std::set<std::string>& FieldNames() {
    static const std::set<std::string> names{"projector1", "projector2", "server-ip", "controller-ip", "mask",
                                             "gateway",    "one-key",    "lock-type", "lock-time",     "dome",
                                             "microphone", "keyboard",   "mics"};
    return names;
}

struct Handling {
    int kind = 0;                         // byte 13 when there is a header, else 0
    bool applied = false;                 // a setting (kinds 1-4) was taken over
    bool movePending = false;             // kind 3 named a new controller address
    bool moveNow = false;                 // the settings that follow an address change are in
    std::string note;                     // why it was ignored, or what was done
    std::vector<codec::Datagram> replies; // to send back to the sender
};

// The controller's behaviour on its current address. A kind-3 setting that
// names a new address does not move it at once: the Set that carries it still
// sends its device settings (kind 4) to the old address, so the move takes
// effect after them (or, without them, when the caller's grace time is up).
class Peer {
public:
    explicit Peer(ControllerState state) : m_state(std::move(state)), m_current(m_state.address) {}

    // Applies or answers one received datagram. Only requests with the
    // "KVMPRH" + "SZ" prefix, the current address, a zero byte 12 and the
    // full length of their kind are taken; everything else is ignored.
    Handling Handle(const std::uint8_t* data, std::size_t length, const Faults& faults);

    // The four replies to a query, kinds 1 to 4, mirroring the request layouts
    // with the "FH" marker and the current address, after faults.
    std::vector<codec::Datagram> Replies(const Faults& faults) const;

    const ControllerState& State() const { return m_state; }
    const codec::Ip4& Current() const { return m_current; }
    bool MovePending() const { return m_current != m_state.address; }
    // Takes the configured address as the current one.
    void Move() { m_current = m_state.address; }

private:
    ControllerState m_state; // as configured; its address is where the controller is going
    codec::Ip4 m_current;    // where it listens and what its replies carry
};

} // namespace controller
