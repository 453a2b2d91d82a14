#pragma once

#include "SystemSocketApi.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

// Stands in for the network; host lookup stays real (dotted addresses and ".invalid" names need no
// server). Records what is sent; by default the host is silent and every wait times out at once.
// Configure before the probe runs.
class CFakeSocketApi : public CSystemSocketApi {
public:
    struct SSent {
        std::vector<std::uint8_t> bytes;
        std::uint32_t nAddress;
    };

    bool m_bRefuseRaw = false, m_bRefuseDatagram = false, m_bFailSend = false, m_bFailReceive = false;
    int m_nCloseResult = 0;
    long m_nError = 0;
    std::function<int(std::chrono::milliseconds)> m_selectHook; // default: timed out
    std::uint8_t m_nReplyTtl = 64;
    std::uint32_t m_nReplySource = 0x0100007F; // 127.0.0.1 in network order
    std::deque<std::uint32_t> m_ticks{0};      // handed out in order; the last one repeats
    std::atomic<int> m_nOpens{0}, m_nSelects{0}, m_nCloses{0};

    TSocket OpenIcmp(EIcmpSocket eKind) override {
        if (eKind == EIcmpSocket::Raw ? m_bRefuseRaw : m_bRefuseDatagram) {
            return kInvalidSocket;
        }
        m_eOpened = eKind;
        ++m_nOpens;
        return 1234;
    }
    int SendTo(TSocket, const std::uint8_t* pData, std::size_t nSize, std::uint32_t nAddress) override {
        {
            std::lock_guard lock(m_mutex);
            m_sent.push_back({{pData, pData + nSize}, nAddress});
        }
        m_sentChanged.notify_all();
        return m_bFailSend ? -1 : static_cast<int>(nSize);
    }
    int Select(TSocket, std::chrono::milliseconds timeout) override {
        ++m_nSelects;
        return m_selectHook ? m_selectHook(timeout) : 0;
    }
    // Echoes the last request, behind a 20-byte IPv4 header on a raw socket as the kernel does.
    int ReceiveFrom(TSocket, std::uint8_t* pBuffer, std::size_t nSize, std::uint32_t& nSource,
                    int& nTtl) override {
        nTtl = -1;
        if (m_bFailReceive) {
            return -1;
        }
        std::vector<std::uint8_t> datagram;
        if (m_eOpened == EIcmpSocket::Raw) {
            datagram.assign(20, 0);
            datagram[8] = m_nReplyTtl;
        } else {
            nTtl = m_nReplyTtl;
        }
        const auto sent = Sent();
        datagram.insert(datagram.end(), sent.back().bytes.begin(), sent.back().bytes.end());
        std::memcpy(pBuffer, datagram.data(), std::min(nSize, datagram.size()));
        nSource = m_nReplySource;
        return static_cast<int>(datagram.size());
    }
    int Close(TSocket) override {
        ++m_nCloses;
        return m_nCloseResult;
    }
    long LastError() const override { return m_nError; }
    std::uint32_t TickCount() override {
        const std::uint32_t nTick = m_ticks.front();
        if (m_ticks.size() > 1) {
            m_ticks.pop_front();
        }
        return nTick;
    }

    std::vector<SSent> Sent() const {
        std::lock_guard lock(m_mutex);
        return m_sent;
    }
    bool WaitForSends(std::size_t nCount) {
        std::unique_lock lock(m_mutex);
        return m_sentChanged.wait_for(lock, std::chrono::seconds(5), [&] { return m_sent.size() >= nCount; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_sentChanged;
    std::vector<SSent> m_sent;
    EIcmpSocket m_eOpened = EIcmpSocket::Raw;
};

// A little-endian 16-bit field of a sent request.
inline int Field16(const std::vector<std::uint8_t>& bytes, std::size_t nOffset) {
    return bytes.at(nOffset) | bytes.at(nOffset + 1) << 8;
}

// Four address bytes in network order, as the socket layer passes them.
inline std::uint32_t Address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    const std::uint8_t bytes[4] = {a, b, c, d};
    std::uint32_t nAddress = 0;
    std::memcpy(&nAddress, bytes, sizeof nAddress);
    return nAddress;
}
