// velmora-cli against the real emulator standing in for a building on
// loopback: get, set from a snapshot and overrides, scan, a batch of twenty
// rooms with silent and half-answering ones, retry, refusals, interrupts.

#include "EmulatorProcess.h"
#include "Snapshot.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fstream>
#include <spawn.h>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct SRun {
    int status = -1;
    std::string out; // standard output and error together
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fs::copy_file(VELMORA_DATA_MDB, Work() / "data.mdb")); }

    fs::path Work() const { return fs::path(folder.File("")); }

    // A building: controllers on 127.63.<n>.10 to .29, with extra options.
    void StartBuilding(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--addresses", Range(),
                                      "--port",      "0",
                                      "--state-dir", (Work() / "states").string(),
                                      "--log",       (Work() / "emulator.log").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        emulator = std::make_unique<emulator::Process>();
        ASSERT_TRUE(emulator->Start(args));
    }

    std::string Address(int last) const {
        return "127.63." + std::to_string(m_nNet) + "." + std::to_string(last);
    }
    std::string Range() const { return Address(10) + "-" + Address(29); }

    // Runs the command line in the work folder with short ticks and pauses.
    SRun Cli(const std::string& arguments, bool fast = true) {
        std::string command = "cd " + Work().string() + " && " + VELMORA_CLI_PATH + " " + arguments;
        if (fast)
            command += " --local-port 0 --peer-port " + std::to_string(emulator->port) +
                       " --tick-ms 100 --pause-scale 0.01";
        command += " 2>&1";
        SRun run;
        FILE* pipe = ::popen(command.c_str(), "r");
        char chunk[4096];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
            run.out.append(chunk, n);
        const int status = ::pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    session::SSnapshot Snapshot(const fs::path& path) {
        session::SSnapshot s;
        std::string error;
        EXPECT_TRUE(session::LoadSnapshot(path, s, error)) << error;
        return s;
    }

    emulator::TempFolder folder;
    std::unique_ptr<emulator::Process> emulator;
    // Each test its own /24, so parallel runs never meet.
    int m_nNet = 1 + static_cast<int>(::getpid() % 250);
};

TEST_F(CliTest, GetPrintsTheSettingsAndSavesASnapshot) {
    StartBuilding();
    const SRun run = Cli("get " + Address(10) + " --out room.json");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("lock_time      5"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("mask           255.0.0.0"), std::string::npos) << run.out;
    const auto s = Snapshot(Work() / "room.json");
    EXPECT_TRUE(s.read.Complete());
    EXPECT_EQ(codec::BytesToAddress(s.read.settings.initialIp), Address(10));
    EXPECT_EQ(s.read.settings.nLockType, 0);
    EXPECT_EQ(s.read.settings.nLockTime, 5);
    EXPECT_FALSE(s.read.settings.projectors[0].strModel.empty());
    EXPECT_NE(s.read.settings.projectors[0].strModel, "未知投影机型号");
    EXPECT_EQ(s.strProgram, "Velmora 1.0");
    // The JSON of get is the snapshot format itself.
    const SRun json = Cli("get " + Address(10) + " --json");
    session::SSnapshot parsed;
    std::string error;
    EXPECT_TRUE(session::ParseSnapshot(json.out, parsed, error)) << error << json.out;
}

TEST_F(CliTest, GetOfSilentAndHalfAnsweringControllersFails) {
    StartBuilding({"--fault", Address(11) + ":silent", "--fault", Address(12) + ":drop=2"});
    const SRun silent = Cli("get " + Address(11));
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.out.find("did not answer"), std::string::npos) << silent.out;
    const SRun half = Cli("get " + Address(12));
    EXPECT_EQ(half.status, 1);
    EXPECT_NE(half.out.find("未收到：投影机2代码"), std::string::npos) << half.out;
}

