#include "ControllerSocket.h"

#include "ProgramValues.h"

#include <QSocketNotifier>

CControllerSocket::CControllerSocket(ReceiveHandler onReceive, QObject* pParent)
    : QObject(pParent), m_onReceive(std::move(onReceive)) {}

CControllerSocket::~CControllerSocket() {
    // The notifier goes before the socket it watches.
    delete m_pNotifier;
}

bool CControllerSocket::Create(std::uint16_t nPort) {
    delete m_pNotifier;
    m_pNotifier = nullptr;
    std::string strError;
    if (m_socket.Bind(net::Ip4{0, 0, 0, 0}, nPort, net::CUdpSocket::EShare::Shared, strError) !=
        net::CUdpSocket::EBind::Bound)
        return false;
    // A batch's or a scan's hundreds of controllers answer in one burst; the
    // system's default buffer holds only part of it and the rest were lost
    // (each lost reply cost its room a whole query wait and a second query).
    m_socket.SetReceiveBuffer(4 << 20);
    m_pNotifier = new QSocketNotifier(static_cast<qintptr>(m_socket.NativeHandle()), QSocketNotifier::Read);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CControllerSocket::OnReadable);
    return true;
}

long CControllerSocket::SendTo(const void* pData, std::size_t nLength, std::uint16_t nPort,
                               const std::string& strAddress) {
    net::Ip4 address{};
    if (!m_socket.IsOpen() || !net::CUdpSocket::ParseAddress(strAddress, address))
        return -1;
    ProgramTrafficLog().Record(session::ETrafficDirection::Sent, address,
                               static_cast<const std::uint8_t*>(pData), nLength);
    return m_socket.Send(pData, nLength, address, nPort).empty() ? static_cast<long>(nLength) : -1;
}

long CControllerSocket::ReceiveFrom(void* pBuffer, std::size_t nCapacity, std::string* pSender,
                                    std::uint16_t* pSenderPort) {
    net::Ip4 from{};
    const long nResult = m_socket.Receive(pBuffer, nCapacity, &from, pSenderPort);
    if (nResult >= 0)
        ProgramTrafficLog().Record(session::ETrafficDirection::Received, from,
                                   static_cast<const std::uint8_t*>(pBuffer),
                                   static_cast<std::size_t>(nResult));
    if (nResult >= 0 && pSender)
        *pSender = net::CUdpSocket::AddressText(from);
    return nResult;
}

void CControllerSocket::OnReadable() {
    if (m_onReceive)
        m_onReceive(*this);
}
