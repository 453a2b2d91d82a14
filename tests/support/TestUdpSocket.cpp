#include "TestUdpSocket.h"

CTestUdpSocket::CTestUdpSocket(std::uint16_t nPort, const std::string& strAddress, bool bShare) {
    net::Ip4 address{};
    std::string strError;
    if (net::CUdpSocket::ParseAddress(strAddress, address))
        m_socket.Bind(address, nPort,
                      bShare ? net::CUdpSocket::EShare::Shared : net::CUdpSocket::EShare::Alone, strError);
}

bool CTestUdpSocket::SendTo(const std::string& strAddress, std::uint16_t nPort,
                            const std::vector<std::uint8_t>& bytes) const {
    net::Ip4 address{};
    return net::CUdpSocket::ParseAddress(strAddress, address) &&
           m_socket.Send(bytes.data(), bytes.size(), address, nPort).empty();
}

std::optional<CTestUdpSocket::SDatagram> CTestUdpSocket::Receive(int nWaitMs) {
    if (!m_socket.Wait(nWaitMs))
        return std::nullopt;
    SDatagram datagram;
    datagram.bytes.resize(65536);
    net::Ip4 from{};
    const long n = m_socket.Receive(datagram.bytes.data(), datagram.bytes.size(), &from, &datagram.nFromPort);
    if (n < 0)
        return std::nullopt;
    datagram.bytes.resize(static_cast<std::size_t>(n));
    datagram.strFrom = net::CUdpSocket::AddressText(from);
    return datagram;
}
