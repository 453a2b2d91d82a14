#include "ReplyQueue.h"

#include "MessageBox.h"

#include <QTimer>

CReplyQueue::CReplyQueue(Handler handle, QObject* pParent) : QObject(pParent), m_handle(std::move(handle)) {
    // Held datagrams are handled from the event loop once the last message
    // box has closed, never from inside the box.
    m_pDrainTimer = new QTimer(this);
    m_pDrainTimer->setSingleShot(true);
    m_pDrainTimer->setInterval(0);
    connect(m_pDrainTimer, &QTimer::timeout, this, &CReplyQueue::Drain);
    m_nBoxesClosedKey = AddBoxesClosedListener([this] { m_pDrainTimer->start(); });
}

CReplyQueue::~CReplyQueue() {
    RemoveBoxesClosedListener(m_nBoxesClosedKey);
}

void CReplyQueue::Push(const std::uint8_t* pData, std::size_t nLength) {
    if (pData == nullptr || nLength == 0)
        return;
    if (m_pfnMayWait && !m_pfnMayWait(pData, nLength)) {
        m_handle(pData, nLength);
        return;
    }
    if (m_held.size() >= kMaxCount || m_nBytes + nLength > kMaxBytes)
        return;
    m_held.emplace_back(pData, pData + nLength);
    m_nBytes += nLength;
    Drain();
}

void CReplyQueue::Drain() {
    // A handler suspended in a message box is not re-entered: what arrives
    // meanwhile waits until it has finished, final data exchange included.
    if (m_bHandling)
        return;
    m_bHandling = true;
    while (!IsMessageBoxOpen() && !m_held.empty()) {
        std::vector<std::uint8_t> data = std::move(m_held.front());
        m_held.pop_front();
        m_nBytes -= data.size();
        m_handle(data.data(), data.size());
    }
    m_bHandling = false;
}
