#pragma once

// Stands where the controllers stand for tests of the main window, without
// a socket: it takes every datagram the window sends (with where it went and
// when) and hands the window whatever bytes a test gives it, at once.
#include "MainConfigDlg.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdint>
#include <vector>

struct SReceived {
    std::vector<std::uint8_t> bytes;
    codec::Ip4 to{};
    qint64 nAtMs = 0;
};

class CFakeController {
public:
    // Set before the window's OnInitDialog: the window then opens no socket.
    explicit CFakeController(CMainConfigDlg& window) : m_window(window) {
        m_clock.start();
        window.UseTransport([this](const codec::Datagram& datagram, const codec::Ip4& to) {
            m_received.push_back({datagram, to, m_clock.elapsed()});
        });
    }

    // Pumps the event loop (the Set's pauses run on a timer) until nCount
    // datagrams have been sent in all or the time is up.
    bool WaitFor(std::size_t nCount, int nTimeoutMs = 3000) {
        QElapsedTimer timer;
        timer.start();
        while (m_received.size() < nCount && timer.elapsed() < nTimeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return m_received.size() >= nCount;
    }

    void Reply(const std::vector<std::uint8_t>& bytes) {
        m_window.ReceiveDatagram(bytes.data(), bytes.size());
    }

    // What a faithful controller answers after a Set: each setting datagram
    // read back as a reply (same layout, reply marker), carrying the address
    // the closing query asked at. `kinds` picks which and in what order.
    void ReadBackAsSent(const std::vector<int>& kinds = {1, 2, 3, 4}) {
        const std::size_t nLast = std::min<std::size_t>(5, m_received.size());
        const std::vector<SReceived> sent(m_received.end() - static_cast<long>(nLast), m_received.end());
        for (int nKind : kinds) {
            for (const SReceived& s : sent) {
                if (s.bytes.size() < 14 || s.bytes[13] != nKind)
                    continue;
                std::vector<std::uint8_t> reply = s.bytes;
                reply[6] = 'F';
                reply[7] = 'H';
                const codec::Ip4& at = sent.back().to;
                std::copy(at.begin(), at.end(), reply.begin() + 8);
                Reply(reply);
            }
        }
    }

    std::vector<SReceived> m_received;

private:
    CMainConfigDlg& m_window;
    QElapsedTimer m_clock;
};
