#pragma once

// What a diagnosis of one controller address asks of the machine and the
// network. The diagnosis itself (in the session layer) only talks to this
// interface, so tests can stand in for a network, and each system answers
// through its own implementation.

#include "LocalInterfaces.h"
#include "udp/UdpSocket.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace net {

enum class ETriState { Yes, No, Unknown };

// Who can use the controllers' port for the query.
enum class EPortState {
    Free,         // taken for the diagnosis
    ThisProgram,  // this program holds it already and queries beside its own socket
    OtherVelmora, // another Velmora program holds the owner lock (strHolder names it)
    OtherProgram, // the bind failed: a program that does not share the port holds it
    Failed,       // the bind failed for another reason (strHolder is the system's text)
};

struct SPortCheck {
    EPortState eState = EPortState::Free;
    std::string strHolder;
};

// One datagram received on the port during the query.
struct SDatagramSeen {
    std::vector<std::uint8_t> bytes;
    Ip4 from{};
    long nMs = 0; // after the query went out
};

struct SFirewallCheck {
    bool bChecked = false;                   // false where the system has no firewall this program can ask
    std::string strProfile;                  // "Public", "Private", "Domain", joined by "+" when several
    bool bEnabled = false;                   // the firewall is on for the current profile
    ETriState eAllowed = ETriState::Unknown; // an inbound rule lets UDP replies in on the port
    std::string strError;                    // why the firewall could not be asked
};

class IDiagnosisProbes {
public:
    virtual ~IDiagnosisProbes() = default;

    virtual std::vector<SInterfaceAddress> Interfaces() = 0;
    // Takes the port for the query that follows. `local` is the interface
    // address that reaches the controller (0.0.0.0 when none does).
    virtual SPortCheck ClaimPort(const Ip4& local) = 0;
    // Sends one request and collects every datagram that arrives within
    // nWaitMs. False with the system's reason when the request could not go out.
    virtual bool Exchange(const std::vector<std::uint8_t>& request, const Ip4& to, int nWaitMs,
                          std::vector<SDatagramSeen>& received, std::string& strError) = 0;
    // Whether the host answers ICMP echo; Unknown where probing is not allowed.
    virtual ETriState Echo(const Ip4& to) = 0;
    // The link-layer address the system's neighbour table holds for the
    // address ("00:11:22:33:44:55"), if it holds a complete entry.
    virtual std::optional<std::string> Neighbour(const Ip4& to) = 0;
    virtual SFirewallCheck Firewall() = 0;
};

} // namespace net
