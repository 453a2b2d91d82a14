#pragma once

// What every subcommand shares: its common options, data.mdb, the socket on
// port 1550 and the loop that drives the engine from it.

#include "LogFile.h"
#include "PortOwner.h"
#include "SessionEngine.h"
#include "udp/UdpSocket.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DataLocation.h"

namespace cli {

// Exit statuses of every subcommand (the table --help shows).
enum EExit { kExitOk = 0, kExitFailed = 1, kExitInput = 2, kExitEnvironment = 3, kExitInterrupted = 130 };

// The table of exit statuses, as every --help ends.
std::string ExitStatusTable();

struct SCommonOptions {
    // The window's own data.mdb: the working folder's, or on Windows the one
    // beside the program or its per-user copy.
    std::string strDb = CDataLocation::Find().strPath;
    bool bJson = false;
    int nLocalPort = 1550;
    int nPeerPort = 1550;
    int nTickMs = 1000;
    double dPauseScale = 1.0;
    // --log FILE, and the files the command reads, which the log never replaces.
    std::string strLog;
    std::vector<std::string> inputs;
};

// CLI11's check that a path names an existing file, through the UTF-8 file
// layer (CLI11's own reads the path narrowly, which fails on Windows for a
// name in Chinese).
CLI::Validator ExistingFileUtf8();

// --db, --json and --log, and the timing options that only tests and benchmarks
// change (hidden from --help).
void AddCommonOptions(CLI::App& command, SCommonOptions& options);

class CRunner : public session::IDatagramTransport {
public:
    explicit CRunner(const SCommonOptions& options);
    ~CRunner() override;

    // Opens data.mdb and the socket; on failure prints why and gives the exit status.
    int Open();
    // The engine, created by Open() with these timings (tick and pause scale
    // come from the common options).
    session::CSessionEngine& Engine(session::ISessionObserver& observer, session::SSessionTiming timing);

    // Drives the engine until it is idle. `onIdleCheck` runs at least every
    // 100 ms (progress, interrupts); it may cancel exchanges.
    void Run(const std::function<void()>& onIdleCheck = {});

    static session::TimeMs Now();
    const SCommonOptions& Options() const { return m_options; }

    void SendTo(const codec::Datagram& datagram, const codec::Ip4& address) override;

    // Gives up the socket and the port (the log stays open): for what a
    // command does after its exchanges, a diagnosis of its own.
    void CloseSocket();
    CLogFile& LogFile() { return m_logFile; }

private:
    SCommonOptions m_options;
    CLogFile m_logFile;
    CPortOwner m_portOwner; // released after the socket closes
    net::CUdpSocket m_socket;
    std::unique_ptr<session::CSessionEngine> m_pEngine;
};

} // namespace cli
