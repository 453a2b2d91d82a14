#pragma once

// A UDP peer on 127.0.0.1 standing where a controller stands, for tests that
// drive the main window through its real socket. It records what it receives
// (with the time it arrived) and sends whatever bytes a test gives it.
#include "TestUdpSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdint>
#include <vector>

struct SReceived {
    std::vector<std::uint8_t> bytes;
    std::uint16_t nFromPort = 0;
    qint64 nAtMs = 0;
};

class CFakeController {
public:
    CFakeController() { m_clock.start(); } // bound to every local address: all of loopback reaches it

    std::uint16_t Port() const { return m_socket.Port(); }

    // Pumps the event loop until nCount datagrams have arrived in all or the time is up.
    bool WaitFor(std::size_t nCount, int nTimeoutMs = 3000) {
        QElapsedTimer timer;
        timer.start();
        // Drained before the events are processed too, so a datagram sent
        // before the wait is stamped with its arrival and not with the end of
        // the first round of events (which is slow on some platforms).
        Drain();
        while (m_received.size() < nCount && timer.elapsed() < nTimeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            Drain();
        }
        return m_received.size() >= nCount;
    }

    void Drain() {
        while (auto datagram = m_socket.Receive())
            m_received.push_back({datagram->bytes, datagram->nFromPort, m_clock.elapsed()});
    }

    void SendTo(std::uint16_t nPort, const std::vector<std::uint8_t>& bytes) const {
        m_socket.SendTo("127.0.0.1", nPort, bytes);
    }

    std::vector<SReceived> m_received;

private:
    CTestUdpSocket m_socket;
    QElapsedTimer m_clock;
};
