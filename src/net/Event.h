#pragma once

#include <chrono>
#include <cstddef>

// A signal one thread sets and another waits for, with the two reset behaviours of a
// classic event object:
//  - manual reset: stays set, releasing every wait, until Reset();
//  - auto reset: one successful wait consumes it; sets that arrive while it is already set
//    add up to a single set.
//
// All events share one mutex and one condition variable. That is what lets WaitForAny() wait on
// two events at once without a registration scheme, and it costs nothing here: the program has
// a handful of events and they are set rarely.
class CEvent {
public:
    enum class EReset { Manual, Auto };

    explicit CEvent(EReset eReset, bool bInitiallySet = false);
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    // Waits without a time limit.
    void Wait();
    // Returns false when the time ran out before the event was set.
    bool WaitFor(std::chrono::milliseconds timeout);
    // Reports the state without consuming an auto-reset event.
    bool IsSet() const;

    // Waits without a time limit until either event is set and returns its index (0 or 1).
    // When both are set the first one wins, and only the winner is consumed.
    static std::size_t WaitForAny(CEvent& first, CEvent& second);

private:
    // Under the shared lock: true if set, consuming an auto-reset event.
    bool TryConsume();

    const EReset m_eReset;
    bool m_bSet;
};
