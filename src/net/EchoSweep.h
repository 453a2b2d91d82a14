#pragma once

#include "Pinger.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// Probes a list of addresses with the echo probe, one after the other, on a
// thread of its own, so a scan's window never waits on it. Each address gets
// one echo request and a short wait. The owner collects the answers as they
// come with TakeResults(); Stop() ends the sweep after the probe in progress,
// and so does destroying it.
class CEchoSweep {
public:
    using Address = std::array<std::uint8_t, 4>;
    struct SResult {
        Address address{};
        bool bAnswered = false;
    };

    explicit CEchoSweep(std::vector<Address> addresses, CSocketApi& api = CSystemSocketApi::Instance(),
                        std::chrono::milliseconds replyTimeout = std::chrono::milliseconds(300));
    ~CEchoSweep();
    CEchoSweep(const CEchoSweep&) = delete;
    CEchoSweep& operator=(const CEchoSweep&) = delete;

    // Whether this process may send echo requests at all (a raw socket or
    // the unprivileged ICMP datagram socket opens).
    static bool ProbingAllowed(CSocketApi& api = CSystemSocketApi::Instance());

    void Stop() { m_bStop = true; }
    // The results since the last call, in probing order.
    std::vector<SResult> TakeResults();
    bool Finished() const { return m_bFinished; }
    std::size_t Total() const { return m_addresses.size(); }

private:
    void Run();

    std::vector<Address> m_addresses;
    CPinger m_pinger; // counts on its own: the sweep's thread is not the ping worker's
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bFinished{false};
    std::mutex m_mutex;
    std::vector<SResult> m_results;
    std::thread m_thread;
};
