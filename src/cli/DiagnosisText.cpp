#include "DiagnosisText.h"

#include "codec/Address.h"

namespace cli {
namespace {

using session::ECheck;
using session::ECheckResult;
using session::EConclusion;

const char* KindName(int nKind) {
    switch (nKind) {
    case 1:
        return "projector 1";
    case 2:
        return "projector 2";
    case 3:
        return "network settings";
    case 4:
        return "device settings";
    }
    return "?";
}

std::string InterfaceText(const SInterfaceAddress& item) {
    return item.strName + " " + codec::BytesToAddress(item.address) + "/" + std::to_string(item.nPrefix);
}

std::string KindList(const std::vector<int>& kinds) {
    std::string strText;
    for (int nKind : kinds)
        strText += (strText.empty() ? "" : ", ") + std::string(KindName(nKind));
    return strText;
}

std::string AddressDetail(const session::SDiagnosis& d) {
    const std::string strAddress = codec::BytesToAddress(d.address);
    switch (d.eAddressProblem) {
    case session::EAddressProblem::None:
        return strAddress + " is a usable host address" +
               (d.bLoopback ? " (loopback: a controller emulator on this machine)" : "");
    case session::EAddressProblem::Zero:
        return strAddress + " is no host address (0.x.x.x means this network)";
    case session::EAddressProblem::Multicast:
        return strAddress + " is a multicast address, not a controller's";
    case session::EAddressProblem::Reserved:
        return strAddress + " is a reserved or broadcast address";
    case session::EAddressProblem::Network:
        return strAddress + " is the network address of a local subnet";
    case session::EAddressProblem::Broadcast:
        return strAddress + " is the broadcast address of a local subnet";
    }
    return {};
}

std::string InterfacesDetail(const session::SDiagnosis& d) {
    if (d.Result(ECheck::Interfaces) == ECheckResult::Skipped)
        return "not checked for an unusable address";
    if (d.reaching)
        return "reached through " + InterfaceText(*d.reaching) +
               (d.bOwnAddress ? " (this machine's own address)" : "");
    std::string strLocal;
    for (const SInterfaceAddress& item : d.interfaces)
        if (!item.bLoopback)
            strLocal += (strLocal.empty() ? "" : ", ") + InterfaceText(item);
    SInterfaceAddress wanted;
    wanted.address = d.address;
    wanted.nPrefix = 24;
    return "no local interface is on its subnet (local addresses: " + (strLocal.empty() ? "none" : strLocal) +
           "); this machine needs an address in " + session::SubnetText(wanted) +
           " or the controller's subnet";
}

std::string PortDetail(const session::SDiagnosis& d) {
    switch (d.port.eState) {
    case net::EPortState::Free:
        return "UDP port 1550 is free";
    case net::EPortState::ThisProgram:
        return "UDP port 1550 is held by this program";
    case net::EPortState::OtherVelmora:
        return "UDP port 1550 is in use by " + d.port.strHolder;
    case net::EPortState::OtherProgram:
        return "UDP port 1550 is taken by another program that does not share it";
    case net::EPortState::Failed:
        return "UDP port 1550 cannot be bound: " + d.port.strHolder;
    }
    return {};
}

std::string QueryDetail(const session::SDiagnosis& d) {
    if (!d.bQueried)
        return "no query sent";
    if (!d.strSendError.empty())
        return "the query could not be sent: " + d.strSendError;
    std::string strText;
    if (d.replies.empty()) {
        strText = "no reply";
    } else {
        for (const session::SReplySeen& r : d.replies)
            strText += (strText.empty() ? "came: " : ", ") + std::string(KindName(r.nKind)) + " after " +
                       std::to_string(r.nMs) + " ms";
        if (const std::vector<int> missing = d.MissingKinds(); !missing.empty())
            strText += "; missing: " + KindList(missing);
    }
    if (!d.otherAddresses.empty()) {
        std::string strOthers;
        for (const codec::Ip4& a : d.otherAddresses)
            strOthers += (strOthers.empty() ? "" : ", ") + codec::BytesToAddress(a);
        strText += "; replies carried another address: " + strOthers;
    }
    if (d.nMalformed > 0)
        strText += "; " + std::to_string(d.nMalformed) + " malformed";
    if (d.nHeaderOnly > 0)
        strText += "; " + std::to_string(d.nHeaderOnly) + " cut to the 14-byte header";
    return strText;
}

std::string EchoDetail(const session::SDiagnosis& d) {
    if (!d.bEchoTried)
        return "not probed";
    switch (d.eEcho) {
    case net::ETriState::Yes:
        return "answers echo (ping)";
    case net::ETriState::No:
        return "no answer to echo (ping)";
    case net::ETriState::Unknown:
        return "this program may not send echo probes here";
    }
    return {};
}

std::string NeighbourDetail(const session::SDiagnosis& d) {
    if (!d.bNeighbourTried)
        return "not looked up";
    if (d.Result(ECheck::Neighbour) == ECheckResult::Skipped)
        return "not on a wire (an address of this machine)";
    return d.neighbour ? "link-layer address " + *d.neighbour + ": a device is on the wire there"
                       : "no entry in the neighbour table: nothing answered on the wire";
}

std::string FirewallDetail(const session::SDiagnosis& d) {
    if (!d.firewall.bChecked)
        return d.firewall.strError.empty() ? "checked on Windows only" : d.firewall.strError;
    const std::string strProfile = "profile " + (d.firewall.strProfile.empty() ? "?" : d.firewall.strProfile);
    if (!d.firewall.bEnabled)
        return strProfile + ": the firewall is off";
    switch (d.firewall.eAllowed) {
    case net::ETriState::Yes:
        return strProfile + ": an inbound rule lets UDP port 1550 in";
    case net::ETriState::No:
        return strProfile + ": no inbound rule lets UDP port 1550 in";
    case net::ETriState::Unknown:
        return strProfile + ": the rules could not be read";
    }
    return {};
}

} // namespace

std::string CheckDetail(const session::SDiagnosis& d, ECheck eCheck) {
    switch (eCheck) {
    case ECheck::Address:
        return AddressDetail(d);
    case ECheck::Interfaces:
        return InterfacesDetail(d);
    case ECheck::Port:
        return PortDetail(d);
    case ECheck::Query:
        return QueryDetail(d);
    case ECheck::Echo:
        return EchoDetail(d);
    case ECheck::Neighbour:
        return NeighbourDetail(d);
    case ECheck::Firewall:
        return FirewallDetail(d);
    }
    return {};
}

std::string ConclusionAdvice(const session::SDiagnosis& d) {
    switch (d.eConclusion) {
    case EConclusion::Ok:
        return "the controller answers whole";
    case EConclusion::Partial:
        return "the controller answers, but these replies did not come: " + KindList(d.MissingKinds()) +
               "; try again, and check the cable if it repeats";
    case EConclusion::WrongSubnet:
        return "no interface of this machine is on the controller's subnet: give this machine an address in "
               "that subnet, or check the address";
    case EConclusion::PortInUse:
        return "close the program that holds UDP port 1550 and try again";
    case EConclusion::NoDevice:
        return "nothing answers at this address: check the address, the cable and the controller's power";
    case EConclusion::NotAController:
        return "a device is at this address but nothing answers on UDP port 1550: another device has the "
               "address, or the controller's port is blocked";
    case EConclusion::Filtered:
        return "the firewall lets no UDP replies in on port 1550 for this network's profile: add an inbound "
               "rule for Velmora";
    case EConclusion::OtherAddress:
        return "a controller answered for another address: it has been set to that address; use it";
    case EConclusion::BadAddress:
        return "this is not a controller's address: type a host address";
    }
    return {};
}

std::string DiagnosisReport(const session::SDiagnosis& d) {
    std::string strText = "diagnosis of " + codec::BytesToAddress(d.address) + "\n";
    for (std::size_t i = 0; i < session::kCheckCount; ++i) {
        const auto eCheck = static_cast<ECheck>(i);
        std::string strName = session::CheckName(eCheck);
        strName.resize(11, ' ');
        std::string strResult = session::CheckResultName(d.Result(eCheck));
        strResult.resize(8, ' ');
        strText += "  " + strName + strResult + CheckDetail(d, eCheck) + "\n";
    }
    strText += "conclusion: " + std::string(session::ConclusionCode(d.eConclusion)) + ": " +
               ConclusionAdvice(d) + "\n";
    if (!d.also.empty()) {
        std::string strAlso;
        for (EConclusion e : d.also)
            strAlso += (strAlso.empty() ? "" : ", ") + std::string(session::ConclusionCode(e));
        strText += "also: " + strAlso + "\n";
    }
    return strText;
}

nlohmann::ordered_json DiagnosisJson(const session::SDiagnosis& d) {
    nlohmann::ordered_json checks = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < session::kCheckCount; ++i) {
        const auto eCheck = static_cast<ECheck>(i);
        checks.push_back({{"name", session::CheckName(eCheck)},
                          {"result", session::CheckResultName(d.Result(eCheck))},
                          {"detail", CheckDetail(d, eCheck)}});
    }
    return {{"address", codec::BytesToAddress(d.address)},
            {"conclusion", session::ConclusionCode(d.eConclusion)},
            {"checks", checks}};
}

std::string DiagnoseHint(const std::string& strAddress) {
    return "velmora-cli: to find out why, run: velmora-cli diagnose " + strAddress + "\n";
}

} // namespace cli
