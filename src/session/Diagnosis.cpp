#include "Diagnosis.h"

#include "codec/Layout.h"
#include "codec/Reply.h"
#include "codec/Requests.h"

#include <algorithm>
#include <iterator>

namespace session {
namespace {

std::uint32_t Number(const std::array<std::uint8_t, 4>& address) {
    return (std::uint32_t(address[0]) << 24) | (std::uint32_t(address[1]) << 16) |
           (std::uint32_t(address[2]) << 8) | address[3];
}

std::uint32_t Mask(int nPrefix) {
    nPrefix = std::clamp(nPrefix, 0, 32);
    return nPrefix == 0 ? 0 : ~std::uint32_t{0} << (32 - nPrefix);
}

bool InSubnet(const codec::Ip4& address, const SInterfaceAddress& item) {
    const std::uint32_t nMask = Mask(item.nPrefix);
    return item.nPrefix > 0 && (Number(address) & nMask) == (Number(item.address) & nMask);
}

bool HasReplyHeader(const std::vector<std::uint8_t>& bytes) {
    const auto text = [&bytes](std::size_t nOffset, std::string_view expected) {
        return std::equal(expected.begin(), expected.end(), bytes.begin() + static_cast<long>(nOffset));
    };
    return bytes.size() >= codec::kHeaderLength && text(codec::kPrefixOffset, codec::kPrefix) &&
           text(codec::kMarkerOffset, codec::kReplyMarker);
}

} // namespace

std::vector<int> SDiagnosis::MissingKinds() const {
    std::vector<int> missing;
    for (int nKind = 1; nKind <= 4; ++nKind)
        if (std::none_of(replies.begin(), replies.end(),
                         [nKind](const SReplySeen& r) { return r.nKind == nKind; }))
            missing.push_back(nKind);
    return missing;
}

EAddressProblem AddressProblem(const codec::Ip4& address, const std::vector<SInterfaceAddress>& interfaces) {
    if (address[0] == 0)
        return EAddressProblem::Zero;
    if (address[0] >= 224 && address[0] <= 239)
        return EAddressProblem::Multicast;
    if (address[0] >= 240)
        return EAddressProblem::Reserved;
    for (const SInterfaceAddress& item : interfaces) {
        if (item.bLoopback || item.nPrefix > 30 || !InSubnet(address, item))
            continue;
        const std::uint32_t nMask = Mask(item.nPrefix);
        if ((Number(address) & ~nMask) == 0)
            return EAddressProblem::Network;
        if ((Number(address) & ~nMask) == ~nMask)
            return EAddressProblem::Broadcast;
    }
    return EAddressProblem::None;
}

void ClassifyReplies(const std::vector<net::SDatagramSeen>& received,
                     const std::vector<std::uint8_t>& request, SDiagnosis& d) {
    for (const net::SDatagramSeen& seen : received) {
        if (seen.bytes == request)
            continue; // the query itself, looped back to a socket on this machine
        const bool bFromAddress = seen.from == d.address;
        if (HasReplyHeader(seen.bytes)) {
            codec::Ip4 carried{};
            std::copy_n(seen.bytes.begin() + codec::kAddressOffset, 4, carried.begin());
            if (carried != d.address) {
                if (std::find(d.otherAddresses.begin(), d.otherAddresses.end(), carried) ==
                    d.otherAddresses.end())
                    d.otherAddresses.push_back(carried);
                ++d.nDatagrams;
                continue;
            }
        }
        const codec::Reply reply = codec::ReadReply(seen.bytes.data(), seen.bytes.size(), d.address);
        switch (reply.outcome) {
        case codec::ReplyOutcome::Projector:
        case codec::ReplyOutcome::IpSettings:
        case codec::ReplyOutcome::Additional:
            ++d.nDatagrams;
            if (std::none_of(d.replies.begin(), d.replies.end(),
                             [&reply](const SReplySeen& r) { return r.nKind == reply.kind; }))
                d.replies.push_back({reply.kind, seen.nMs});
            break;
        case codec::ReplyOutcome::ReceptionError:
        case codec::ReplyOutcome::OtherKind:
            ++d.nDatagrams;
            ++(seen.bytes.size() == codec::kHeaderLength ? d.nHeaderOnly : d.nMalformed);
            break;
        case codec::ReplyOutcome::Dropped:
            // Something else on the port (another program's traffic) is not the controller's answer.
            if (bFromAddress) {
                ++d.nDatagrams;
                ++d.nMalformed;
            }
            break;
        }
    }
}

void Conclude(SDiagnosis& d) {
    const auto set = [&d](ECheck eCheck, ECheckResult eResult) {
        d.results[static_cast<std::size_t>(eCheck)] = eResult;
    };
    const bool bBad = d.eAddressProblem != EAddressProblem::None;
    const bool bPortOk =
        d.port.eState == net::EPortState::Free || d.port.eState == net::EPortState::ThisProgram;
    const bool bFirewallBlocks =
        d.firewall.bChecked && d.firewall.bEnabled && d.firewall.eAllowed == net::ETriState::No;
    const bool bOnWire = !d.bLoopback && !d.bOwnAddress;
    set(ECheck::Address, bBad ? ECheckResult::Fail : ECheckResult::Ok);
    set(ECheck::Interfaces, bBad         ? ECheckResult::Skipped
                            : d.reaching ? ECheckResult::Ok
                                         : ECheckResult::Fail);
    set(ECheck::Port, bPortOk ? ECheckResult::Ok : ECheckResult::Fail);
    set(ECheck::Query, !d.bQueried             ? ECheckResult::Skipped
                       : d.replies.size() == 4 ? ECheckResult::Ok
                                               : ECheckResult::Fail);
    set(ECheck::Echo, !d.bEchoTried || d.eEcho == net::ETriState::Unknown ? ECheckResult::Skipped
                      : d.eEcho == net::ETriState::Yes                    ? ECheckResult::Ok
                                                                          : ECheckResult::Fail);
    set(ECheck::Neighbour, !d.bNeighbourTried || !bOnWire ? ECheckResult::Skipped
                           : d.neighbour                  ? ECheckResult::Ok
                                                          : ECheckResult::Fail);
    set(ECheck::Firewall, !d.firewall.bChecked ? ECheckResult::Skipped
                          : bFirewallBlocks    ? ECheckResult::Fail
                                               : ECheckResult::Ok);

    const bool bSomethingThere = d.eEcho == net::ETriState::Yes || d.neighbour.has_value();
    const bool bOwnReplies = !d.replies.empty();
    const bool bAnyOnPort = d.nDatagrams > 0;
    std::vector<EConclusion> applies;
    const auto add = [&applies](bool bApplies, EConclusion e) {
        if (bApplies)
            applies.push_back(e);
    };
    add(d.replies.size() == 4, EConclusion::Ok);
    add(bOwnReplies && d.replies.size() < 4, EConclusion::Partial);
    add(!bBad && !d.reaching, EConclusion::WrongSubnet);
    add(!bPortOk, EConclusion::PortInUse);
    add(d.bQueried && !bAnyOnPort && !bSomethingThere, EConclusion::NoDevice);
    // A firewall that lets no reply in explains the silence on the port of a
    // device that is there, better than another device at the address does.
    add(d.bQueried && !bOwnReplies && d.otherAddresses.empty() && (bSomethingThere || bAnyOnPort) &&
            !bFirewallBlocks,
        EConclusion::NotAController);
    add(bFirewallBlocks && !bOwnReplies, EConclusion::Filtered);
    add(!d.otherAddresses.empty(), EConclusion::OtherAddress);
    add(bBad, EConclusion::BadAddress);
    if (applies.empty())
        applies.push_back(EConclusion::NoDevice);
    d.eConclusion = applies.front();
    d.also.assign(applies.begin() + 1, applies.end());
}

SDiagnosis Diagnose(const codec::Ip4& address, net::IDiagnosisProbes& probes,
                    const SDiagnosisTiming& timing) {
    SDiagnosis d;
    d.address = address;
    d.interfaces = probes.Interfaces();
    d.eAddressProblem = AddressProblem(address, d.interfaces);
    d.bLoopback = address[0] == 127;
    for (const SInterfaceAddress& item : d.interfaces) {
        d.bOwnAddress = d.bOwnAddress || item.address == address;
        // A subnet of a real interface names the way better than a host route.
        if (InSubnet(address, item) && (!d.reaching || d.reaching->nPrefix == 32))
            d.reaching = item;
    }
    const bool bUsable = d.eAddressProblem == EAddressProblem::None;
    const net::Ip4 local = d.reaching && !d.bOwnAddress ? d.reaching->address : net::Ip4{0, 0, 0, 0};
    d.port = probes.ClaimPort(local);
    const bool bPortOk =
        d.port.eState == net::EPortState::Free || d.port.eState == net::EPortState::ThisProgram;
    if (bUsable && bPortOk) {
        const codec::Datagram query = codec::BuildQuery(address);
        const std::vector<std::uint8_t> request(query.begin(), query.end());
        std::vector<net::SDatagramSeen> received;
        d.bQueried = true;
        if (probes.Exchange(request, address, timing.nQueryWaitMs, received, d.strSendError))
            ClassifyReplies(received, request, d);
    }
    if (bUsable) {
        d.bEchoTried = true;
        d.eEcho = probes.Echo(address);
        // Asked after the probes, which make the system look the address up on the wire.
        d.bNeighbourTried = true;
        d.neighbour = probes.Neighbour(address);
    }
    d.firewall = probes.Firewall();
    Conclude(d);
    return d;
}

const char* ConclusionCode(EConclusion eConclusion) {
    switch (eConclusion) {
    case EConclusion::Ok:
        return "ok";
    case EConclusion::Partial:
        return "partial";
    case EConclusion::WrongSubnet:
        return "wrong-subnet";
    case EConclusion::PortInUse:
        return "port-in-use";
    case EConclusion::NoDevice:
        return "no-device";
    case EConclusion::NotAController:
        return "not-a-controller";
    case EConclusion::Filtered:
        return "filtered";
    case EConclusion::OtherAddress:
        return "other-address";
    case EConclusion::BadAddress:
        return "bad-address";
    }
    return "";
}

const char* CheckName(ECheck eCheck) {
    switch (eCheck) {
    case ECheck::Address:
        return "address";
    case ECheck::Interfaces:
        return "interfaces";
    case ECheck::Port:
        return "port";
    case ECheck::Query:
        return "query";
    case ECheck::Echo:
        return "echo";
    case ECheck::Neighbour:
        return "neighbour";
    case ECheck::Firewall:
        return "firewall";
    }
    return "";
}

const char* CheckResultName(ECheckResult eResult) {
    switch (eResult) {
    case ECheckResult::Ok:
        return "ok";
    case ECheckResult::Fail:
        return "fail";
    case ECheckResult::Skipped:
        return "skipped";
    }
    return "";
}

std::string SubnetText(const SInterfaceAddress& item) {
    const std::uint32_t nNetwork = Number(item.address) & Mask(item.nPrefix);
    return std::to_string(nNetwork >> 24) + '.' + std::to_string((nNetwork >> 16) & 0xFF) + '.' +
           std::to_string((nNetwork >> 8) & 0xFF) + '.' + std::to_string(nNetwork & 0xFF) + '/' +
           std::to_string(item.nPrefix);
}

} // namespace session
