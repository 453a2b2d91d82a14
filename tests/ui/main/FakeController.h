#pragma once

// A UDP peer on 127.0.0.1 standing where a controller stands, for tests that
// drive the main window through its real socket. It records what it receives
// (with the time it arrived) and sends whatever bytes a test gives it.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

struct SReceived {
    std::vector<std::uint8_t> bytes;
    std::uint16_t nFromPort = 0;
    qint64 nAtMs = 0;
};

class CFakeController {
public:
    CFakeController() {
        m_nSocket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY); // every loopback address reaches it
        ::bind(m_nSocket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t nLength = sizeof address;
        ::getsockname(m_nSocket, reinterpret_cast<sockaddr*>(&address), &nLength);
        m_nPort = ntohs(address.sin_port);
        m_clock.start();
    }
    ~CFakeController() { ::close(m_nSocket); }

    std::uint16_t Port() const { return m_nPort; }

    // Pumps the event loop until nCount datagrams have arrived in all or the time is up.
    bool WaitFor(std::size_t nCount, int nTimeoutMs = 3000) {
        QElapsedTimer timer;
        timer.start();
        while (m_received.size() < nCount && timer.elapsed() < nTimeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            Drain();
        }
        return m_received.size() >= nCount;
    }

    void Drain() {
        pollfd descriptor{m_nSocket, POLLIN, 0};
        while (::poll(&descriptor, 1, 0) > 0) {
            std::vector<std::uint8_t> buffer(9000);
            sockaddr_in from{};
            socklen_t nLength = sizeof from;
            ssize_t n = ::recvfrom(m_nSocket, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &nLength);
            if (n < 0)
                break;
            buffer.resize(static_cast<std::size_t>(n));
            m_received.push_back({buffer, ntohs(from.sin_port), m_clock.elapsed()});
        }
    }

    void SendTo(std::uint16_t nPort, const std::vector<std::uint8_t>& bytes) const {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(nPort);
        ::sendto(m_nSocket, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address),
                 sizeof address);
    }

    std::vector<SReceived> m_received;

private:
    int m_nSocket = -1;
    std::uint16_t m_nPort = 0;
    QElapsedTimer m_clock;
};
