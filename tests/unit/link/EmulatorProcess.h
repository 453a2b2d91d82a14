#pragma once

// Runs the real velmora-controller as a child process and talks to it over
// loopback UDP, for the round-trip tests.

#include "codec/Requests.h"
#include "udp/UdpSocket.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace emulator {

inline std::int64_t Ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

// A temporary folder removed at the end of the test.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-emu-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    std::string File(const char* name) const { return (std::filesystem::path(m_path) / name).string(); }

private:
    std::string m_path;
};

class Process {
public:
    ~Process() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
    }

    // Starts the emulator and waits for its "listening on A:P" line.
    bool Start(const std::vector<std::string>& args) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        std::vector<std::string> all{VELMORA_CONTROLLER_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        m_out = pipeFds[0];
        if (rc != 0) {
            m_pid = -1;
            return false;
        }
        return ReadEndpoint("listening on ");
    }

    // Waits for a "moved to A:P" line after an address change.
    bool WaitMoved() { return ReadEndpoint("moved to "); }

    // SIGTERM, then the exit status (or -1 when it did not exit normally within a few seconds).
    int Stop(int signal = SIGTERM) {
        if (m_pid <= 0)
            return -1;
        ::kill(m_pid, signal);
        int status = 0;
        const std::int64_t end = Ms() + 5000;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (Ms() > end)
                return -1;
            ::usleep(5000);
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    codec::Ip4 address{};
    std::uint16_t port = 0;

private:
    bool ReadEndpoint(const std::string& prefix) {
        const std::int64_t end = Ms() + 5000;
        for (;;) {
            const auto newline = m_buffer.find('\n');
            if (newline != std::string::npos) {
                const std::string line = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                if (line.rfind(prefix, 0) != 0)
                    continue;
                const std::string endpoint = line.substr(prefix.size());
                const auto colon = endpoint.rfind(':');
                if (colon == std::string::npos)
                    return false;
                address = codec::AddressToBytes(endpoint.substr(0, colon));
                port = static_cast<std::uint16_t>(std::stoi(endpoint.substr(colon + 1)));
                return true;
            }
            const std::int64_t left = end - Ms();
            if (left <= 0)
                return false;
            pollfd pfd{m_out, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left)) <= 0)
                return false;
            char chunk[256];
            const ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
};

// The tool's side: a UDP socket on 127.0.0.1 with a port of its own.
class Client {
public:
    Client() {
        std::string error;
        m_socket.Bind(codec::Ip4{127, 0, 0, 1}, 0, net::CUdpSocket::EShare::Alone, error);
    }

    void Send(const codec::Datagram& d, const codec::Ip4& to, std::uint16_t port) const {
        m_socket.Send(d.data(), d.size(), to, port);
    }

    // Collects datagrams until `count` arrived or `waitMs` passed.
    std::vector<codec::Datagram> Receive(std::size_t count, int waitMs) const {
        std::vector<codec::Datagram> got;
        const std::int64_t end = Ms() + waitMs;
        while (got.size() < count) {
            const std::int64_t left = end - Ms();
            if (left <= 0 || !m_socket.Wait(static_cast<int>(left)))
                break;
            codec::Datagram d(8000);
            const long n = m_socket.Receive(d.data(), d.size());
            if (n < 0)
                break;
            d.resize(static_cast<std::size_t>(n));
            got.push_back(std::move(d));
        }
        return got;
    }

private:
    // Receiving takes from the system's queue, not from this object's state.
    mutable net::CUdpSocket m_socket;
};

} // namespace emulator
