#include "UdpSocket.h"

#include <utility>

// What does not touch the system; the calls are the platform's file.
namespace net {

CUdpSocket::~CUdpSocket() {
    Close();
}

CUdpSocket::CUdpSocket(CUdpSocket&& other) noexcept : m_nHandle(std::exchange(other.m_nHandle, kNoHandle)) {}

CUdpSocket& CUdpSocket::operator=(CUdpSocket&& other) noexcept {
    if (this != &other)
        TakeOver(other);
    return *this;
}

void CUdpSocket::TakeOver(CUdpSocket& other) {
    if (this == &other)
        return;
    Close();
    m_nHandle = std::exchange(other.m_nHandle, kNoHandle);
}

std::string CUdpSocket::AddressText(const Ip4& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) +
           "." + std::to_string(address[3]);
}

bool CUdpSocket::Wait(int nTimeoutMs) const {
    std::vector<bool> ready;
    return WaitAny({this}, nTimeoutMs, ready) && ready[0];
}

} // namespace net
