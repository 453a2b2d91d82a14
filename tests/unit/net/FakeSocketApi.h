#pragma once

#include "SystemSocketApi.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

// Stands in for the network. Host lookup stays real (dotted addresses and ".invalid" names need
// no server). Every call is recorded; each behaviour can be replaced by a hook. By default the
// host is silent: every wait times out at once.
class CFakeSocketApi : public CSystemSocketApi {
public:
    struct SSent {
        std::vector<std::uint8_t> bytes;
        std::uint32_t nAddress;
    };

    static constexpr TSocket kFakeSocket = 1234;

    bool m_bRefuseRaw = false;
    bool m_bRefuseDatagram = false;
    long m_nError = 0; // reported by LastError()
    int m_nCloseResult = 0;
    std::function<int()> m_sendHook;                            // result of SendTo, default: all bytes
    std::function<int(std::chrono::milliseconds)> m_selectHook; // result of Select, default: 0
    std::function<int()> m_receiveHook;                         // result of ReceiveFrom, default: echo
    std::uint8_t m_nReplyTtl = 64;
    std::uint32_t m_nReplySource = 0x0100007F; // 127.0.0.1 in network order
    std::deque<std::uint32_t> m_ticks;         // handed out in order, then the last one repeats

    TSocket OpenIcmp(EIcmpSocket eKind) override {
        std::lock_guard lock(m_mutex);
        const bool bRefused = eKind == EIcmpSocket::Raw ? m_bRefuseRaw : m_bRefuseDatagram;
        if (bRefused) {
            return kInvalidSocket;
        }
        m_eOpened = eKind;
        ++m_nOpens;
        return kFakeSocket;
    }

    int SendTo(TSocket, const std::uint8_t* pData, std::size_t nSize, std::uint32_t nAddress) override {
        std::function<int()> hook;
        {
            std::lock_guard lock(m_mutex);
            m_sent.push_back({std::vector<std::uint8_t>(pData, pData + nSize), nAddress});
            hook = m_sendHook;
        }
        m_changed.notify_all();
        return hook ? hook() : static_cast<int>(nSize);
    }

    int Select(TSocket, std::chrono::milliseconds timeout) override {
        std::function<int(std::chrono::milliseconds)> hook;
        {
            std::lock_guard lock(m_mutex);
            ++m_nSelects;
            hook = m_selectHook;
        }
        return hook ? hook(timeout) : 0;
    }

    // Echoes the last request, behind a 20-byte IPv4 header for the raw socket as the kernel does.
    int ReceiveFrom(TSocket, std::uint8_t* pBuffer, std::size_t nSize, std::uint32_t& nSource,
                    int& nTtl) override {
        std::lock_guard lock(m_mutex);
        nTtl = -1;
        if (m_receiveHook) {
            return m_receiveHook();
        }
        std::vector<std::uint8_t> datagram;
        if (m_eOpened == EIcmpSocket::Raw) {
            datagram.assign(20, 0);
            datagram[0] = 0x45;
            datagram[8] = m_nReplyTtl;
        } else {
            nTtl = m_nReplyTtl;
        }
        if (!m_sent.empty()) {
            datagram.insert(datagram.end(), m_sent.back().bytes.begin(), m_sent.back().bytes.end());
        }
        const std::size_t nCopied = std::min(nSize, datagram.size());
        std::memcpy(pBuffer, datagram.data(), nCopied);
        nSource = m_nReplySource;
        return static_cast<int>(nCopied);
    }

    int Close(TSocket) override {
        std::lock_guard lock(m_mutex);
        ++m_nCloses;
        return m_nCloseResult;
    }

    long LastError() const override { return m_nError; }

    std::uint32_t TickCount() override {
        std::lock_guard lock(m_mutex);
        if (m_ticks.empty()) {
            return 0;
        }
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
    int Opens() const {
        std::lock_guard lock(m_mutex);
        return m_nOpens;
    }
    int Closes() const {
        std::lock_guard lock(m_mutex);
        return m_nCloses;
    }
    int Selects() const {
        std::lock_guard lock(m_mutex);
        return m_nSelects;
    }

    // Waits until at least nCount requests were sent; false on timeout.
    bool WaitForSends(std::size_t nCount, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_sent.size() >= nCount; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<SSent> m_sent;
    EIcmpSocket m_eOpened = EIcmpSocket::Raw;
    int m_nOpens = 0;
    int m_nCloses = 0;
    int m_nSelects = 0;
};

// Low 16-bit little-endian field of a sent request.
inline std::uint16_t Field16(const std::vector<std::uint8_t>& bytes, std::size_t nOffset) {
    return static_cast<std::uint16_t>(bytes.at(nOffset) | bytes.at(nOffset + 1) << 8);
}

// Four address bytes in network order, as the socket layer passes them.
inline std::uint32_t Address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    const std::array<std::uint8_t, 4> bytes{a, b, c, d};
    std::uint32_t nAddress = 0;
    std::memcpy(&nAddress, bytes.data(), sizeof nAddress);
    return nAddress;
}
