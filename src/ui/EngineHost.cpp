#include "EngineHost.h"

#include "MessageBox.h"

#include <QTimer>

#include <algorithm>
#include <deque>

class CEngineHost::CClient : public session::ISessionObserver {
public:
    CClient(CEngineHost& host, session::ISessionObserver& observer, std::function<bool()> pfnPaced,
            std::function<bool()> pfnHold)
        : m_host(host), m_observer(observer), m_pfnPaced(std::move(pfnPaced)), m_pfnHold(std::move(pfnHold)) {}

    bool Paced() const { return m_pfnPaced && m_pfnPaced(); }

    void OnStarted(session::ExchangeId id) override {
        Tell([this, id] { m_observer.OnStarted(id); });
    }
    void OnReply(session::ExchangeId id, const session::SReplyEvent& e) override {
        Tell([this, id, e] { m_observer.OnReply(id, e); });
    }
    void OnSetStarting(session::ExchangeId id) override {
        Tell([this, id] { m_observer.OnSetStarting(id); });
    }
    void OnSetStep(session::ExchangeId id, int nSent) override {
        m_host.m_bStepSent = true;
        Tell([this, id, nSent] { m_observer.OnSetStep(id, nSent); });
    }
    void OnReadDone(session::ExchangeId id, const session::SReadResult& r) override {
        Tell([this, id, r] { m_observer.OnReadDone(id, r); });
    }
    void OnWriteDone(session::ExchangeId id, const session::SWriteResult& r) override {
        Tell([this, id, r] { m_observer.OnWriteDone(id, r); });
    }
    void OnNotRun(session::ExchangeId id) override {
        Tell([this, id] { m_observer.OnNotRun(id); });
    }

    // Tells what was held, in order, while the face does not hold.
    void TellHeld() {
        if (m_bTelling)
            return;
        m_bTelling = true;
        while (!m_held.empty() && !Holding()) {
            std::function<void()> report = std::move(m_held.front());
            m_held.pop_front();
            report();
        }
        m_bTelling = false;
    }
    bool HasHeld() const { return !m_held.empty(); }

private:
    bool Holding() const { return m_pfnHold && m_pfnHold(); }
    void Tell(std::function<void()> report) {
        if (m_held.empty() && !Holding()) {
            report();
            return;
        }
        m_held.push_back(std::move(report));
    }

    CEngineHost& m_host;
    session::ISessionObserver& m_observer;
    std::function<bool()> m_pfnPaced;
    std::function<bool()> m_pfnHold;
    std::deque<std::function<void()>> m_held;
    bool m_bTelling = false;
};

CEngineHost::CEngineHost(session::IDatagramTransport& transport, QObject* pParent) : QObject(pParent) {
    m_pStepTimer = new QTimer(this);
    m_pStepTimer->setSingleShot(true);
    // The pauses between a Set's datagrams are never cut short.
    m_pStepTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pStepTimer, &QTimer::timeout, this, &CEngineHost::Advance);
    m_clock.start();
    m_pEngine = std::make_unique<session::CSessionEngine>(transport, m_nobody);
    m_pTellTimer = new QTimer(this);
    m_pTellTimer->setSingleShot(true);
    m_pTellTimer->setInterval(0);
    connect(m_pTellTimer, &QTimer::timeout, this, &CEngineHost::TellHeld);
    m_nBoxesClosedKey = AddBoxesClosedListener([this] { m_pTellTimer->start(); });
}

CEngineHost::~CEngineHost() {
    RemoveBoxesClosedListener(m_nBoxesClosedKey);
    m_pEngine->CancelAll();
}

void CEngineHost::TellHeld() {
    // A face may go away while told.
    std::vector<session::ClientId> clients;
    for (const auto& [client, pClient] : m_clients)
        if (pClient->HasHeld())
            clients.push_back(client);
    for (session::ClientId client : clients) {
        const auto it = m_clients.find(client);
        if (it != m_clients.end())
            it->second->TellHeld();
    }
}

bool CEngineHost::IsFor(session::ClientId client, const std::uint8_t* pData, std::size_t nLength) const {
    return m_pEngine->ListenerOf(pData, nLength) == client;
}

session::ClientId CEngineHost::AddClient(session::ISessionObserver& observer, const session::SSessionTiming& timing,
                                         std::function<bool()> pfnPaced, std::function<bool()> pfnHold) {
    auto pClient = std::make_unique<CClient>(*this, observer, std::move(pfnPaced), std::move(pfnHold));
    const session::ClientId client = m_pEngine->AddClient(*pClient, timing);
    m_clients.emplace(client, std::move(pClient));
    return client;
}

void CEngineHost::RemoveClient(session::ClientId client) {
    m_pEngine->RemoveClient(client);
    m_clients.erase(client);
    // What waited for the client's controllers may start now.
    Advance();
}

session::ExchangeId CEngineHost::StartRead(session::ClientId client, const codec::Ip4& address) {
    m_tLastAdvance = Now();
    const session::ExchangeId id = m_pEngine->StartRead(client, address, m_tLastAdvance);
    Schedule();
    return id;
}

session::ExchangeId CEngineHost::StartWrite(session::ClientId client, session::SWriteRequest request) {
    m_tLastAdvance = Now();
    const session::ExchangeId id = m_pEngine->StartWrite(client, std::move(request), m_tLastAdvance);
    Schedule();
    return id;
}

void CEngineHost::OnDatagram(const std::uint8_t* pData, std::size_t nLength) {
    // A reply that ends one exchange may let another start.
    m_tLastAdvance = Now();
    m_pEngine->OnDatagram(pData, nLength, m_tLastAdvance);
    Schedule();
}

void CEngineHost::Advance() {
    m_tLastAdvance = Now();
    m_bStepSent = false;
    m_pEngine->Advance(m_tLastAdvance);
    Schedule();
}

bool CEngineHost::Paced() const {
    return std::any_of(m_clients.begin(), m_clients.end(), [](const auto& c) { return c.second->Paced(); });
}

void CEngineHost::Schedule() {
    const std::optional<session::TimeMs> next = m_pEngine->NextDeadline();
    if (!next || !Paced()) {
        m_pStepTimer->stop();
        return;
    }
    // A pause runs whole from the moment its datagram left, however long
    // building and sending it took; the clock counts whole milliseconds, so
    // one more keeps a fraction of one from cutting it short.
    const session::TimeMs nPause = m_bStepSent ? *next - m_tLastAdvance : *next - Now();
    m_bStepSent = false;
    m_pStepTimer->start(static_cast<int>(std::max<session::TimeMs>(0, nPause) + 1));
}

int CEngineHost::PendingPauseMs() const {
    const std::optional<session::TimeMs> next = m_pEngine->NextDeadline();
    return Paced() && next ? static_cast<int>(*next - m_tLastAdvance) : 0;
}

void CEngineHost::EndPause() {
    const std::optional<session::TimeMs> next = m_pEngine->NextDeadline();
    if (!Paced() || !next)
        return;
    m_nSkewMs += std::max<session::TimeMs>(0, *next - Now());
    Advance();
}
