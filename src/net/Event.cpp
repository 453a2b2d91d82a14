#include "Event.h"

#include <condition_variable>
#include <mutex>

namespace {

std::mutex& EventMutex() {
    static std::mutex s_mutex;
    return s_mutex;
}

std::condition_variable& EventChanged() {
    static std::condition_variable s_changed;
    return s_changed;
}

} // namespace

CEvent::CEvent(EReset eReset, bool bInitiallySet) : m_eReset(eReset), m_bSet(bInitiallySet) {}

void CEvent::Set() {
    {
        std::lock_guard lock(EventMutex());
        m_bSet = true;
    }
    // Every waiter rechecks its own events, so waking unrelated ones is harmless.
    EventChanged().notify_all();
}

void CEvent::Reset() {
    std::lock_guard lock(EventMutex());
    m_bSet = false;
}

void CEvent::Wait() {
    std::unique_lock lock(EventMutex());
    EventChanged().wait(lock, [this] { return TryConsume(); });
}

bool CEvent::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(EventMutex());
    return EventChanged().wait_for(lock, timeout, [this] { return TryConsume(); });
}

bool CEvent::IsSet() const {
    std::lock_guard lock(EventMutex());
    return m_bSet;
}

std::size_t CEvent::WaitForAny(CEvent& first, CEvent& second) {
    std::unique_lock lock(EventMutex());
    std::size_t nIndex = 0;
    EventChanged().wait(lock, [&] {
        if (first.TryConsume()) {
            nIndex = 0;
            return true;
        }
        if (second.TryConsume()) {
            nIndex = 1;
            return true;
        }
        return false;
    });
    return nIndex;
}

bool CEvent::TryConsume() {
    if (!m_bSet) {
        return false;
    }
    if (m_eReset == EReset::Auto) {
        m_bSet = false;
    }
    return true;
}
