#include "Runner.h"

#include "Database.h"
#include "Utf8Path.h"
#include "FileSystem.h"

#include <chrono>
#include <cstdio>

namespace cli {

std::string ExitStatusTable() {
    return "Exit status (every command):\n"
           "  0    success\n"
           "  1    failed: a controller did not answer, was not written or read back otherwise\n"
           "  2    bad input (options, plan, snapshot, library row): nothing was sent\n"
           "  3    data.mdb, UDP port 1550 or an output file cannot be used\n"
           "  130  interrupted by a second Ctrl+C";
}

CLI::Validator ExistingFileUtf8() {
    return CLI::Validator(
        [](std::string& strPath) -> std::string {
            return base::IsExistingFile(base::PathFromUtf8(strPath)) ? std::string()
                                                                     : "File does not exist: " + strPath;
        },
        "FILE");
}

void AddCommonOptions(CLI::App& command, SCommonOptions& options) {
    command.add_option(
        "--db", options.strDb,
        "the data.mdb to use (default: the window's, data.mdb in the working folder on Linux)");
    command.add_flag("--json", options.bJson, "print JSON for scripts instead of tables");
    command.add_option("--log", options.strLog,
                       "write every datagram sent and received to this file, one line each");
    command.add_option("--local-port", options.nLocalPort, "local UDP port (default 1550)")
        ->check(CLI::Range(0, 65535))
        ->group("");
    command.add_option("--peer-port", options.nPeerPort)->check(CLI::Range(1, 65535))->group("");
    command.add_option("--tick-ms", options.nTickMs)->check(CLI::Range(1, 60000))->group("");
    command.add_option("--pause-scale", options.dPauseScale)->check(CLI::Range(0.0, 10.0))->group("");
}

CRunner::CRunner(const SCommonOptions& options) : m_options(options) {}

CRunner::~CRunner() {
    CDatabase::CloseShared();
}

int CRunner::Open() {
    if (const int nExit = m_logFile.Open(m_options.strLog, m_options.strDb, m_options.inputs))
        return nExit;
    try {
        CDatabase::OpenShared(m_options.strDb);
    } catch (const CDatabaseError& error) {
        std::string strFolder;
        if (DatabaseMissing(m_options.strDb, strFolder))
            std::fprintf(stderr, "velmora-cli: %s is missing: it was looked for in %s (give --db PATH)\n",
                         Utf8FromPath(PathFromUtf8(m_options.strDb).filename()).c_str(), strFolder.c_str());
        else
            std::fprintf(stderr, "velmora-cli: cannot open %s: %s\n", m_options.strDb.c_str(),
                         DatabaseErrorText(error.Code(), error.Text()).c_str());
        return kExitEnvironment;
    }
    std::string strError, strHolder;
    if (!m_portOwner.Acquire(static_cast<std::uint16_t>(m_options.nLocalPort), "velmora-cli", strHolder)) {
        std::fprintf(stderr, "velmora-cli: port %d is in use by %s\n", m_options.nLocalPort,
                     strHolder.c_str());
        return kExitEnvironment;
    }
    // Like the window's socket it shares the port with programs that share it
    // too (a controller emulator on an address of its own); a program holding
    // the port alone makes the bind fail.
    const auto nPort = static_cast<std::uint16_t>(m_options.nLocalPort);
    switch (m_socket.Bind(net::Ip4{0, 0, 0, 0}, nPort, net::CUdpSocket::EShare::Shared, strError)) {
    case net::CUdpSocket::EBind::Bound:
        break;
    case net::CUdpSocket::EBind::PortTaken:
        std::fprintf(stderr,
                     "velmora-cli: UDP port %d is taken by another program; close it (or give --local-port) "
                     "and try again\n",
                     m_options.nLocalPort);
        return kExitEnvironment;
    case net::CUdpSocket::EBind::Failed:
        std::fprintf(stderr, "velmora-cli: cannot bind UDP port %d: %s\n", m_options.nLocalPort,
                     strError.c_str());
        return kExitEnvironment;
    }
    // A building answers at once: room for every reply of a hundred rooms.
    m_socket.SetReceiveBuffer(4 << 20);
    return kExitOk;
}

session::CSessionEngine& CRunner::Engine(session::ISessionObserver& observer,
                                         session::SSessionTiming timing) {
    timing.nTickMs = m_options.nTickMs;
    timing.dPauseScale = m_options.dPauseScale;
    m_pEngine = std::make_unique<session::CSessionEngine>(*this, observer, timing);
    return *m_pEngine;
}

session::TimeMs CRunner::Now() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void CRunner::SendTo(const codec::Datagram& datagram, const codec::Ip4& address) {
    if (m_logFile.IsOpen())
        m_logFile.Log().Record(session::ETrafficDirection::Sent, address, datagram.data(), datagram.size());
    // A failed send is noticed as silence, like a lost datagram.
    m_socket.Send(datagram.data(), datagram.size(), address, static_cast<std::uint16_t>(m_options.nPeerPort));
}

void CRunner::CloseSocket() {
    m_socket.Close();
    m_portOwner.Release();
}

void CRunner::Run(const std::function<void()>& onIdleCheck) {
    std::vector<std::uint8_t> buffer(8192);
    session::CSessionEngine& engine = *m_pEngine;
    while (!engine.Idle()) {
        session::TimeMs wait = 100;
        if (const auto next = engine.NextDeadline())
            wait = std::clamp<session::TimeMs>(*next - Now(), 0, 100);
        m_socket.Wait(static_cast<int>(wait));
        // A signal ends the wait early; the loop then checks its interrupts.
        long nLength = 0;
        net::Ip4 from{};
        while ((nLength = m_socket.Receive(buffer.data(), buffer.size(), &from)) >= 0) {
            if (m_logFile.IsOpen())
                m_logFile.Log().Record(session::ETrafficDirection::Received, from, buffer.data(),
                                       static_cast<std::size_t>(nLength));
            engine.OnDatagram(buffer.data(), static_cast<std::size_t>(nLength), Now());
        }
        engine.Advance(Now());
        m_logFile.Flush();
        if (onIdleCheck)
            onIdleCheck();
    }
}

} // namespace cli
