#include "EngineDriver.h"

#include <QTimer>

#include <algorithm>

CEngineDriver::CEngineDriver(session::IDatagramTransport& transport, session::ISessionObserver& observer,
                             const session::SSessionTiming& timing, std::function<bool()> pfnPaced,
                             QObject* pParent)
    : QObject(pParent), m_observer(observer), m_pfnPaced(std::move(pfnPaced)) {
    m_pStepTimer = new QTimer(this);
    m_pStepTimer->setSingleShot(true);
    // The pauses between a Set's datagrams are never cut short.
    m_pStepTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pStepTimer, &QTimer::timeout, this, &CEngineDriver::Advance);
    m_clock.start();
    session::ISessionObserver& self = *this;
    m_pEngine = std::make_unique<session::CSessionEngine>(transport, self, timing);
}

CEngineDriver::~CEngineDriver() {
    m_pEngine->CancelAll();
}

session::ExchangeId CEngineDriver::StartRead(const codec::Ip4& address) {
    m_tLastAdvance = Now();
    const session::ExchangeId id = m_pEngine->StartRead(address, m_tLastAdvance);
    Schedule();
    return id;
}

session::ExchangeId CEngineDriver::StartWrite(session::SWriteRequest request) {
    m_tLastAdvance = Now();
    const session::ExchangeId id = m_pEngine->StartWrite(std::move(request), m_tLastAdvance);
    Schedule();
    return id;
}

void CEngineDriver::OnDatagram(const std::uint8_t* pData, std::size_t nLength) {
    m_pEngine->OnDatagram(pData, nLength, Now());
}

void CEngineDriver::OnSetStep(session::ExchangeId id, int nSent) {
    m_bStepSent = true;
    m_observer.OnSetStep(id, nSent);
}

void CEngineDriver::Advance() {
    m_tLastAdvance = Now();
    m_bStepSent = false;
    m_pEngine->Advance(m_tLastAdvance);
    Schedule();
}

void CEngineDriver::Schedule() {
    const std::optional<session::TimeMs> next = m_pEngine->NextDeadline();
    if (!next || !m_pfnPaced()) {
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

int CEngineDriver::PendingPauseMs() const {
    const std::optional<session::TimeMs> next = m_pEngine->NextDeadline();
    return m_pfnPaced() && next ? static_cast<int>(*next - m_tLastAdvance) : 0;
}

void CEngineDriver::EndPause() {
    const std::optional<session::TimeMs> next = m_pEngine->NextDeadline();
    if (!m_pfnPaced() || !next)
        return;
    m_nSkewMs += std::max<session::TimeMs>(0, *next - Now());
    Advance();
}
