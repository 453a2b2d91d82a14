#pragma once

// The program's one controller engine, on the window's socket and clock.
// The window, the scan and the batch are its clients, each with its own
// observer and waits, so one controller is in one exchange at a time
// whichever face asked. The engine keeps no time of its own: the faces'
// timers call Advance(), and while a client says it is paced (a Set is
// sending) the host also wakes the engine at the end of each pause, timed
// from the moment its datagram left. Tests move the clock on instead of
// waiting.

#include "SessionEngine.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <map>
#include <memory>

class QTimer;

class CEngineHost : public QObject {
    Q_OBJECT
public:
    CEngineHost(session::IDatagramTransport& transport, QObject* pParent);
    ~CEngineHost() override;

    session::CSessionEngine& Engine() { return *m_pEngine; }
    session::TimeMs Now() const { return m_clock.elapsed() + m_nSkewMs; }
    void PassTime(session::TimeMs nMs) { m_nSkewMs += nMs; }

    // A face: its exchanges are told to `observer`; `pfnPaced` says when its
    // Set's pauses are to be timed by the host (none: its own timer does).
    // While `pfnHold` says so (the window: a message box is open) the face
    // is told nothing: what happens meanwhile is told in order once it no
    // longer holds, so no handler of it runs inside another's box.
    session::ClientId AddClient(session::ISessionObserver& observer, const session::SSessionTiming& timing,
                                std::function<bool()> pfnPaced = {}, std::function<bool()> pfnHold = {});
    // Drops the face's exchanges without a report.
    void RemoveClient(session::ClientId client);

    session::ExchangeId StartRead(session::ClientId client, const codec::Ip4& address);
    session::ExchangeId StartWrite(session::ClientId client, session::SWriteRequest request);
    void OnDatagram(const std::uint8_t* pData, std::size_t nLength);
    // Whether the datagram would go to `client`'s exchange now.
    bool IsFor(session::ClientId client, const std::uint8_t* pData, std::size_t nLength) const;
    // Tells the faces that no longer hold what they were not told meanwhile.
    void TellHeld();
    // Lets the engine do what is due and, while paced, arms the timer for its next step.
    void Advance();

    // The pause running after the last datagram of a paced exchange (0:
    // none), and a test hook that ends it at once.
    int PendingPauseMs() const;
    void EndPause();

private:
    // Passes a client's reports on and notes when a Set's datagram left.
    class CClient;

    void Schedule();
    bool Paced() const;

    // Nobody listens to the engine's first client: every face adds its own.
    session::ISessionObserver m_nobody;
    std::map<session::ClientId, std::unique_ptr<CClient>> m_clients;
    std::unique_ptr<session::CSessionEngine> m_pEngine;
    QTimer* m_pStepTimer = nullptr;
    QTimer* m_pTellTimer = nullptr; // tells held reports from the event loop once the boxes have closed
    int m_nBoxesClosedKey = 0;
    QElapsedTimer m_clock;
    session::TimeMs m_nSkewMs = 0;
    session::TimeMs m_tLastAdvance = 0;
    bool m_bStepSent = false; // the engine sent a datagram of a Set in its last call
};
