#pragma once

// Why a controller does not answer: one diagnosis of an address, its checks
// in order (the address, this machine's interfaces, the port, the query, the
// echo probe, the neighbour table, the firewall) and one conclusion. Each
// face words the codes and facts in its own language; the probes of the
// machine and the network are injected.

#include "DiagnosisProbes.h"
#include "codec/Address.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace session {

// In the order of precedence: where several apply, the first one is the
// conclusion and the others are listed after it.
enum class EConclusion {
    Ok,
    Partial,
    WrongSubnet,
    PortInUse,
    NoDevice,
    NotAController,
    Filtered,
    OtherAddress,
    BadAddress
};

enum class ECheck { Address, Interfaces, Port, Query, Echo, Neighbour, Firewall };
inline constexpr std::size_t kCheckCount = 7;

enum class ECheckResult { Ok, Fail, Skipped };

enum class EAddressProblem {
    None,
    Zero,      // 0.0.0.0 or another address of the "this network" block
    Multicast, // 224.0.0.0/4
    Reserved,  // 240.0.0.0/4, the limited broadcast included
    Network,   // the network address of a local subnet
    Broadcast, // the broadcast address of a local subnet
};

struct SReplySeen {
    int nKind = 0; // 1 to 4
    long nMs = 0;  // after the query
};

struct SDiagnosis {
    codec::Ip4 address{};

    EAddressProblem eAddressProblem = EAddressProblem::None;
    bool bLoopback = false; // meant for an emulator on this machine

    std::vector<SInterfaceAddress> interfaces;
    std::optional<SInterfaceAddress> reaching; // the interface whose subnet holds the address
    bool bOwnAddress = false;                  // the address is one of this machine's

    net::SPortCheck port;

    bool bQueried = false;
    std::string strSendError;
    std::vector<SReplySeen> replies;        // for this address, first of each kind, in arrival order
    std::vector<codec::Ip4> otherAddresses; // replies carrying another address, each once
    int nMalformed = 0;                     // from the address, but no reply a reader takes
    int nHeaderOnly = 0;                    // 14-byte datagrams only
    int nDatagrams = 0;                     // received during the query, our own request aside

    net::ETriState eEcho = net::ETriState::Unknown;
    bool bEchoTried = false;
    std::optional<std::string> neighbour;
    bool bNeighbourTried = false;
    net::SFirewallCheck firewall;

    std::array<ECheckResult, kCheckCount> results{};
    EConclusion eConclusion = EConclusion::Ok;
    std::vector<EConclusion> also; // the other conclusions that apply, in order

    ECheckResult Result(ECheck eCheck) const { return results[static_cast<std::size_t>(eCheck)]; }
    // The reply kinds (1 to 4) that did not come.
    std::vector<int> MissingKinds() const;
};

struct SDiagnosisTiming {
    int nQueryWaitMs = 3000; // as long as a read waits for its replies
};

SDiagnosis Diagnose(const codec::Ip4& address, net::IDiagnosisProbes& probes,
                    const SDiagnosisTiming& timing = {});

// The address check alone, against the local subnets.
EAddressProblem AddressProblem(const codec::Ip4& address, const std::vector<SInterfaceAddress>& interfaces);

// Sorts the received datagrams of a query to the address into `diagnosis`.
void ClassifyReplies(const std::vector<net::SDatagramSeen>& received,
                     const std::vector<std::uint8_t>& request, SDiagnosis& diagnosis);

// Fills the check results and the conclusions from the facts gathered.
void Conclude(SDiagnosis& diagnosis);

// The codes as the command line's JSON names them.
const char* ConclusionCode(EConclusion eConclusion);
const char* CheckName(ECheck eCheck);
const char* CheckResultName(ECheckResult eResult);

// The subnet an interface is on, as a.b.c.d/n.
std::string SubnetText(const SInterfaceAddress& item);

} // namespace session
