#include "ControllerSocket.h"

#include <QSocketNotifier>

// The socket calls themselves live in the platform's file
// (ControllerSocketPosix.cpp, ControllerSocketWin.cpp).

CControllerSocket::CControllerSocket(ReceiveHandler onReceive, QObject* pParent)
    : QObject(pParent), m_onReceive(std::move(onReceive)) {}

CControllerSocket::~CControllerSocket() {
    delete m_pNotifier;
    if (m_nSocket != kNoSocket)
        CloseSocket(m_nSocket);
}

void CControllerSocket::Attach(qintptr nSocket) {
    m_nSocket = nSocket;
    m_pNotifier = new QSocketNotifier(nSocket, QSocketNotifier::Read);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CControllerSocket::OnReadable);
}

void CControllerSocket::OnReadable() {
    if (m_onReceive)
        m_onReceive(*this);
}
