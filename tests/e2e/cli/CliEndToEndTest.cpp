// velmora-cli against the real emulator standing in for a building on
// loopback: get, set from a snapshot and overrides, scan, a batch of twenty
// rooms with silent and half-answering ones, retry, refusals, interrupts.

#include "BatchPlan.h"
#include "Database.h"
#include "EmulatorProcess.h"
#include "Snapshot.h"

#include <nlohmann/json.hpp>

#include "PortOwner.h"
#include "udp/UdpSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <spawn.h>
#include <sstream>
#include <tuple>

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

    // Datagrams the emulator has received so far.
    std::size_t Received() {
        std::size_t n = 0;
        for (const auto& line : Lines(ReadFile(Work() / "emulator.log")))
            n += line.find(" recv ") != std::string::npos;
        return n;
    }
    std::size_t Applied() {
        std::size_t n = 0;
        for (const auto& line : Lines(ReadFile(Work() / "emulator.log")))
            n += line.find("applied") != std::string::npos;
        return n;
    }
    // The addresses whose controller took a setting: the datagram's bytes 8
    // to 11, the last hex field of the emulator's log line.
    std::set<std::string> AppliedAt() {
        std::set<std::string> addresses;
        for (const auto& line : Lines(ReadFile(Work() / "emulator.log"))) {
            const std::size_t nHex = line.rfind(' ');
            if (line.find("applied") == std::string::npos || nHex == std::string::npos ||
                line.size() < nHex + 25)
                continue;
            std::string address;
            for (int i = 0; i < 4; ++i)
                address += (i ? "." : "") +
                           std::to_string(std::stoi(line.substr(nHex + 17 + 2 * i, 2), nullptr, 16));
            addresses.insert(address);
        }
        return addresses;
    }

    // Adds a row to the library of the test's data.mdb.
    void AddModel(const std::string& model, const std::string& baud, const std::string& parity,
                  const std::string& video, const std::string& powerOn = "505752204F4E0D") {
        CDatabase::OpenShared((Work() / "data.mdb").string());
        CDatabase::ExecuteWrite(
            "INSERT INTO data (投影机型号,波特率,校验,VGA,VIDEO,[POWER ON],[POWER OFF]) VALUES ('" + model +
            "','" + baud + "','" + parity + "','0D','" + video + "','" + powerOn + "','505752204F46460D')");
        CDatabase::CloseShared();
    }

    // The results file's lines after its byte-order mark, each split into its fields.
    std::vector<std::vector<std::string>> Results(const fs::path& path) {
        std::string text = ReadFile(path);
        EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u) << "a byte-order mark first";
        text = text.substr(std::min<std::size_t>(3, text.size()));
        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> row;
        std::string field;
        bool quoted = false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (quoted) {
                if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                    field += text[++i];
                else if (c == '"')
                    quoted = false;
                else
                    field += c;
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                row.push_back(field);
                field.clear();
            } else if (c == '\n') {
                row.push_back(field);
                field.clear();
                rows.push_back(row);
                row.clear();
            } else if (c != '\r') {
                field += c;
            }
        }
        return rows;
    }

    // Starts the command line in the background, output into out.txt.
    pid_t Spawn(const std::string& arguments, const char* pauseScale = "0.1") {
        const std::string command = "cd " + Work().string() + " && exec " + VELMORA_CLI_PATH + " " +
                                    arguments + " --local-port 0 --peer-port " +
                                    std::to_string(emulator->port) + " --tick-ms 100 --pause-scale " +
                                    pauseScale + " >out.txt 2>&1";
        pid_t pid = 0;
        const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        EXPECT_EQ(::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
        return pid;
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
    EXPECT_NE(half.out.find("not received: projector 2 codes"), std::string::npos) << half.out;
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
    const SRun json = Cli("scan " + Range() + " --json --inventory \"学校 配置.csv\"");
    const auto found = nlohmann::json::parse(json.out);
    EXPECT_EQ(found.size(), 17u);
    EXPECT_EQ(found[0]["address"], Address(10));
    EXPECT_EQ(found[0]["server_ip"], "127.0.0.1");
    // The inventory is a plan of the controllers found, and never replaces the library.
    const auto inventory = Lines(ReadFile(Work() / "学校 配置.csv"));
    ASSERT_EQ(inventory.size(), 18u);
    EXPECT_EQ(inventory[0].rfind("\xEF\xBB\xBFroom,address,server_ip,", 0), 0u) << inventory[0];
    EXPECT_EQ(inventory[1].rfind("," + Address(10) + ",127.0.0.1,", 0), 0u) << inventory[1];
    EXPECT_EQ(Cli("scan " + Address(10) + " --inventory data.mdb").status, 2);
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
    EXPECT_EQ(outcome["R21"].rfind("failed,not received: projector 2 codes", 0), 0u) << outcome["R21"];
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

// How a batch ends when its terminal goes away or it is killed mid-Set: a
// hang-up is taken as Ctrl+C (the Sets under way finish and are confirmed),
// and after kill -9 the rooms whose Set had begun read "Set under way" with
// their backup, never "not run".
struct SKillCase {
    const char* name;
    int signal;
    const char* outcome;     // of the rooms whose Set had begun
    const char* differences; // of those rooms
    int exitStatus;          // -1: killed, no status
};

class CliKillTest : public CliTest, public ::testing::WithParamInterface<SKillCase> {};

TEST_P(CliKillTest, RoomsWhoseSetBeganAreNeverReportedNotRun) {
    const SKillCase& c = GetParam();
    StartBuilding();
    std::string plan = "room,address,lock_time\n";
    for (int last = 10; last <= 15; ++last)
        plan += "R" + std::to_string(last) + "," + Address(last) + ",40\n";
    std::ofstream(Work() / "plan.csv") << plan;
    const pid_t pid = Spawn("batch plan.csv --parallel 2", "0.2");
    // Signal once both rooms under way have sent their first setting datagram.
    for (int i = 0; i < 1000 && AppliedAt().size() < 2; ++i)
        ::usleep(5000);
    ASSERT_GE(AppliedAt().size(), 2u) << ReadFile(Work() / "out.txt");
    ::kill(pid, c.signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (c.exitStatus < 0) {
        EXPECT_TRUE(WIFSIGNALED(status));
    } else {
        ASSERT_TRUE(WIFEXITED(status)) << ReadFile(Work() / "out.txt");
        EXPECT_EQ(WEXITSTATUS(status), c.exitStatus) << ReadFile(Work() / "out.txt");
    }
    const auto rows = Results(Work() / "results.csv");
    ASSERT_EQ(rows.size(), 7u) << ReadFile(Work() / "results.csv");
    std::size_t nBegun = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 7u);
        // A room whose controller took a setting is the one to check; a room
        // backed up but killed before its first datagram was rightly not run.
        const bool bBegun = AppliedAt().count(rows[i][1]) != 0;
        if (!bBegun) {
            EXPECT_EQ(rows[i][2], "not run") << rows[i][0];
            continue;
        }
        ++nBegun;
        EXPECT_EQ(rows[i][2], c.outcome) << rows[i][0];
        EXPECT_EQ(rows[i][3], c.differences) << rows[i][0];
        ASSERT_FALSE(rows[i][6].empty()) << rows[i][0] << " names its backup";
        EXPECT_TRUE(fs::exists(rows[i][6]));
    }
    EXPECT_EQ(nBegun, 2u) << ReadFile(Work() / "results.csv");
}

INSTANTIATE_TEST_SUITE_P(Ends, CliKillTest,
                         ::testing::Values(SKillCase{"hangup", SIGHUP, "ok", "", 1},
                                           SKillCase{"kill", SIGKILL, "failed", "Set under way", -1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, CheckStopsAtOnceOnCtrlC) {
    // Every room silent: unstopped, the check would wait out each room's queries.
    StartBuilding({"--fault", Address(10) + ":silent", "--fault", Address(11) + ":silent"});
    std::ofstream(Work() / "plan.csv") << "room,address\nA," + Address(10) + "\nB," + Address(11) + "\n";
    // Real one-second ticks: each silent room would take seconds.
    const std::string command = "cd " + Work().string() + " && exec " + VELMORA_CLI_PATH +
                                " batch plan.csv --check --local-port 0 --peer-port " +
                                std::to_string(emulator->port) + " >out.txt 2>&1";
    pid_t pid = 0;
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    ASSERT_EQ(::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    for (int i = 0; i < 500 && Received() == 0; ++i)
        ::usleep(5000);
    const auto tStart = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto elapsed = std::chrono::steady_clock::now() - tStart;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFile(Work() / "out.txt");
    EXPECT_LT(elapsed, std::chrono::milliseconds(900));
    EXPECT_EQ(Applied(), 0u);
}

// A socket bound to a port of the system's choosing, which it holds without
// sharing.
net::CUdpSocket TakeSomePort() {
    net::CUdpSocket socket;
    std::string strError;
    socket.Bind(net::Ip4{0, 0, 0, 0}, 0, net::CUdpSocket::EShare::Alone, strError);
    return socket;
}

TEST_F(CliTest, TakenPortIsAClearError) {
    StartBuilding();
    net::CUdpSocket holder = TakeSomePort();
    ASSERT_TRUE(holder.IsOpen());
    const std::uint16_t nPort = holder.LocalPort();
    const std::string port = std::to_string(nPort);
    const SRun run =
        Cli("get " + Address(10) + " --local-port " + port + " --peer-port " + std::to_string(emulator->port),
            false);
    holder.Close();
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.out.find("UDP port " + port + " is taken"), std::string::npos) << run.out;
}

// A second Velmora program on the same port would take the first one's
// replies: the command line stops before it sends anything and names the
// program that owns the port.
TEST_F(CliTest, PortOwnedByAnotherVelmoraStopsTheCommand) {
    StartBuilding();
    const std::uint16_t nPort = TakeSomePort().LocalPort(); // free to bind, but owned
    const std::string port = std::to_string(nPort);
    CPortOwner window;
    std::string holder;
    ASSERT_TRUE(window.Acquire(nPort, "velmora", holder));
    const std::string get =
        "get " + Address(10) + " --local-port " + port + " --peer-port " + std::to_string(emulator->port);
    SRun run = Cli(get, false);
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(
        run.out.find("port " + port + " is in use by velmora (pid " + std::to_string(::getpid()) + ", user "),
        std::string::npos)
        << run.out;
    EXPECT_EQ(ReadFile(Work() / "emulator.log").find("recv"), std::string::npos) << "nothing may be sent";
    window.Release();
    run = Cli(get, false);
    EXPECT_EQ(run.status, 0) << run.out;
}

TEST_F(CliTest, MissingDatabaseIsAClearError) {
    StartBuilding();
    fs::remove(Work() / "data.mdb");
    const SRun run = Cli("get " + Address(10));
    EXPECT_EQ(run.status, 3);
    // It says the file is missing and the folder it was looked for in.
    EXPECT_NE(run.out.find("data.mdb is missing: it was looked for in "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(Work().parent_path().filename().string()), std::string::npos) << run.out;
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
    ::testing::Values(
        HelpCase{"", {"get", "set", "scan", "batch", "restore", "130", "interrupted"}},
        HelpCase{"get", {"--out", "--json", "--db"}},
        HelpCase{"set", {"--from", "--controller-ip", "--lock-time", "--projector2", "history"}},
        HelpCase{"scan", {"RANGE", "--rate", "4096"}},
        HelpCase{"batch", {"--parallel", "--results", "--retry-failed", "--check", "Ctrl+C", "130"}},
        HelpCase{"restore", {"--from", "--latest", "--force", "130"}}),
    [](const auto& info) { return std::string(*info.param.command ? info.param.command : "program"); });

TEST_F(CliTest, BadCommandLinesAreBadInput) {
    emulator = std::make_unique<emulator::Process>();
    EXPECT_EQ(Cli("", false).status, 2);
    EXPECT_EQ(Cli("get", false).status, 2);
    EXPECT_EQ(Cli("scan 10.0.0.0/8", false).status, 2);
    EXPECT_EQ(Cli("set 10.0.0.1", false).status, 2);
    EXPECT_EQ(Cli("get 10.0.0.300", false).status, 2);
}

// A plan that would leave two controllers on one address.

TEST_F(CliTest, BatchRefusesAPlanThatPutsTwoRoomsOnOneAddressAndSendsNothing) {
    StartBuilding();
    const std::string shared = Address(50);
    const std::string plan = "room,address,controller_ip\n"
                             "A," +
                             Address(10) + "," + shared +
                             "\n"
                             "B," +
                             Address(11) + "," + shared +
                             "\n"
                             "C," +
                             Address(12) + "," + Address(13) +
                             "\n"
                             "D," +
                             Address(13) +
                             ",\n"
                             "E," +
                             Address(14) +
                             ",\n"
                             "F," +
                             Address(14) + ",\n";
    std::ofstream(Work() / "plan.csv") << plan;
    const SRun batch = Cli("batch plan.csv");
    EXPECT_EQ(batch.status, 2) << batch.out;
    for (const std::string& problem : {"line 3: controller_ip " + shared + " is also planned on line 2",
                                       "line 4: controller_ip " + Address(13) + " is the address of line 5",
                                       "line 7: address " + Address(14) + " is also on line 6"})
        EXPECT_NE(batch.out.find(problem), std::string::npos) << problem << "\n" << batch.out;
    ::usleep(100000);
    EXPECT_EQ(Received(), 0u);
    EXPECT_FALSE(fs::exists(Work() / "results.csv"));
}

TEST_F(CliTest, ARoomIsNotMovedOntoAnAddressAnotherControllerAnswersAt) {
    StartBuilding({"--move-after-ms", "100"});
    // Room A's new address is a controller of the building that is not in the plan.
    const std::string plan = "room,address,controller_ip,lock_time\n"
                             "A," +
                             Address(10) + "," + Address(20) +
                             ",30\n"
                             "B," +
                             Address(11) + "," + Address(150) + ",30\n";
    std::ofstream(Work() / "plan.csv") << plan;
    const SRun batch = Cli("batch plan.csv");
    EXPECT_EQ(batch.status, 1) << batch.out;
    const auto rows = Results(Work() / "results.csv");
    ASSERT_EQ(rows.size(), 3u) << batch.out;
    EXPECT_EQ(rows[1][2], "failed");
    EXPECT_EQ(rows[1][3], "address taken by another controller");
    EXPECT_FALSE(fs::exists(Work() / "history" / Address(10)))
        << "a write that sends nothing keeps no backup";
    EXPECT_EQ(rows[2][2], "ok") << rows[2][3];
    ASSERT_EQ(Cli("get " + Address(10) + " --out a.json").status, 0);
    EXPECT_EQ(Snapshot(Work() / "a.json").read.settings.nLockTime, 5) << "room A was not written";
    ASSERT_EQ(Cli("get " + Address(20) + " --out other.json").status, 0);
    EXPECT_EQ(Snapshot(Work() / "other.json").read.settings.nLockTime, 5);
    EXPECT_EQ(Cli("get " + Address(150)).status, 0);
}

// The same plan run again after its rooms moved: a room is found at its new
// address, written there with what is still to change and reported so, and
// --check does not take it for another controller.
TEST_F(CliTest, APlanRunAgainFindsItsMovedRoomsAtTheirNewAddresses) {
    StartBuilding({"--move-after-ms", "100"});
    auto writePlan = [&](int nLockTime) {
        const std::string strTime = std::to_string(nLockTime);
        std::ofstream(Work() / "plan.csv") << "room,address,controller_ip,lock_time\nA," + Address(10) + "," +
                                                  Address(210) + "," + strTime + "\nB," + Address(11) + ",," +
                                                  strTime + "\n";
    };
    writePlan(30);
    const SRun first = Cli("batch plan.csv");
    ASSERT_EQ(first.status, 0) << first.out;
    const SRun check = Cli("batch plan.csv --check");
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_NE(check.out.find("already at " + Address(210)), std::string::npos) << check.out;
    EXPECT_EQ(check.out.find("address taken by another controller"), std::string::npos) << check.out;
    writePlan(20);
    const SRun again = Cli("batch plan.csv");
    EXPECT_EQ(again.status, 0) << again.out;
    const auto rows = Results(Work() / "results.csv");
    ASSERT_EQ(rows.size(), 3u) << again.out;
    EXPECT_EQ(rows[1][2], "ok");
    EXPECT_EQ(rows[1][3], "already at " + Address(210) + "; written: lock_time");
    EXPECT_NE(rows[1][6].find(Address(210)), std::string::npos) << "backed up where it answered";
    EXPECT_EQ(rows[2][2], "ok");
    ASSERT_EQ(Cli("get " + Address(210) + " --out a.json").status, 0);
    EXPECT_EQ(Snapshot(Work() / "a.json").read.settings.nLockTime, 20);
}

TEST_F(CliTest, CheckShowsEveryChangeAndProblemAndSendsNoSetting) {
    StartBuilding({"--fault", Address(25) + ":silent"});
    const std::string plan = "room,address,lock_time,controller_ip,mask\n"
                             "A," +
                             Address(10) +
                             ",30,,\n"
                             "B," +
                             Address(11) + ",," + Address(12) +
                             ",\n"
                             "C," +
                             Address(25) +
                             ",7,,\n"
                             "D," +
                             Address(13) + ",,,255.0.255.0\n";
    std::ofstream(Work() / "plan.csv") << plan;
    const SRun check = Cli("batch plan.csv --check");
    EXPECT_EQ(check.status, 1) << check.out;
    for (const std::string& line :
         {"A (" + Address(10) + "): can be written", std::string("  lock_time: 5 → 30"),
          "B (" + Address(11) + "): cannot be written",
          "  controller_ip: " + Address(11) + " → " + Address(12),
          std::string("  problem: address taken by another controller"),
          "C (" + Address(25) + "): cannot be written", std::string("  problem: no reply"),
          "D (" + Address(13) + "): cannot be written",
          std::string("  problem: mask: the mask is not contiguous")})
        EXPECT_NE(check.out.find(line), std::string::npos) << line << "\n" << check.out;
    ::usleep(100000);
    EXPECT_EQ(Applied(), 0u);
    EXPECT_FALSE(fs::exists(Work() / "results.csv"));
    EXPECT_FALSE(fs::exists(Work() / "history"));
    std::ofstream(Work() / "good.csv") << "room,address,lock_time\nA," + Address(10) + ",30\n";
    const SRun good = Cli("batch good.csv --check");
    EXPECT_EQ(good.status, 0) << good.out;
}

// Results that survive whatever happens.

TEST_F(CliTest, AResultsFileThatCannotBeWrittenStopsTheBatchBeforeItSends) {
    StartBuilding();
    std::ofstream(Work() / "plan.csv") << "room,address,lock_time\nA," + Address(10) + ",30\n";
    const SRun batch = Cli("batch plan.csv --results no-such-folder/results.csv");
    EXPECT_EQ(batch.status, 3) << batch.out;
    EXPECT_NE(batch.out.find("no-such-folder"), std::string::npos) << batch.out;
    ::usleep(100000);
    EXPECT_EQ(Received(), 0u);
}

TEST_F(CliTest, ResultsAreACompleteFileWhileTheRoomsAreWritten) {
    StartBuilding();
    std::string plan = "room,address,lock_time\n";
    for (int last = 10; last <= 15; ++last)
        plan += "教室" + std::to_string(last) + "," + Address(last) + ",40\n";
    std::ofstream(Work() / "plan.csv") << plan;
    const pid_t pid = Spawn("batch plan.csv --parallel 1", "0.03");
    bool sawPartOfTheRooms = false;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (fs::exists(Work() / "results.csv")) {
            const auto rows = Results(Work() / "results.csv");
            ASSERT_EQ(rows.size(), 7u);
            std::size_t ok = 0;
            for (const auto& row : rows) {
                ASSERT_EQ(row.size(), 7u);
                ok += row[2] == "ok";
            }
            sawPartOfTheRooms = sawPartOfTheRooms || (ok > 0 && ok < 6);
        }
        ::usleep(5000);
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(Work() / "out.txt");
    EXPECT_TRUE(sawPartOfTheRooms) << "each room's line is written as the room ends";
    const auto rows = Results(Work() / "results.csv");
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"room", "address", "outcome", "differences", "seconds",
                                                 "plan_row", "backup"}));
    EXPECT_EQ(rows[1][0], "教室10");
    // The backup column names what the room held before.
    ASSERT_FALSE(rows[1][6].empty());
    EXPECT_EQ(Snapshot(rows[1][6]).read.settings.nLockTime, 5);
    EXPECT_NE(ReadFile(Work() / "out.txt").find(rows[1][6]), std::string::npos) << "the table names it too";
}

TEST_F(CliTest, RetryRunsWhatFailedAndWhatChangedOrIsNew) {
    StartBuilding({"--fault", Address(12) + ":silent"});
    std::string plan = "room,address,lock_time\n";
    for (int last = 10; last <= 13; ++last)
        plan += "R" + std::to_string(last) + "," + Address(last) + ",20\n";
    std::ofstream(Work() / "plan.csv") << plan;
    EXPECT_EQ(Cli("batch plan.csv").status, 1);
    ASSERT_EQ(emulator->Stop(), 0);
    StartBuilding();
    // R11 changes its lock time, R14 is new; R10 and R13 stay as they were.
    plan = "room,address,lock_time\n"
           "R10," +
           Address(10) +
           ",20\n"
           "R11," +
           Address(11) +
           ",21\n"
           "R12," +
           Address(12) +
           ",20\n"
           "R13," +
           Address(13) +
           ",20\n"
           "R14," +
           Address(14) + ",20\n";
    std::ofstream(Work() / "plan.csv") << plan;
    const SRun retry = Cli("batch plan.csv --retry-failed results.csv --results again.csv --json");
    EXPECT_EQ(retry.status, 0) << retry.out;
    const auto json = nlohmann::json::parse(retry.out.substr(retry.out.find('[')));
    std::set<std::string> ran;
    for (const auto& room : json)
        ran.insert(room["room"].get<std::string>());
    EXPECT_EQ(ran, (std::set<std::string>{"R11", "R12", "R14"}));
    const auto rows = Results(Work() / "again.csv");
    ASSERT_EQ(rows.size(), 6u);
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(rows[i][2], "ok") << rows[i][0];
    ASSERT_EQ(Cli("get " + Address(11) + " --out r11.json").status, 0);
    EXPECT_EQ(Snapshot(Work() / "r11.json").read.settings.nLockTime, 21);
}

// One rule for every value, checked before anything is sent.

struct SRuleCase {
    const char* name;
    std::string setup;     // a set run first, when the controller must hold something
    std::string arguments; // of the refused set
    const char* message;
};

class CliRuleTest : public CliTest, public ::testing::WithParamInterface<SRuleCase> {};

TEST_P(CliRuleTest, ABrokenRuleIsBadInputAndNothingIsSent) {
    StartBuilding();
    AddModel("Bad Baud", "1200", "无", "AABBCC01");
    AddModel("Bad Parity", "9600", "None", "AABBCC02");
    AddModel("Odd Code", "9600", "无", "AABBCC0");
    if (!GetParam().setup.empty()) {
        ASSERT_EQ(Cli("set " + Address(10) + " " + GetParam().setup).status, 0);
    }
    const std::size_t applied = Applied();
    const SRun set = Cli("set " + Address(10) + " " + GetParam().arguments);
    EXPECT_EQ(set.status, 2) << set.out;
    EXPECT_NE(set.out.find(GetParam().message), std::string::npos) << set.out;
    EXPECT_NE(set.out.find("nothing was sent"), std::string::npos) << set.out;
    ::usleep(100000);
    EXPECT_EQ(Applied(), applied);
}

INSTANTIATE_TEST_SUITE_P(
    Values, CliRuleTest,
    ::testing::Values(
        SRuleCase{"mask_holes", "", "--mask 255.0.255.0", "mask: the mask is not contiguous"},
        SRuleCase{"mask_zero", "", "--mask 0.0.0.0", "mask: the mask leaves no room for hosts"},
        SRuleCase{"mask_32", "", "--mask 255.255.255.255", "mask: the mask leaves no room for hosts"},
        SRuleCase{"address_zero", "", "--controller-ip 0.0.0.0", "controller_ip: 0.0.0.0"},
        SRuleCase{"address_broadcast", "", "--controller-ip 255.255.255.255", "controller_ip: a broadcast"},
        SRuleCase{"address_multicast", "", "--controller-ip 224.0.0.1", "controller_ip: a multicast"},
        SRuleCase{"address_subnet_broadcast", "", "--controller-ip 127.255.255.255",
                  "controller_ip: the subnet's broadcast address"},
        SRuleCase{"address_network", "", "--mask 255.255.255.0 --controller-ip 127.63.9.0",
                  "controller_ip: the subnet's own network address"},
        SRuleCase{"gateway_outside", "", "--gateway 10.0.0.1", "gateway: the gateway is outside"},
        SRuleCase{"mask_moves_gateway_out", "", "--mask 255.255.255.0", "gateway: the gateway is outside"},
        SRuleCase{"lock_time_with_level", "", "--lock-type level --lock-time 30",
                  "lock time applies to a pulse lock only"},
        SRuleCase{"lock_time_on_level_controller", "--lock-type level", "--lock-time 30",
                  "lock time applies to a pulse lock only"},
        SRuleCase{"library_baud", "", "--projector1 \"Bad Baud\"", "Bad Baud"},
        SRuleCase{"library_parity", "", "--projector2 \"Bad Parity\"", "Bad Parity"},
        SRuleCase{"library_odd_code", "", "--projector1 \"Odd Code\"", "Odd Code"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, AGatewayOfZeroMeansNoneAndIsWritten) {
    StartBuilding();
    const SRun set = Cli("set " + Address(10) + " --gateway 0.0.0.0");
    EXPECT_EQ(set.status, 0) << set.out;
}

// A way back.

TEST_F(CliTest, EveryValueAReadGivesIsWrittenBackFromItsSnapshot) {
    StartBuilding();
    ASSERT_EQ(Cli("get " + Address(10) + " --out room.json").status, 0);
    std::string text = ReadFile(Work() / "room.json");
    // Microphone 1 on channel byte 14, beyond the dialog's list but a byte a controller can hold.
    const auto at = text.find("\"channel\": -1");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 13, "\"channel\": 13");
    std::ofstream(Work() / "room.json") << text;
    const SRun set = Cli("set " + Address(11) + " --from room.json");
    EXPECT_EQ(set.status, 0) << set.out;
    ASSERT_EQ(Cli("get " + Address(11) + " --out after.json").status, 0);
    EXPECT_EQ(Snapshot(Work() / "after.json").read.settings.mics[0].strChannel, "13");
    // And that controller's own backup goes back as it is.
    const SRun again = Cli("set " + Address(12) + " --from after.json");
    EXPECT_EQ(again.status, 0) << again.out;
}

TEST_F(CliTest, RestorePutsARoomBackFromItsLatestBackupAndItsAddressToo) {
    StartBuilding({"--move-after-ms", "100"});
    ASSERT_EQ(Cli("set " + Address(10) + " --lock-time 30 --one-key on").status, 0);
    const SRun restore = Cli("restore " + Address(10) + " --latest");
    EXPECT_EQ(restore.status, 0) << restore.out;
    EXPECT_NE(restore.out.find("confirmed"), std::string::npos) << restore.out;
    ASSERT_EQ(Cli("get " + Address(10) + " --out back.json").status, 0);
    EXPECT_EQ(Snapshot(Work() / "back.json").read.settings.nLockTime, 5);
    EXPECT_FALSE(Snapshot(Work() / "back.json").read.settings.bOneKey);
    // A room moved by mistake goes back to its address.
    ASSERT_EQ(Cli("set " + Address(11) + " --controller-ip " + Address(211)).status, 0);
    const fs::path backup = fs::directory_iterator(Work() / "history" / Address(11))->path();
    const SRun home = Cli("restore " + Address(211) + " --from " + backup.string());
    EXPECT_EQ(home.status, 0) << home.out;
    EXPECT_EQ(Cli("get " + Address(11)).status, 0);
    EXPECT_EQ(Cli("restore " + Address(12) + " --latest").status, 2) << "no backup of that room yet";
}

TEST_F(CliTest, ForceWritesAControllerThatAnswersInPartAndBacksUpOnlyWhatCame) {
    StartBuilding({"--fault", Address(12) + ":drop=2"});
    ASSERT_EQ(Cli("get " + Address(10) + " --out full.json").status, 0);
    const SRun refused = Cli("set " + Address(12) + " --from full.json --lock-time 40");
    EXPECT_EQ(refused.status, 1) << refused.out;
    EXPECT_EQ(Applied(), 0u);
    const SRun forced = Cli("set " + Address(12) + " --from full.json --force");
    EXPECT_NE(forced.out.find("not backed up"), std::string::npos) << forced.out;
    EXPECT_NE(forced.out.find("not received: projector 2 codes"), std::string::npos) << forced.out;
    EXPECT_GT(Applied(), 0u) << forced.out;
    // The parts that came are kept; the file says which part it lacks.
    std::vector<fs::path> backups;
    for (const auto& entry : fs::directory_iterator(Work() / "history" / Address(12)))
        backups.push_back(entry.path());
    ASSERT_EQ(backups.size(), 1u) << forced.out;
    const auto backup = nlohmann::json::parse(ReadFile(backups[0]));
    EXPECT_FALSE(backup["received"]["projector2"].get<bool>());
    EXPECT_EQ(backup["backup"]["lacks"], nlohmann::json::array({"projector2"}));
    const SRun set = Cli("set " + Address(12) + " --force --lock-time 40");
    EXPECT_EQ(set.status, 1) << "without --from the missing parts are unknown";
    EXPECT_NE(set.out.find("without --from"), std::string::npos) << set.out;
    // An option that gives the whole lost part is enough.
    AddModel("Lost part", "9600", "无", "AABBCC04");
    const std::size_t nBefore = Applied();
    const SRun supplied = Cli("set " + Address(12) + " --force --projector2 \"Lost part\"");
    EXPECT_EQ(supplied.status, 1) << "the lost reply stays lost at the read-back: " << supplied.out;
    EXPECT_GT(Applied(), nBefore) << supplied.out;
}

// Smaller faults.

TEST_F(CliTest, AModelIsNamedByItsWholeCodeBundle) {
    StartBuilding();
    AddModel("Slow 19200", "19200", "无", "AABBCC03");
    AddModel("Fast 38400", "38400", "无", "AABBCC03");
    const SRun set = Cli("set " + Address(10) + " --projector1 \"Slow 19200\" --json");
    EXPECT_EQ(set.status, 0) << set.out;
    // Parsed first: a range over a temporary's member would outlive it.
    const auto setJson = nlohmann::json::parse(set.out.substr(set.out.find('{')));
    for (const auto& f : setJson["fields"])
        if (f["field"] == "projector1") {
            EXPECT_EQ(f["sent"], "Slow 19200");
            EXPECT_EQ(f["read"], "Slow 19200");
        }
    ASSERT_EQ(Cli("get " + Address(10) + " --out room.json").status, 0);
    EXPECT_EQ(Snapshot(Work() / "room.json").read.settings.projectors[0].strModel, "Slow 19200");
    // A snapshot whose name belongs to other codes sends, and names, its codes.
    std::string text = ReadFile(Work() / "room.json");
    text.replace(text.find("\"Slow 19200\""), 12, "\"Fast 38400\"");
    std::ofstream(Work() / "renamed.json") << text;
    const SRun sent = Cli("set " + Address(11) + " --from renamed.json --json");
    const auto json = nlohmann::json::parse(sent.out.substr(sent.out.find('{')));
    for (const auto& f : json["fields"])
        if (f["field"] == "projector1") {
            EXPECT_EQ(f["sent"], "Slow 19200");
        }
}

// Every writer of the command line refuses an output that names the library
// in use (by any spelling or link), another database, or a file it reads;
// nothing is sent and no file changes.
struct SOutputCase {
    const char* name;
    const char* command; // %s is the output
    const char* target;
};

class CliOutputRuleTest : public CliTest, public ::testing::WithParamInterface<SOutputCase> {};

TEST_P(CliOutputRuleTest, AnOutputThatReplacesAnInputIsRefusedBeforeAnythingHappens) {
    StartBuilding();
    fs::create_directory(Work() / "sub");
    fs::create_symlink(Work() / "data.mdb", Work() / "link.json");
    fs::create_hard_link(Work() / "data.mdb", Work() / "hard.csv");
    fs::copy_file(Work() / "data.mdb", Work() / "other.csv");
    std::ofstream(Work() / "plan.csv") << "room,address\n甲," << Address(10) << "\n";
    const std::string library = ReadFile(Work() / "data.mdb");
    const std::string plan = ReadFile(Work() / "plan.csv");
    std::string command = GetParam().command;
    command.replace(command.find("%s"), 2, GetParam().target);
    const bool bLibraryCommand = command.rfind("library", 0) == 0;
    const SRun run = Cli(command, !bLibraryCommand);
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_NE(run.out.find(bLibraryCommand ? "cannot export to" : "nothing was written"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(GetParam().target), std::string::npos)
        << "the refusal names the file: " << run.out;
    EXPECT_EQ(ReadFile(Work() / "data.mdb"), library);
    EXPECT_EQ(ReadFile(Work() / "plan.csv"), plan);
    EXPECT_EQ(ReadFile(Work() / "other.csv"), library);
    ::usleep(100000);
    EXPECT_EQ(Received(), 0u);
    EXPECT_FALSE(fs::exists(Work() / "history"));
}

INSTANTIATE_TEST_SUITE_P(
    Writers, CliOutputRuleTest,
    ::testing::Values(SOutputCase{"get_library", "get 127.0.0.9 --out %s", "data.mdb"},
                      SOutputCase{"get_dotted_library", "get 127.0.0.9 --out %s", "sub/../data.mdb"},
                      SOutputCase{"get_symlink", "get 127.0.0.9 --out %s", "link.json"},
                      SOutputCase{"get_hard_link", "get 127.0.0.9 --out %s", "hard.csv"},
                      SOutputCase{"get_other_database", "get 127.0.0.9 --out %s", "other.csv"},
                      SOutputCase{"batch_library", "batch plan.csv --results %s", "data.mdb"},
                      SOutputCase{"batch_dotted_library", "batch plan.csv --results %s", "sub/../data.mdb"},
                      SOutputCase{"batch_hard_link", "batch plan.csv --results %s", "hard.csv"},
                      SOutputCase{"batch_other_database", "batch plan.csv --results %s", "other.csv"},
                      SOutputCase{"batch_plan", "batch plan.csv --results %s", "sub/../plan.csv"},
                      SOutputCase{"export_dotted_library", "library export %s", "sub/../data.mdb"},
                      SOutputCase{"export_hard_link", "library export %s", "hard.csv"},
                      SOutputCase{"export_other_database", "library export %s", "other.csv"}),
    [](const auto& info) { return info.param.name; });

TEST_F(CliTest, RestoreLatestPassesOverItsOwnBackupAndFilesNotOfTheStore) {
    StartBuilding();
    ASSERT_EQ(Cli("set " + Address(10) + " --lock-time 30").status, 0);
    // An installer's own files in the folder are never chosen or pruned.
    const fs::path folder = Work() / "history" / Address(10);
    std::ofstream(folder / "notes.json") << "not a snapshot";
    fs::copy_file(fs::directory_iterator(folder)->path() == folder / "notes.json"
                      ? std::next(fs::directory_iterator(folder))->path()
                      : fs::directory_iterator(folder)->path(),
                  folder / "zz-before-term.json");
    std::string text = ReadFile(folder / "zz-before-term.json");
    text.replace(text.find("\"lock_time\": \"5\""), 16, "\"lock_time\": \"9\"");
    std::ofstream(folder / "zz-before-term.json") << text;
    const SRun first = Cli("restore " + Address(10) + " --latest");
    EXPECT_EQ(first.status, 0) << first.out;
    ASSERT_EQ(Cli("get " + Address(10) + " --out back.json").status, 0);
    EXPECT_EQ(Snapshot(Work() / "back.json").read.settings.nLockTime, 5);
    const std::size_t nApplied = Applied();
    // The restore's own backup (lock time 30) is not "the latest".
    const SRun second = Cli("restore " + Address(10) + " --latest");
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("already"), std::string::npos) << second.out;
    EXPECT_EQ(Applied(), nApplied) << "nothing is sent the second time";
    EXPECT_TRUE(fs::exists(folder / "notes.json"));
    EXPECT_TRUE(fs::exists(folder / "zz-before-term.json"));
}

TEST_F(CliTest, RestoreFindsAMovedRoomByEitherAddressAndAnotherRoomsBackupKeepsTheAddress) {
    StartBuilding({"--move-after-ms", "100"});
    ASSERT_EQ(Cli("set " + Address(11) + " --controller-ip " + Address(211) + " --lock-time 30").status, 0);
    // By its new address and by its old one: the room answers at the new one and goes back.
    const SRun byNew = Cli("restore " + Address(211) + " --latest");
    EXPECT_EQ(byNew.status, 0) << byNew.out;
    ASSERT_EQ(Cli("get " + Address(11) + " --out home.json").status, 0);
    EXPECT_EQ(Snapshot(Work() / "home.json").read.settings.nLockTime, 5);
    ASSERT_EQ(Cli("set " + Address(11) + " --controller-ip " + Address(212)).status, 0);
    const SRun byOld = Cli("restore " + Address(11) + " --latest");
    EXPECT_EQ(byOld.status, 0) << byOld.out;
    EXPECT_NE(byOld.out.find("answers at " + Address(212)), std::string::npos) << byOld.out;
    EXPECT_EQ(Cli("get " + Address(11)).status, 0);
    // Room 11's backup written to room 13 leaves room 13 where it is.
    const SRun other = Cli("restore " + Address(13) + " --from home.json");
    EXPECT_EQ(other.status, 0) << other.out;
    EXPECT_EQ(Cli("get " + Address(13)).status, 0);
}

TEST_F(CliTest, GetChecksItsOutputBeforeItReads) {
    StartBuilding();
    const SRun get = Cli("get " + Address(10) + " --json --out no-such-folder/room.json");
    EXPECT_EQ(get.status, 3) << get.out;
    ::usleep(100000);
    EXPECT_EQ(Received(), 0u);
}

class CliInterruptTest : public CliTest, public ::testing::WithParamInterface<int> {};

TEST_P(CliInterruptTest, CtrlCDuringASetLetsItFinishAndTwiceStopsAtOnce) {
    StartBuilding();
    const pid_t pid = Spawn("set " + Address(10) + " --lock-time 30");
    // Interrupt once the backup is saved, that is, when the Set begins.
    for (int i = 0; i < 500 && !fs::exists(Work() / "history" / Address(10)); ++i)
        ::usleep(10000);
    ::usleep(50000);
    for (int i = 0; i < GetParam(); ++i) {
        ::kill(pid, SIGINT);
        ::usleep(20000);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const std::string out = ReadFile(Work() / "out.txt");
    const fs::path backup = fs::directory_iterator(Work() / "history" / Address(10))->path();
    EXPECT_NE(out.find(backup.string()), std::string::npos) << out;
    if (GetParam() == 1) {
        EXPECT_EQ(WEXITSTATUS(status), 0) << out;
        EXPECT_NE(out.find("the Set finished"), std::string::npos) << out;
    } else {
        EXPECT_EQ(WEXITSTATUS(status), 130) << out;
        EXPECT_NE(out.find("may be half written"), std::string::npos) << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Presses, CliInterruptTest, ::testing::Values(1, 2),
                         [](const auto& info) { return info.param == 1 ? "once" : "twice"; });

} // namespace

namespace {

// The lines of a --log file with the given direction, address and kind.
std::vector<std::string> LogLines(const std::string& text, const std::string& direction,
                                  const std::string& address, const std::string& kind) {
    std::vector<std::string> found;
    for (const std::string& line : Lines(text))
        if (line.find("\t" + direction + "\t" + address + "\t" + kind + "\t") != std::string::npos)
            found.push_back(line);
    return found;
}

} // namespace

TEST_F(CliTest, LogHoldsEveryDatagramWithWhyABrokenReplyIsDropped) {
    StartBuilding({"--fault", Address(11) + ":bad-prefix=3", "--fault", Address(12) + ":short=4", "--fault",
                   Address(13) + ":answer-as=" + Address(40)});
    ASSERT_EQ(Cli("get " + Address(10) + " --log get.log").status, 0);
    const std::string good = ReadFile(Work() / "get.log");
    const auto query = LogLines(good, "sent", Address(10), "query");
    ASSERT_EQ(query.size(), 1u) << good;
    EXPECT_NE(query[0].find("\t14\t"), std::string::npos) << query[0];
    const auto network = LogLines(good, "received", Address(10), "network");
    ASSERT_EQ(network.size(), 1u) << good;
    EXPECT_NE(network[0].find("\t40\tserver "), std::string::npos) << network[0];
    EXPECT_EQ(LogLines(good, "received", Address(10), "projector 1").size(), 1u);
    EXPECT_EQ(LogLines(good, "received", Address(10), "projector 2").size(), 1u);
    EXPECT_EQ(LogLines(good, "received", Address(10), "devices").size(), 1u);
    for (const std::string& line : Lines(good))
        EXPECT_NE(line.find(" ms\t"), std::string::npos) << line;

    for (const auto& [last, kind, why] : std::vector<std::tuple<int, std::string, std::string>>{
             {11, "network", "dropped: wrong prefix"},
             {12, "devices", "cut short: "},
         }) {
        Cli("get " + Address(last) + " --log broken.log");
        const std::string text = ReadFile(Work() / "broken.log");
        const auto lines = LogLines(text, "received", Address(last), kind);
        ASSERT_FALSE(lines.empty()) << text;
        EXPECT_NE(lines[0].find(why), std::string::npos) << lines[0];
    }
    Cli("get " + Address(13) + " --log other.log");
    const std::string other = ReadFile(Work() / "other.log");
    EXPECT_NE(other.find("dropped: carries another address, " + Address(40)), std::string::npos) << other;

    // The log is an output like any other: never data.mdb, nor a file the command reads.
    const std::string before = ReadFile(Work() / "data.mdb");
    EXPECT_EQ(Cli("get " + Address(10) + " --log data.mdb").status, 2);
    std::ofstream(Work() / "plan.csv") << "address\n" << Address(10) << "\n";
    const SRun onPlan = Cli("batch plan.csv --log plan.csv");
    EXPECT_EQ(onPlan.status, 2) << onPlan.out;
    EXPECT_NE(onPlan.out.find("this command reads it"), std::string::npos) << onPlan.out;
    EXPECT_EQ(ReadFile(Work() / "data.mdb"), before);
    EXPECT_EQ(ReadFile(Work() / "plan.csv"), "address\n" + Address(10) + "\n");
}

TEST_F(CliTest, DiagnoseAddsTheConclusionOfEachSilentRoomAndOlderResultsStayReadable) {
    StartBuilding({"--fault", Address(11) + ":silent", "--fault", Address(12) + ":silent"});
    std::ofstream(Work() / "plan.csv") << "address,room,lock_time\n"
                                       << Address(10) << ",A,7\n"
                                       << Address(11) << ",B,8\n"
                                       << Address(12) << ",C,9\n";
    // A results file as a run without the diagnosis column left it: A failed, B and C ok.
    std::ofstream(Work() / "old.csv")
        << "\xEF\xBB\xBFroom,address,outcome,differences,seconds,plan_row,backup\n"
        << "A," << Address(10) << ",failed,no reply,1.0,\"" << Address(10) << ",A,7\",\n"
        << "B," << Address(11) << ",failed,no reply,1.0,\"" << Address(11) << ",B,8\",\n"
        << "C," << Address(12) << ",ok,,1.0,\"" << Address(12) << ",C,9\",\n";
    const SRun run =
        Cli("batch plan.csv --retry-failed old.csv --results new.csv --diagnose --log batch.log");
    EXPECT_EQ(run.status, 1) << run.out;
    const auto rows = Results(Work() / "new.csv");
    ASSERT_EQ(rows.size(), 4u) << run.out;
    EXPECT_EQ(rows[0], (std::vector<std::string>{"room", "address", "outcome", "differences", "seconds",
                                                 "plan_row", "backup", "diagnosis"}));
    std::map<std::string, std::vector<std::string>> byRoom;
    for (std::size_t i = 1; i < rows.size(); ++i)
        byRoom[rows[i][0]] = rows[i];
    ASSERT_EQ(byRoom.size(), 3u);
    EXPECT_EQ(byRoom["A"][2], "ok");
    EXPECT_EQ(byRoom["A"][7], "") << "a room that answered is not diagnosed";
    EXPECT_EQ(byRoom["B"][2], "failed");
    const std::set<std::string> codes{"partial",          "wrong-subnet", "port-in-use",   "no-device",
                                      "not-a-controller", "filtered",     "other-address", "bad-address"};
    EXPECT_TRUE(codes.count(byRoom["B"][7])) << "B: " << byRoom["B"][7];
    EXPECT_EQ(byRoom["C"][2], "ok") << "C kept its earlier ok line";
    EXPECT_EQ(byRoom["C"][7], "");
    // The diagnosis's own query went into the log after the run's.
    const std::string log = ReadFile(Work() / "batch.log");
    EXPECT_GE(LogLines(log, "sent", Address(11), "query").size(), 3u) << log;

    // The new file, diagnosis and all, is read back by a retry without the diagnosis.
    ASSERT_EQ(emulator->Stop(), 0);
    StartBuilding();
    const SRun retry = Cli("batch plan.csv --retry-failed new.csv --results third.csv");
    EXPECT_EQ(retry.status, 0) << retry.out;
    const auto third = Results(Work() / "third.csv");
    ASSERT_EQ(third.size(), 4u);
    EXPECT_EQ(third[0].size(), 7u) << "no diagnosis column without --diagnose";
    for (std::size_t i = 1; i < third.size(); ++i)
        EXPECT_EQ(third[i][2], "ok") << third[i][0];
}
