// velmora-controller: a UDP stand-in for the classroom controller, built on
// the same wire-format library as the configuration tool.

#include "LogLine.h"
#include "Options.h"
#include "Peer.h"
#include "State.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

sockaddr_in SocketAddress(const codec::Ip4& address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    std::memcpy(&sa.sin_addr.s_addr, address.data(), 4);
    return sa;
}

std::string PeerText(const sockaddr_in& sa) {
    codec::Ip4 a;
    std::memcpy(a.data(), &sa.sin_addr.s_addr, 4);
    return codec::BytesToAddress(a) + ":" + std::to_string(ntohs(sa.sin_port));
}

// Opens a UDP socket bound to address:port with SO_REUSEADDR; returns -1 and
// prints why on failure. `port` becomes the port actually bound.
int OpenSocket(const codec::Ip4& address, std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        std::fprintf(stderr, "velmora-controller: socket: %s\n", std::strerror(errno));
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in sa = SocketAddress(address, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        std::fprintf(stderr, "velmora-controller: cannot bind %s:%u: %s\n",
                     codec::BytesToAddress(address).c_str(), port, std::strerror(errno));
        ::close(fd);
        return -1;
    }
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) == 0)
        port = ntohs(bound.sin_port);
    return fd;
}

class Log {
public:
    bool Open(const std::string& path) {
        if (path.empty())
            return true;
        m_file.open(path, std::ios::app);
        return static_cast<bool>(m_file);
    }
    void Datagram(std::string_view direction, const sockaddr_in& peer, const std::uint8_t* data,
                  std::size_t length, std::string_view note) {
        Line(controller::FormatLogLine(NowMs(), direction, PeerText(peer), data, length, note));
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
    sockaddr_in destination;
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
    int fd = OpenSocket(state.address, port);
    if (fd < 0)
        return 1;

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

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
        const int moved = OpenSocket(peer.Current(), samePort);
        if (moved < 0) {
            log.Line("error: cannot listen on " + codec::BytesToAddress(peer.Current()) + " after leaving " +
                     codec::BytesToAddress(before));
            return;
        }
        ::close(fd);
        fd = moved;
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
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, timeout);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "velmora-controller: poll: %s\n", std::strerror(errno));
            break;
        }
        if (ready > 0 && (pfd.revents & POLLIN)) {
            sockaddr_in from{};
            socklen_t size = sizeof from;
            const ssize_t n =
                ::recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &size);
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
            const ssize_t sent =
                ::sendto(fd, reply.datagram.data(), reply.datagram.size(), 0,
                         reinterpret_cast<const sockaddr*>(&reply.destination), sizeof reply.destination);
            log.Datagram("send", reply.destination, reply.datagram.data(), reply.datagram.size(),
                         sent < 0 ? std::string("failed: ") + std::strerror(errno) : std::string());
            pending.pop_front();
        }
    }
    ::close(fd);
    return 0;
}
