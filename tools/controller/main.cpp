// velmora-controller: a UDP stand-in for the classroom controller, built on
// the same wire-format library as the configuration tool.

#include "LogLine.h"
#include "Options.h"
#include "Peer.h"
#include "State.h"
#include "UdpSocket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
    g_stop = 1;
}

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Opens a UDP socket bound to address:port; prints why on failure. `port`
// becomes the port actually bound.
bool OpenSocket(controller::UdpSocket& socket, const codec::Ip4& address, std::uint16_t& port) {
    std::string error;
    if (socket.Open(address, port, error))
        return true;
    std::fprintf(stderr, "velmora-controller: %s\n", error.c_str());
    return false;
}

class Log {
public:
    bool Open(const std::string& path) {
        if (path.empty())
            return true;
        m_file.open(path, std::ios::app);
        return static_cast<bool>(m_file);
    }
    void Datagram(std::string_view direction, const controller::Endpoint& peer, const std::uint8_t* data,
                  std::size_t length, std::string_view note) {
        Line(controller::FormatLogLine(NowMs(), direction, peer.Text(), data, length, note));
    }
    void Line(const std::string& line) {
        std::ostream& out = m_file.is_open() ? static_cast<std::ostream&>(m_file) : std::cerr;
        out << line << '\n';
        out.flush();
    }

private:
    std::ofstream m_file;
};

struct PendingReply {
    std::int64_t due;
    codec::Datagram datagram;
    controller::Endpoint destination;
};

} // namespace

int main(int argc, char** argv) {
    controller::Options options;
    std::string error;
    if (!controller::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "velmora-controller: %s\nTry 'velmora-controller --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(controller::UsageText().c_str(), stdout);
        return 0;
    }

    controller::ControllerState state =
        controller::DefaultState(options.address.value_or(codec::Ip4{127, 0, 0, 2}));
    bool exists = false;
    if (!controller::LoadState(options.statePath, state, exists, error)) {
        std::fprintf(stderr, "velmora-controller: %s\n", error.c_str());
        return 1;
    }
    if (options.address)
        state.address = *options.address;
    if (!controller::SaveState(options.statePath, state, error)) {
        std::fprintf(stderr, "velmora-controller: %s\n", error.c_str());
        return 1;
    }

    Log log;
    if (!log.Open(options.logPath)) {
        std::fprintf(stderr, "velmora-controller: cannot open log %s\n", options.logPath.c_str());
        return 1;
    }

    std::uint16_t port = options.port;
    controller::UdpSocket socket;
    if (!OpenSocket(socket, state.address, port))
        return 1;

    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);

    std::printf("listening on %s:%u\n", codec::BytesToAddress(state.address).c_str(), port);
    std::fflush(stdout);

    controller::Peer peer(state);
    std::deque<PendingReply> pending;
    std::int64_t moveDeadline = -1; // when a pending address change takes effect at the latest
    std::vector<std::uint8_t> buffer(65536);

    // Rebinds on the configured address; on failure the controller still takes
    // the new address (as a real one would) and keeps its old socket.
    auto move = [&]() {
        const codec::Ip4 before = peer.Current();
        peer.Move();
        moveDeadline = -1;
        std::uint16_t samePort = port;
        controller::UdpSocket moved;
        if (!OpenSocket(moved, peer.Current(), samePort)) {
            log.Line("error: cannot listen on " + codec::BytesToAddress(peer.Current()) + " after leaving " +
                     codec::BytesToAddress(before));
            return;
        }
        socket.Swap(moved);
        std::printf("moved to %s:%u\n", codec::BytesToAddress(peer.Current()).c_str(), port);
        std::fflush(stdout);
    };

    while (!g_stop) {
        // Wake for the next due reply or move, and at least a few times a second
        // so a signal that arrives between the check and poll is not missed for long.
        std::int64_t wake = MonotonicMs() + 200;
        if (!pending.empty())
            wake = std::min(wake, pending.front().due);
        if (moveDeadline >= 0)
            wake = std::min(wake, moveDeadline);
        const int timeout = static_cast<int>(std::max<std::int64_t>(wake - MonotonicMs(), 0));
        const int ready = socket.Wait(timeout, error);
        if (ready < 0) {
            std::fprintf(stderr, "velmora-controller: %s\n", error.c_str());
            break;
        }
        if (ready > 0) {
            controller::Endpoint from;
            const long n = socket.Receive(buffer.data(), buffer.size(), from);
            if (n >= 0) {
                const auto length = static_cast<std::size_t>(n);
                auto handling = peer.Handle(buffer.data(), length, options.faults);
                log.Datagram("recv", from, buffer.data(), length, handling.note);
                if (handling.applied && !controller::SaveState(options.statePath, peer.State(), error))
                    log.Line("error: " + error);
                if (handling.movePending)
                    moveDeadline = MonotonicMs() + options.moveAfterMs;
                if (handling.moveNow)
                    move();
                const std::int64_t due = MonotonicMs() + options.faults.delayMs;
                for (auto& reply : handling.replies)
                    pending.push_back({due, std::move(reply), from});
            }
        }
        if (moveDeadline >= 0 && MonotonicMs() >= moveDeadline && peer.MovePending())
            move();
        while (!pending.empty() && pending.front().due <= MonotonicMs()) {
            const PendingReply& reply = pending.front();
            std::string sendError;
            const long sent =
                socket.Send(reply.datagram.data(), reply.datagram.size(), reply.destination, sendError);
            log.Datagram("send", reply.destination, reply.datagram.data(), reply.datagram.size(),
                         sent < 0 ? "failed: " + sendError : std::string());
            pending.pop_front();
        }
    }
    return 0;
}
