#pragma once

// Runs the controller engine for a window on the window's own clock. The
// engine keeps no time of its own: the window's one-second timers call
// Advance(), and while a Set is sending (the owner says when) the driver
// also wakes the engine at the end of each pause, timed from the moment its
// datagram left. Tests move the clock on instead of waiting.

#include "SessionEngine.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>

class QTimer;

class CEngineDriver : public QObject, private session::ISessionObserver {
    Q_OBJECT
public:
    CEngineDriver(session::IDatagramTransport& transport, session::ISessionObserver& observer,
                  const session::SSessionTiming& timing, std::function<bool()> pfnPaced, QObject* pParent);
    ~CEngineDriver() override;

    session::CSessionEngine& Engine() { return *m_pEngine; }
    session::TimeMs Now() const { return m_clock.elapsed() + m_nSkewMs; }
    void PassTime(session::TimeMs nMs) { m_nSkewMs += nMs; }

    session::ExchangeId StartRead(const codec::Ip4& address);
    session::ExchangeId StartWrite(session::SWriteRequest request);
    void OnDatagram(const std::uint8_t* pData, std::size_t nLength);
    // Lets the engine do what is due and, while paced, arms the timer for its next step.
    void Advance();

    // The pause running after the last datagram of a paced exchange (0:
    // none), and a test hook that ends it at once.
    int PendingPauseMs() const;
    void EndPause();

private:
    void Schedule();
    // Passed on to the owner; a Set's step also starts its pause.
    void OnStarted(session::ExchangeId id) override { m_observer.OnStarted(id); }
    void OnReply(session::ExchangeId id, const session::SReplyEvent& e) override {
        m_observer.OnReply(id, e);
    }
    void OnSetStep(session::ExchangeId id, int nSent) override;
    void OnReadDone(session::ExchangeId id, const session::SReadResult& r) override {
        m_observer.OnReadDone(id, r);
    }
    void OnWriteDone(session::ExchangeId id, const session::SWriteResult& r) override {
        m_observer.OnWriteDone(id, r);
    }
    void OnNotRun(session::ExchangeId id) override { m_observer.OnNotRun(id); }

    session::ISessionObserver& m_observer;
    std::function<bool()> m_pfnPaced;
    std::unique_ptr<session::CSessionEngine> m_pEngine;
    QTimer* m_pStepTimer = nullptr;
    QElapsedTimer m_clock;
    session::TimeMs m_nSkewMs = 0;
    session::TimeMs m_tLastAdvance = 0;
    bool m_bStepSent = false; // the engine sent a datagram of a Set in its last call
};
