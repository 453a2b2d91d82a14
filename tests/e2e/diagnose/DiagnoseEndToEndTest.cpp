// Each conclusion of the diagnosis on a network of the test's own: the
// process moves into a fresh network namespace (as root; otherwise the tests
// skip), with loopback, a veth pair on 10.29.0.1/24 and the emulator on
// 127.0.0.2 to 127.0.0.5. Both faces are checked: the session's diagnosis
// in this process, and velmora-cli diagnose --json as a child.

#include "Diagnosis.h"
#include "EmulatorProcess.h"
#include "PortOwner.h"
#include "SystemProbes.h"
#include "codec/Address.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <sched.h>

namespace {

using session::EConclusion;

struct SRow {
    const char* pszName;
    const char* pszAddress;
    bool bHoldPort; // another Velmora holds the owner lock of port 1550
    EConclusion eExpected;
    const char* pszQueryDetail = ""; // a part of the query check's detail, where it says more than the code
};

// Names the row in the test's name, not its bytes.
void PrintTo(const SRow& row, std::ostream* pOut) {
    *pOut << row.pszName;
}

std::string g_strSkip;
std::unique_ptr<emulator::TempFolder> g_pFolder;
std::unique_ptr<emulator::Process> g_pEmulator;

bool Shell(const std::string& strCommand) {
    return std::system((strCommand + " >/dev/null 2>&1").c_str()) == 0;
}

class CDiagnoseNetwork : public ::testing::TestWithParam<SRow> {
public:
    static void SetUpTestSuite() {
        if (::geteuid() != 0) {
            g_strSkip = "needs root to make a network namespace of its own";
            return;
        }
        if (::unshare(CLONE_NEWNET) != 0) {
            g_strSkip = "the system refuses a new network namespace";
            return;
        }
        if (!Shell("ip link set lo up") || !Shell("ip link add v29a type veth peer name v29b") ||
            !Shell("ip addr add 10.29.0.1/24 dev v29a") || !Shell("ip link set v29a up") ||
            !Shell("ip link set v29b up")) {
            g_strSkip = "ip cannot set up loopback and a veth pair in the namespace";
            return;
        }
        g_pFolder = std::make_unique<emulator::TempFolder>();
        // The owner lock lives in the runtime folder: one of the test's own.
        ::setenv("XDG_RUNTIME_DIR", g_pFolder->File("").c_str(), 1);
        g_pEmulator = std::make_unique<emulator::Process>();
        if (!g_pEmulator->Start({"--addresses", "127.0.0.2-127.0.0.5", "--state-dir",
                                 g_pFolder->File("rooms"), "--log", g_pFolder->File("emulator.log"),
                                 "--fault", "127.0.0.3:answer-as=127.0.0.33", "--fault", "127.0.0.4:drop=3",
                                 "--fault", "127.0.0.5:only-14"}))
            g_strSkip = "the emulator did not start";
        ::usleep(100'000); // the other two addresses are bound right after the first
    }
    static void TearDownTestSuite() {
        g_pEmulator.reset();
        g_pFolder.reset();
    }
    void SetUp() override {
        if (!g_strSkip.empty())
            GTEST_SKIP() << g_strSkip;
    }
};

TEST_P(CDiagnoseNetwork, BothFacesConclude) {
    const auto& [pszName, pszAddress, bHoldPort, eExpected, pszQueryDetail] = GetParam();
    SCOPED_TRACE(pszName);
    CPortOwner other;
    std::string strHolder;
    if (bHoldPort) {
        ASSERT_TRUE(other.Acquire(1550, "velmora", strHolder));
    }

    net::SSystemProbeOptions options;
    options.strProgram = "velmora-test";
    options.echoTimeout = std::chrono::milliseconds(300);
    options.nEchoCount = 1;
    {
        net::CSystemProbes probes(options);
        const session::SDiagnosis d = session::Diagnose(codec::AddressToBytes(pszAddress), probes, {300});
        EXPECT_STREQ(session::ConclusionCode(d.eConclusion), session::ConclusionCode(eExpected)) << pszName;
    }

    const std::string strCommand = std::string(VELMORA_CLI_PATH) + " diagnose " + pszAddress +
                                   " --json --wait-ms 300 --echo-ms 300 2>/dev/null";
    FILE* pPipe = ::popen(strCommand.c_str(), "r");
    ASSERT_NE(pPipe, nullptr);
    std::string strOut;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pPipe)) > 0;)
        strOut.append(chunk, n);
    const int nStatus = ::pclose(pPipe);
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), eExpected == EConclusion::Ok ? 0 : 1) << strOut;
    const nlohmann::json out = nlohmann::json::parse(strOut, nullptr, false);
    ASSERT_FALSE(out.is_discarded()) << strOut;
    EXPECT_EQ(out.value("address", ""), pszAddress);
    EXPECT_EQ(out.value("conclusion", ""), session::ConclusionCode(eExpected)) << strOut;
    std::vector<std::string> names;
    for (const auto& check : out["checks"]) {
        names.push_back(check.value("name", ""));
        if (names.back() == "query") {
            EXPECT_NE(check.value("detail", "").find(pszQueryDetail), std::string::npos) << strOut;
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"address", "interfaces", "port", "query", "echo", "neighbour",
                                               "firewall"}));
}

INSTANTIATE_TEST_SUITE_P(
    Conclusions, CDiagnoseNetwork,
    ::testing::Values(
        SRow{"emulator", "127.0.0.2", false, EConclusion::Ok, "device settings after"},
        SRow{"replyOfKind3Dropped", "127.0.0.4", false, EConclusion::Partial, "missing: network settings"},
        SRow{"outsideEverySubnet", "10.99.0.7", false, EConclusion::WrongSubnet, "could not be sent"},
        SRow{"portHeld", "127.0.0.2", true, EConclusion::PortInUse},
        SRow{"nothingOnTheSubnet", "10.29.0.50", false, EConclusion::NoDevice},
        SRow{"echoButNoPort", "10.29.0.1", false, EConclusion::NotAController},
        SRow{"onlyHeaders", "127.0.0.5", false, EConclusion::NotAController, "4 cut to the 14-byte header"},
        SRow{"answersForAnother", "127.0.0.3", false, EConclusion::OtherAddress,
             "another address: 127.0.0.33"},
        SRow{"broadcastOfSubnet", "10.29.0.255", false, EConclusion::BadAddress}),
    [](const auto& info) { return std::string(info.param.pszName); });

} // namespace