TEST_F(CliTest, SetFromASnapshotWithOverridesIsBackedUpAndReadBack) {
    StartBuilding();
    ASSERT_EQ(Cli("get " + Address(10) + " --out room.json").status, 0);
    const SRun set = Cli("set " + Address(11) +
                         " --from room.json --lock-time 30 --one-key on --projector2 \"BenQ SP920\"");
    EXPECT_EQ(set.status, 0) << set.out;
    EXPECT_NE(set.out.find("confirmed"), std::string::npos) << set.out;
    // What the controller held before is in the history beside data.mdb.
    const fs::path history = Work() / "history" / Address(11);
    ASSERT_TRUE(fs::exists(history)) << set.out;
    ASSERT_EQ(std::distance(fs::directory_iterator(history), fs::directory_iterator()), 1);
    const auto before = Snapshot(fs::directory_iterator(history)->path());
    EXPECT_EQ(before.read.settings.nLockTime, 5);
    // The controller now holds the new values and kept its own address.
    ASSERT_EQ(Cli("get " + Address(11) + " --out after.json").status, 0);
    const auto after = Snapshot(Work() / "after.json");
    EXPECT_EQ(after.read.settings.nLockTime, 30);
    EXPECT_TRUE(after.read.settings.bOneKey);
    EXPECT_EQ(after.read.settings.projectors[1].strModel, "BenQ SP920");
    EXPECT_EQ(codec::BytesToAddress(after.read.settings.controllerIp), Address(11));
}

TEST_F(CliTest, SetWithoutABackupSendsNoSetting) {
    StartBuilding();
    std::ofstream(Work() / "history") << "a file where the history folder belongs";
    const SRun set = Cli("set " + Address(16) + " --lock-time 60");
    EXPECT_EQ(set.status, 1) << set.out;
    EXPECT_NE(set.out.find("history"), std::string::npos) << set.out;
    EXPECT_NE(set.out.find("nothing was sent"), std::string::npos) << set.out;
    // The controller got the query of the backup read and nothing else.
    ::usleep(100000);
    std::size_t settings = 0;
    for (const auto& line : Lines(ReadFile(Work() / "emulator.log")))
        settings += line.find("applied") != std::string::npos;
    EXPECT_EQ(settings, 0u);
    ASSERT_EQ(Cli("get " + Address(16) + " --out after.json").status, 0);
    EXPECT_EQ(Snapshot(Work() / "after.json").read.settings.nLockTime, 5);
}

TEST_F(CliTest, SetNamesTheFieldTheControllerDidNotTake) {
    StartBuilding({"--fault", Address(13) + ":ignore-field=lock-time"});
    const SRun set = Cli("set " + Address(13) + " --lock-time 30 --server-ip 10.9.8.7 --json");
    EXPECT_EQ(set.status, 1) << set.out;
    const auto json = nlohmann::json::parse(set.out.substr(set.out.find('{')));
    EXPECT_EQ(json["outcome"], "different");
    std::vector<std::string> different;
    for (const auto& f : json["fields"])
        if (!f["equal"].get<bool>())
            different.push_back(f["field"].get<std::string>());
    EXPECT_EQ(different, std::vector<std::string>{"lock_time"});
    for (const auto& f : json["fields"])
        if (f["field"] == "lock_time") {
            EXPECT_EQ(f["sent"], "30");
            EXPECT_EQ(f["read"], "5");
        }
}

TEST_F(CliTest, SetMovesAControllerAndReadsItBackThere) {
    StartBuilding({"--move-after-ms", "100"});
    const SRun set = Cli("set " + Address(14) + " --controller-ip " + Address(200));
    EXPECT_EQ(set.status, 0) << set.out;
    EXPECT_EQ(Cli("get " + Address(200)).status, 0);
}

struct BadSnapshot {
    const char* name;
    std::string text;
    const char* field;
};

class CliRefusalTest : public CliTest, public ::testing::WithParamInterface<BadSnapshot> {};

TEST_P(CliRefusalTest, DamagedSnapshotIsRefusedAndNothingIsSent) {
    StartBuilding();
    ASSERT_EQ(Cli("get " + Address(15) + " --out good.json").status, 0);
    std::string text = ReadFile(Work() / "good.json");
    if (!GetParam().text.empty())
        text = GetParam().text == "truncate" ? text.substr(0, text.size() / 2) : GetParam().text;
    std::string replaced = GetParam().name;
    if (replaced == "version")
        text.replace(text.find("\"version\": 1"), 12, "\"version\": 7");
    if (replaced == "lock_time")
        text.replace(text.find("\"lock_time\": \"5\""), 16, "\"lock_time\": \"500\"");
    std::ofstream(Work() / "bad.json") << text;
    const std::string logBefore = ReadFile(Work() / "emulator.log");
    const SRun set = Cli("set " + Address(15) + " --from bad.json");
    EXPECT_EQ(set.status, 2) << set.out;
    EXPECT_NE(set.out.find(GetParam().field), std::string::npos) << set.out;
    EXPECT_NE(set.out.find("nothing was sent"), std::string::npos) << set.out;
    EXPECT_FALSE(fs::exists(Work() / "history"));
    ::usleep(100000);
    EXPECT_EQ(ReadFile(Work() / "emulator.log"), logBefore);
}

