// velmora-controller: a UDP stand-in for the classroom controller, or for a
// whole building of them, built on the same wire-format library as the
// configuration tool.

#include "Console.h"
#include "FileSystem.h"
#include "LogLine.h"
#include "Options.h"
#include "Peer.h"
#include "State.h"
#include "StopSignals.h"
#include "UserFolder.h"
#include "udp/UdpSocket.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>

namespace {

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string Endpoint(const codec::Ip4& address, std::uint16_t port) {
    return codec::BytesToAddress(address) + ":" + std::to_string(port);
}

class Log {
public:
    bool Open(const std::string& path) {
        if (path.empty())
            return true;
        m_pFile = base::OpenFile(base::PathFromUtf8(path), "ab");
        return m_pFile != nullptr;
    }
    void Datagram(std::string_view direction, const std::string& peer, const std::uint8_t* data,
                  std::size_t length, std::string_view note) {
        Line(controller::FormatLogLine(NowMs(), direction, peer, data, length, note));
    }
    void Line(const std::string& line) {
        std::FILE* pOut = m_pFile ? m_pFile : stderr;
        std::fprintf(pOut, "%s\n", line.c_str());
        std::fflush(pOut);
    }

private:
    std::FILE* m_pFile = nullptr; // open for the whole run; the system closes it at exit
};

// One emulated controller: its behaviour, its faults, its state file and its socket.
struct Room {
    Room(controller::Peer p, controller::Faults f, std::string path)
        : peer(std::move(p)), faults(std::move(f)), statePath(std::move(path)) {}
    controller::Peer peer;
    controller::Faults faults;
    std::string statePath;
    net::CUdpSocket endpoint;
    std::int64_t moveDeadline = -1; // when a pending address change takes effect at the latest
};

struct PendingReply {
    std::size_t room;
    codec::Datagram datagram;
    codec::Ip4 to;
    std::uint16_t port;
};

// Binds address:port sharing the port with a tool bound to 0.0.0.0, with room
// for a burst of queries (many controllers answer at once).
bool Listen(net::CUdpSocket& socket, const codec::Ip4& address, std::uint16_t port, std::string& error) {
    std::string reason;
    if (socket.Bind(address, port, net::CUdpSocket::EShare::Shared, reason) !=
        net::CUdpSocket::EBind::Bound) {
        error = "cannot bind " + codec::BytesToAddress(address) + ":" + std::to_string(port) + ": " + reason;
        return false;
    }
    socket.SetReceiveBuffer(1 << 20);
    return true;
}

// Loads (or creates) the state of a controller; address overrides the file's.
bool PrepareState(const std::string& path, const codec::Ip4& fallback,
                  const std::optional<codec::Ip4>& address, controller::ControllerState& state) {
    state = controller::DefaultState(address.value_or(fallback));
    bool exists = false;
    std::string error;
    if (!controller::LoadState(path, state, exists, error)) {
        std::fprintf(stderr, "velmora-controller: %s\n", error.c_str());
        return false;
    }
    if (address)
        state.address = *address;
    if (!controller::SaveState(path, state, error)) {
        std::fprintf(stderr, "velmora-controller: %s\n", error.c_str());
        return false;
    }
    return true;
}

// Moves the relative state and log paths into the user's own folder.
bool InUserFolder(controller::Options& options) {
    const std::filesystem::path folder = controller::UserFolder();
    std::string error;
    if (folder.empty() || !base::CreateFolders(folder, error)) {
        std::fprintf(stderr, "velmora-controller: no user folder for the state file%s%s\n",
                     error.empty() ? "" : ": ", error.c_str());
        return false;
    }
    for (std::string* pPath : {&options.statePath, &options.stateDir, &options.logPath})
        if (!pPath->empty() && base::PathFromUtf8(*pPath).is_relative())
            *pPath = base::Utf8FromPath(folder / base::PathFromUtf8(*pPath));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    base::PrepareConsole();
    const std::vector<std::string> all = base::Utf8Arguments(argc, argv);
    const std::vector<std::string> arguments(all.begin() + (all.empty() ? 0 : 1), all.end());
    controller::Options options;
    std::string error;
    if (!controller::ParseOptions(arguments, options, error)) {
        std::fprintf(stderr, "velmora-controller: %s\nTry 'velmora-controller --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(controller::UsageText().c_str(), stdout);
        return 0;
    }

    if (options.inUserFolder && !InUserFolder(options))
        return 1;

    std::vector<std::unique_ptr<Room>> rooms;
    if (options.addresses.empty()) {
        controller::ControllerState state;
        if (!PrepareState(options.statePath, codec::Ip4{127, 0, 0, 2}, options.address, state))
            return 1;
        const codec::Ip4 started = options.address.value_or(state.address);
        rooms.push_back(
            std::make_unique<Room>(controller::Peer(state), options.FaultsFor(started), options.statePath));
    } else {
        std::string error;
        base::CreateFolders(base::PathFromUtf8(options.stateDir), error);
        for (const codec::Ip4& a : options.addresses) {
            const std::string path = base::Utf8FromPath(base::PathFromUtf8(options.stateDir) /
                                                        (codec::BytesToAddress(a) + ".json"));
            controller::ControllerState state;
            // A restart finds each controller where its last Set left it.
            if (!PrepareState(path, a, std::nullopt, state))
                return 1;
            rooms.push_back(std::make_unique<Room>(controller::Peer(state), options.FaultsFor(a), path));
        }
    }
    const bool many = rooms.size() > 1 || !options.addresses.empty();

    Log log;
    if (!log.Open(options.logPath)) {
        std::fprintf(stderr, "velmora-controller: cannot open log %s\n", options.logPath.c_str());
        return 1;
    }

    std::uint16_t port = options.port;
    for (auto& room : rooms) {
        if (!Listen(room->endpoint, room->peer.Current(), port, error)) {
            std::fprintf(stderr, "velmora-controller: %s\n", error.c_str());
            return 1;
        }
        // With port 0 the first controller's port is shared by all the others.
        port = room->endpoint.LocalPort();
    }
    controller::InstallStopSignals();
    for (const auto& room : rooms)
        std::printf("listening on %s\n", Endpoint(room->peer.Current(), port).c_str());
    std::fflush(stdout);

    std::multimap<std::int64_t, PendingReply> pending; // by when each reply is due
    std::vector<std::uint8_t> buffer(65536);

    // Rebinds on the configured address; on failure the controller still takes
    // the new address (as a real one would) and keeps its old socket.
    auto move = [&](Room& room) {
        const codec::Ip4 before = room.peer.Current();
        room.peer.Move();
        room.moveDeadline = -1;
        net::CUdpSocket moved;
        if (!Listen(moved, room.peer.Current(), port, error)) {
            log.Line("error: cannot listen on " + codec::BytesToAddress(room.peer.Current()) +
                     " after leaving " + codec::BytesToAddress(before));
            return;
        }
        room.endpoint.TakeOver(moved);
        std::printf("moved to %s\n", Endpoint(room.peer.Current(), port).c_str());
        std::fflush(stdout);
    };

    auto handle = [&](std::size_t index, const std::uint8_t* data, std::size_t length, const codec::Ip4& from,
                      std::uint16_t fromPort) {
        Room& room = *rooms[index];
        auto handling = room.peer.Handle(data, length, room.faults);
        const std::string note =
            many ? codec::BytesToAddress(room.peer.Current()) + ": " + handling.note : handling.note;
        log.Datagram("recv", Endpoint(from, fromPort), data, length, note);
        // A building's hundreds of settings a second are not each flushed to
        // disk: the rename still keeps every file whole if the emulator dies.
        if (handling.applied && !controller::SaveState(room.statePath, room.peer.State(), error, !many))
            log.Line("error: " + error);
        if (handling.movePending)
            room.moveDeadline = MonotonicMs() + options.moveAfterMs;
        if (handling.moveNow)
            move(room);
        const std::int64_t due = MonotonicMs() + room.faults.delayMs;
        for (auto& reply : handling.replies)
            pending.emplace(due, PendingReply{index, std::move(reply), from, fromPort});
    };

    std::vector<const net::CUdpSocket*> endpoints;
    std::vector<bool> ready;
    while (!controller::StopRequested()) {
        // Wake for the next due reply or move, and at least a few times a second
        // so a signal that arrives between the check and the wait is not missed for long.
        std::int64_t wake = MonotonicMs() + 200;
        if (!pending.empty())
            wake = std::min(wake, pending.begin()->first);
        for (const auto& room : rooms)
            if (room->moveDeadline >= 0)
                wake = std::min(wake, room->moveDeadline);
        const int timeout = static_cast<int>(std::max<std::int64_t>(wake - MonotonicMs(), 0));
        endpoints.clear();
        for (auto& room : rooms)
            endpoints.push_back(&room->endpoint);
        if (!net::CUdpSocket::WaitAny(endpoints, timeout, ready)) {
            std::fprintf(stderr, "velmora-controller: cannot wait for datagrams\n");
            break;
        }
        for (std::size_t i = 0; i < rooms.size(); ++i) {
            if (!ready[i])
                continue;
            long length = 0;
            codec::Ip4 from{};
            std::uint16_t fromPort = 0;
            while ((length = rooms[i]->endpoint.Receive(buffer.data(), buffer.size(), &from, &fromPort)) >= 0)
                handle(i, buffer.data(), static_cast<std::size_t>(length), from, fromPort);
        }
        for (auto& room : rooms)
            if (room->moveDeadline >= 0 && MonotonicMs() >= room->moveDeadline && room->peer.MovePending())
                move(*room);
        while (!pending.empty() && pending.begin()->first <= MonotonicMs()) {
            PendingReply& reply = pending.begin()->second;
            Room& room = *rooms[reply.room];
            const std::string failure =
                room.endpoint.Send(reply.datagram.data(), reply.datagram.size(), reply.to, reply.port);
            log.Datagram("send", Endpoint(reply.to, reply.port), reply.datagram.data(), reply.datagram.size(),
                         failure.empty() ? std::string() : "failed: " + failure);
            pending.erase(pending.begin());
        }
    }
    return 0;
}
