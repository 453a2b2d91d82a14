#pragma once

// The datagrams that reach the main window's socket, on their way to the
// engine. Those for the window's own exchanges reach the engine one at a
// time in order of arrival, never while a message box is open and never
// while the handling of the one before is suspended in a box: those wait
// here, within a count and a byte bound, until the last box has closed.
// The others (the scan's, the batch's) go on at once, so a box of the
// window holds no other face up.

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

class QTimer;

class CReplyQueue : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const std::uint8_t*, std::size_t)>;
    static constexpr std::size_t kMaxCount = 4096;
    static constexpr std::size_t kMaxBytes = 1024 * 1024;

    CReplyQueue(Handler handle, QObject* pParent);
    ~CReplyQueue() override;

    // A datagram has arrived. Past the bounds the newest are dropped and the
    // held ones kept.
    void Push(const std::uint8_t* pData, std::size_t nLength);
    // Hands the held datagrams on in order, each to its end.
    void Drain();
    std::size_t Count() const { return m_held.size(); }
    std::size_t Bytes() const { return m_nBytes; }

    // Which datagrams wait while a box is open; by default all.
    void SetMayWait(std::function<bool(const std::uint8_t*, std::size_t)> pfnMayWait) {
        m_pfnMayWait = std::move(pfnMayWait);
    }

private:
    Handler m_handle;
    std::function<bool(const std::uint8_t*, std::size_t)> m_pfnMayWait;
    std::deque<std::vector<std::uint8_t>> m_held;
    std::size_t m_nBytes = 0;
    bool m_bHandling = false;
    QTimer* m_pDrainTimer = nullptr;
    int m_nBoxesClosedKey = 0;
};