INSTANTIATE_TEST_SUITE_P(Files, CliRefusalTest,
                         ::testing::Values(BadSnapshot{"truncated", "truncate", "cut short"},
                                           BadSnapshot{"version", "", "version: 7 is not supported"},
                                           BadSnapshot{"lock_time", "", "settings.lock_time"},
                                           BadSnapshot{"not_json", "velmora", "corrupt"}),
                         [](const auto& info) { return info.param.name; });

TEST_F(CliTest, ScanListsTheControllersThatAnswer) {
    StartBuilding({"--fault", Address(20) + "-" + Address(22) + ":silent"});
    const SRun scan = Cli("scan 127.63." + std::to_string(m_nNet) + ".0/27");
    EXPECT_EQ(scan.status, 0) << scan.out;
    const auto lines = Lines(scan.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front().substr(0, 7), "address");
    EXPECT_EQ(lines.back(), "17 of 30 addresses answered");
    EXPECT_NE(scan.out.find(Address(19) + "  127.0.0.1"), std::string::npos) << scan.out;
    EXPECT_EQ(scan.out.find(Address(21)), std::string::npos) << scan.out;
    const SRun json = Cli("scan " + Range() + " --json");
    const auto found = nlohmann::json::parse(json.out);
    EXPECT_EQ(found.size(), 17u);
    EXPECT_EQ(found[0]["address"], Address(10));
    EXPECT_EQ(found[0]["server_ip"], "127.0.0.1");
}

TEST_F(CliTest, BatchOfTwentyRoomsFailsOnlyTheBadOnesAndRetriesThem) {
    StartBuilding({"--fault", Address(12) + ":silent", "--fault", Address(17) + ":silent", "--fault",
                   Address(25) + ":silent", "--fault", Address(21) + ":drop=2"});
    std::string plan = "address,room,lock_time,projector1\n";
    for (int last = 10; last <= 29; ++last)
        plan += Address(last) + ",R" + std::to_string(last) + "," + std::to_string(last) + ",\n";
    plan += "127.63.1.300,bad-address,,\n" + Address(30) + ",bad-model,,No Such Projector\n";
    std::ofstream(Work() / "plan.csv") << plan;
    const SRun batch = Cli("batch plan.csv --parallel 8");
    EXPECT_EQ(batch.status, 1) << batch.out;
    const auto results = Lines(ReadFile(Work() / "results.csv"));
    ASSERT_EQ(results.size(), 23u) << batch.out;
    EXPECT_EQ(results[0], "\xEF\xBB\xBFroom,address,outcome,differences,seconds,plan_row,backup");
    std::map<std::string, std::string> outcome;
    for (std::size_t i = 1; i < results.size(); ++i) {
        const auto first = results[i].find(',');
        const auto second = results[i].find(',', first + 1);
        outcome[results[i].substr(0, first)] = results[i].substr(second + 1);
    }
    EXPECT_EQ(outcome["R10"].substr(0, 3), "ok,");
    EXPECT_EQ(outcome["R12"].substr(0, 16), "failed,no reply,");
    EXPECT_EQ(outcome["R21"].rfind("failed,未收到：投影机2代码", 0), 0u) << outcome["R21"];
    EXPECT_EQ(outcome["bad-address"].substr(0, 15), "failed,\"address");
    EXPECT_NE(outcome["bad-model"].find("No Such Projector"), std::string::npos);
    std::size_t ok = 0;
    for (const auto& [room, rest] : outcome)
        ok += rest.rfind("ok,", 0) == 0;
    EXPECT_EQ(ok, 16u);
    // No progress bar when the output is not a terminal.
    EXPECT_EQ(batch.out.find("rooms  ok"), std::string::npos);
    // Each written room took its own lock time.
    ASSERT_EQ(Cli("get " + Address(18) + " --out r18.json").status, 0);
    EXPECT_EQ(Snapshot(Work() / "r18.json").read.settings.nLockTime, 18);

    // The controllers are mended; only the failed rooms run again.
    ASSERT_EQ(emulator->Stop(), 0);
    StartBuilding();
    const SRun retry = Cli("batch plan.csv --retry-failed results.csv --results again.csv --json");
    const auto json = nlohmann::json::parse(retry.out);
    EXPECT_EQ(json.size(), 6u) << retry.out;
    EXPECT_EQ(retry.status, 1) << "the two bad rows still fail";
    const auto again = Lines(ReadFile(Work() / "again.csv"));
    ASSERT_EQ(again.size(), 23u);
    std::size_t okAgain = 0;
    for (const auto& line : again)
        okAgain += line.find(",ok,") != std::string::npos;
    EXPECT_EQ(okAgain, 20u);
}

