// The diagnosis's conclusion and its precedence over a machine and network
// that the test stands in for: which conclusion wins where several apply,
// and which are still listed after it.

#include "Diagnosis.h"
#include "SessionFakes.h"

#include <gtest/gtest.h>

namespace {

using session::EConclusion;
using sessiontest::DeviceReply;
using sessiontest::EmptyProjectorReply;
using sessiontest::NetworkReply;

const codec::Ip4 kController{192, 168, 5, 20};

class CFakeProbes : public net::IDiagnosisProbes {
public:
    std::vector<SInterfaceAddress> interfaces{{"eth0", {192, 168, 5, 2}, 24, false}};
    net::SPortCheck port;
    std::vector<codec::Datagram> replies; // each from the controller's address
    bool bLoopBackRequest = false;        // the request also arrives on the port
    net::ETriState eEcho = net::ETriState::No;
    std::optional<std::string> neighbour;
    net::SFirewallCheck firewall;
    int nExchanges = 0;

    std::vector<SInterfaceAddress> Interfaces() override { return interfaces; }
    net::SPortCheck ClaimPort(const net::Ip4&) override { return port; }
    bool Exchange(const std::vector<std::uint8_t>& request, const net::Ip4& to, int,
                  std::vector<net::SDatagramSeen>& received, std::string&) override {
        ++nExchanges;
        if (bLoopBackRequest)
            received.push_back({request, to, 0});
        long nMs = 5;
        for (const codec::Datagram& d : replies)
            received.push_back({d, to, nMs++});
        return true;
    }
    net::ETriState Echo(const net::Ip4&) override { return eEcho; }
    std::optional<std::string> Neighbour(const net::Ip4&) override { return neighbour; }
    net::SFirewallCheck Firewall() override { return firewall; }
};

std::vector<codec::Datagram> AllFour(const codec::Ip4& a) {
    return {EmptyProjectorReply(1, a), EmptyProjectorReply(2, a), NetworkReply(a, a), DeviceReply(a)};
}

struct SRow {
    const char* pszName;
    std::function<void(CFakeProbes&, codec::Ip4&)> setUp;
    EConclusion eConclusion;
    std::vector<EConclusion> also;
};

class CDiagnosisConclusion : public ::testing::TestWithParam<SRow> {};

TEST_P(CDiagnosisConclusion, FirstThatAppliesWinsTheRestAreListed) {
    CFakeProbes probes;
    codec::Ip4 address = kController;
    GetParam().setUp(probes, address);
    const session::SDiagnosis d = session::Diagnose(address, probes, {10});
    EXPECT_EQ(session::ConclusionCode(d.eConclusion),
              std::string(session::ConclusionCode(GetParam().eConclusion)));
    std::vector<std::string> also, expected;
    for (EConclusion e : d.also)
        also.push_back(session::ConclusionCode(e));
    for (EConclusion e : GetParam().also)
        expected.push_back(session::ConclusionCode(e));
    EXPECT_EQ(also, expected);
    // Nothing is sent to an address that is none, or without the port.
    const bool bSendable = d.eAddressProblem == session::EAddressProblem::None &&
                           d.Result(session::ECheck::Port) == session::ECheckResult::Ok;
    EXPECT_EQ(probes.nExchanges, bSendable ? 1 : 0);
}

void PrintTo(const SRow& row, std::ostream* pOut) {
    *pOut << row.pszName;
}

net::SFirewallCheck Blocking() {
    net::SFirewallCheck f;
    f.bChecked = true;
    f.bEnabled = true;
    f.eAllowed = net::ETriState::No;
    f.strProfile = "Public";
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Precedence, CDiagnosisConclusion,
    ::testing::Values(SRow{"wholeWithAnotherAddressBeside",
                           [](CFakeProbes& p, codec::Ip4&) {
                               p.replies = AllFour(kController);
                               p.replies.push_back(EmptyProjectorReply(1, {192, 168, 5, 99}));
                           },
                           EConclusion::Ok,
                           {EConclusion::OtherAddress}},
                      SRow{"threeOfFour",
                           [](CFakeProbes& p, codec::Ip4&) {
                               p.replies = AllFour(kController);
                               p.replies.erase(p.replies.begin() + 1);
                           },
                           EConclusion::Partial,
                           {}},
                      SRow{"repeatedKindIsNotWhole",
                           [](CFakeProbes& p, codec::Ip4&) {
                               p.replies = {EmptyProjectorReply(1, kController),
                                            EmptyProjectorReply(1, kController),
                                            NetworkReply(kController, kController), DeviceReply(kController)};
                           },
                           EConclusion::Partial,
                           {}},
                      SRow{"offSubnetAndPortHeld",
                           [](CFakeProbes& p, codec::Ip4&) {
                               p.interfaces = {{"eth0", {10, 0, 0, 2}, 24, false}};
                               p.port.eState = net::EPortState::OtherVelmora;
                           },
                           EConclusion::WrongSubnet,
                           {EConclusion::PortInUse}},
                      SRow{"portHeldForABadAddress",
                           [](CFakeProbes& p, codec::Ip4& a) {
                               a = {0, 0, 0, 0};
                               p.port.eState = net::EPortState::OtherProgram;
                           },
                           EConclusion::PortInUse,
                           {EConclusion::BadAddress}},
                      SRow{"ownRequestLoopedBackIsNoAnswer",
                           [](CFakeProbes& p, codec::Ip4&) { p.bLoopBackRequest = true; },
                           EConclusion::NoDevice,
                           {}},
                      SRow{"onTheWireButSilent",
                           [](CFakeProbes& p, codec::Ip4&) { p.neighbour = "00:11:22:33:44:55"; },
                           EConclusion::NotAController,
                           {}},
                      SRow{"headersOnly",
                           [](CFakeProbes& p, codec::Ip4&) {
                               for (codec::Datagram d : AllFour(kController)) {
                                   d.resize(14);
                                   p.replies.push_back(d);
                               }
                           },
                           EConclusion::NotAController,
                           {}},
                      SRow{"firewallBlocksADeviceThatPings",
                           [](CFakeProbes& p, codec::Ip4&) {
                               p.eEcho = net::ETriState::Yes;
                               p.firewall = Blocking();
                           },
                           EConclusion::Filtered,
                           {}},
                      SRow{"answersOnlyForAnother",
                           [](CFakeProbes& p, codec::Ip4&) {
                               p.replies = AllFour({192, 168, 5, 21});
                           },
                           EConclusion::OtherAddress,
                           {}},
                      SRow{"networkAddressOfTheSubnet",
                           [](CFakeProbes&, codec::Ip4& a) {
                               a = {192, 168, 5, 0};
                           },
                           EConclusion::BadAddress,
                           {}}),
    [](const auto& info) { return std::string(info.param.pszName); });

} // namespace
