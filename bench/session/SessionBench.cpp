// velmora-cli on a building of emulated controllers on loopback:
//  - a batch of 100 rooms with --parallel 100 against one room's Set (target <= 1.3)
//  - the same batch with --parallel 16 (target <= 7.5: 7 waves of one Set each)
//  - a scan of a /24 where 10 addresses answer against 254 queries at 200 a
//    second plus one query wait (target <= 1.5)
//  - the peak memory of the 100-room batch against one room's Set
//    (target < 2 x + 1 MB)
// The Set's pauses are scaled (--scale, default 0.1, so a Set's pauses take
// one second instead of ten) because the ratios are about the engine's
// parallelism, not the controller's fixed pauses; --scale 1 runs in real time.
// The scan keeps the real one-second ticks.

#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct SRun {
    double dSeconds = 0;
    long nMaxRssKb = 0;
    int nStatus = -1;
};

pid_t Spawn(const std::vector<std::string>& args, const std::string& output) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

SRun Run(const std::vector<std::string>& args, const std::string& output) {
    SRun run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = Spawn(args, output);
    int status = 0;
    rusage usage{};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
        run.nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.nMaxRssKb = usage.ru_maxrss;
    }
    run.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

// An emulator for a range of addresses, stopped when it goes away.
class CBuilding {
public:
    CBuilding(const fs::path& work, const std::string& range, int port) {
        m_pid = Spawn({VELMORA_CONTROLLER_PATH, "--addresses", range, "--port", std::to_string(port),
                       "--state-dir", (work / ("states-" + range)).string(), "--log",
                       (work / "emulator.log").string()},
                      (work / "emulator.out").string());
        // Wait for its "listening on" lines.
        for (int i = 0; i < 100; ++i) {
            std::ifstream in(work / "emulator.out");
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (text.find("listening on") != std::string::npos)
                break;
            ::usleep(50000);
        }
        ::usleep(200000);
    }
    ~CBuilding() {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
};

} // namespace

int main(int argc, char** argv) {
    double dScale = 0.1;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--scale")
            dScale = std::atof(argv[i + 1]);
    char pattern[] = "/tmp/velmora-session-bench-XXXXXX";
    const fs::path work = ::mkdtemp(pattern);
    fs::copy_file(VELMORA_DATA_MDB, work / "data.mdb");
    const int port = 20000 + static_cast<int>(::getpid() % 20000);
    const std::string cli = VELMORA_CLI_PATH;
    const std::vector<std::string> common{
        "--db",        (work / "data.mdb").string(), "--local-port",  "0",
        "--peer-port", std::to_string(port),         "--pause-scale", std::to_string(dScale)};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), cli);
        args.insert(args.end(), common.begin(), common.end());
        return args;
    };

    std::printf("velmora-cli on emulated controllers, Set pauses scaled by %.2f\n", dScale);
    int nFailures = 0;
    {
        CBuilding building(work, "127.64.0.10-127.64.0.109", port);
        std::string plan = "room,address,lock_time\n";
        for (int i = 10; i <= 109; ++i)
            plan += "R" + std::to_string(i) + ",127.64.0." + std::to_string(i) + "," +
                    std::to_string(i % 120 + 1) + "\n";
        std::ofstream(work / "plan.csv") << plan;

        // The baseline first, then the batches; each twice, the faster run counts.
        SRun one, hundred, sixteen;
        for (int round = 0; round < 2; ++round) {
            const SRun a = Run(with({"set", "127.64.0.10", "--lock-time", std::to_string(round + 3)}),
                               (work / "one.txt").string());
            const SRun b = Run(with({"batch", (work / "plan.csv").string(), "--parallel", "100"}),
                               (work / "hundred.txt").string());
            const SRun c = Run(with({"batch", (work / "plan.csv").string(), "--parallel", "16"}),
                               (work / "sixteen.txt").string());
            if (round == 0 || a.dSeconds < one.dSeconds)
                one = a;
            if (round == 0 || b.dSeconds < hundred.dSeconds)
                hundred = b;
            if (round == 0 || c.dSeconds < sixteen.dSeconds)
                sixteen = c;
            nFailures += (a.nStatus != 0) + (b.nStatus != 0) + (c.nStatus != 0);
        }
        std::printf("one room's Set                    %7.2f s  max RSS %6ld kB\n", one.dSeconds,
                    one.nMaxRssKb);
        std::printf(
            "batch of 100, --parallel 100      %7.2f s  max RSS %6ld kB  ratio %.2f (target <= 1.30)\n",
            hundred.dSeconds, hundred.nMaxRssKb, hundred.dSeconds / one.dSeconds);
        std::printf(
            "batch of 100, --parallel 16       %7.2f s                   ratio %.2f (target <= 7.50)\n",
            sixteen.dSeconds, sixteen.dSeconds / one.dSeconds);
        const double dLimitKb = 2.0 * one.nMaxRssKb + 1024;
        std::printf(
            "memory of the 100-room batch      %ld kB against 2 x %ld kB + 1 MB = %.0f kB: ratio %.2f "
            "(target < 1.00)\n",
            hundred.nMaxRssKb, one.nMaxRssKb, dLimitKb, hundred.nMaxRssKb / dLimitKb);
    }
    {
        CBuilding building(work, "127.65.0.10-127.65.0.19", port);
        const SRun scan = Run(with({"scan", "127.65.0.0/24"}), (work / "scan.txt").string());
        const double dBase = 254.0 / 200.0 + 3.0;
        std::printf("scan of a /24, 10 answering       %7.2f s  against %.2f s (254 queries at 200/s + 3 s): "
                    "ratio %.2f (target <= 1.50)\n",
                    scan.dSeconds, dBase, scan.dSeconds / dBase);
        nFailures += scan.nStatus != 0;
        std::ifstream in(work / "scan.txt");
        std::string last, line;
        while (std::getline(in, line))
            last = line;
        std::printf("  %s\n", last.c_str());
    }
    if (nFailures)
        std::printf("%d runs did not succeed; see %s\n", nFailures, work.c_str());
    else
        fs::remove_all(work);
    return nFailures ? 1 : 0;
}