TEST_F(CliTest, InterruptedBatchFinishesTheSetsUnderWayAndReportsTheRestNotRun) {
    StartBuilding();
    std::string plan = "room,address\n";
    for (int last = 10; last <= 19; ++last)
        plan += "R" + std::to_string(last) + "," + Address(last) + "\n";
    std::ofstream(Work() / "plan.csv") << plan;
    // Pauses a tenth of the real ones: each Set is about a second long.
    const std::string command = "cd " + Work().string() + " && exec " + VELMORA_CLI_PATH +
                                " batch plan.csv --parallel 2 --local-port 0 --peer-port " +
                                std::to_string(emulator->port) +
                                " --tick-ms 100 --pause-scale 0.1 >out.txt 2>&1";
    pid_t pid = 0;
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    ASSERT_EQ(::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    // Interrupt once both rooms under way have been backed up, that is, have begun their Set.
    for (int i = 0; i < 500; ++i) {
        std::error_code ec;
        if (std::distance(fs::directory_iterator(Work() / "history", ec), fs::directory_iterator()) >= 2)
            break;
        ::usleep(10000);
    }
    ::usleep(50000);
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto results = Lines(ReadFile(Work() / "results.csv"));
    ASSERT_EQ(results.size(), 11u) << ReadFile(Work() / "out.txt");
    EXPECT_EQ(results[1].rfind("R10," + Address(10) + ",", 0), 0u) << results[1];
    std::size_t ok = 0, notRun = 0;
    for (const auto& line : results) {
        ok += line.find(",ok,") != std::string::npos;
        notRun += line.find(",not run,") != std::string::npos;
    }
    EXPECT_EQ(ok, 2u) << ReadFile(Work() / "results.csv");
    EXPECT_EQ(notRun, 8u);
}

TEST_F(CliTest, TakenPortIsAClearError) {
    StartBuilding();
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    socklen_t size = sizeof sa;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &size);
    const std::string port = std::to_string(ntohs(sa.sin_port));
    const SRun run =
        Cli("get " + Address(10) + " --local-port " + port + " --peer-port " + std::to_string(emulator->port),
            false);
    ::close(fd);
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.out.find("UDP port " + port + " is taken"), std::string::npos) << run.out;
}

TEST_F(CliTest, MissingDatabaseIsAClearError) {
    StartBuilding();
    fs::remove(Work() / "data.mdb");
    const SRun run = Cli("get " + Address(10));
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.out.find("data.mdb"), std::string::npos) << run.out;
}

struct HelpCase {
    const char* command;
    std::vector<const char*> mentions;
};

class CliHelpTest : public CliTest, public ::testing::WithParamInterface<HelpCase> {};

TEST_P(CliHelpTest, EverySubcommandExplainsItself) {
    emulator = std::make_unique<emulator::Process>();
    const SRun run = Cli(std::string(GetParam().command) + " --help", false);
    EXPECT_EQ(run.status, 0);
    for (const char* word : GetParam().mentions)
        EXPECT_NE(run.out.find(word), std::string::npos) << word << "\n" << run.out;
    EXPECT_EQ(run.out.find("--pause-scale"), std::string::npos) << "test options stay hidden";
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliHelpTest,
    ::testing::Values(HelpCase{"", {"get", "set", "scan", "batch"}},
                      HelpCase{"get", {"--out", "--json", "--db"}},
                      HelpCase{"set",
                               {"--from", "--controller-ip", "--lock-time", "--projector2", "history"}},
                      HelpCase{"scan", {"RANGE", "--rate", "4096"}},
                      HelpCase{"batch", {"--parallel", "--results", "--retry-failed", "Ctrl+C"}}),
    [](const auto& info) { return std::string(*info.param.command ? info.param.command : "program"); });

TEST_F(CliTest, BadCommandLinesAreBadInput) {
    emulator = std::make_unique<emulator::Process>();
    EXPECT_EQ(Cli("", false).status, 2);
    EXPECT_EQ(Cli("get", false).status, 2);
    EXPECT_EQ(Cli("scan 10.0.0.0/8", false).status, 2);
    EXPECT_EQ(Cli("set 10.0.0.1", false).status, 2);
    EXPECT_EQ(Cli("get 10.0.0.300", false).status, 2);
}

} // namespace
