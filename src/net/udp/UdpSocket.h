#pragma once

// The one UDP socket of every Velmora program: the window, the command line,
// the controller emulator and the tests bind, send, receive and wait through
// it. The system calls are the platform's file (UdpSocketPosix.cpp,
// UdpSocketWin.cpp); nothing else calls the socket API for UDP.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace net {

// An IPv4 address, first octet first (the same type as the codec's address).
using Ip4 = std::array<std::uint8_t, 4>;

class CUdpSocket {
public:
    // A descriptor or a Windows SOCKET, kept at its full width.
    using THandle = std::uintptr_t;
    static constexpr THandle kNoHandle = ~THandle{0};

    // Whether a bind shares the port (SO_REUSEADDR) with others that share it
    // too: the window and the command line bind 0.0.0.0 so, and an emulator
    // binds an address of its own beside them.
    enum class EShare { Alone, Shared };
    enum class EBind { Bound, PortTaken, Failed };

    CUdpSocket() = default;
    ~CUdpSocket();
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;
    CUdpSocket(CUdpSocket&& other) noexcept;
    CUdpSocket& operator=(CUdpSocket&& other) noexcept;

    // Binds address:nPort (port 0 picks a free one) as a non-blocking socket.
    // An open socket is closed first. On failure strError holds the system's
    // reason and PortTaken tells that another socket holds the address.
    EBind Bind(const Ip4& address, std::uint16_t nPort, EShare share, std::string& strError);
    void Close();
    bool IsOpen() const { return m_nHandle != kNoHandle; }
    // Closes this socket and takes the other's (a rebind that succeeded).
    void TakeOver(CUdpSocket& other);

    // The bound port; 0 when closed.
    std::uint16_t LocalPort() const;
    // For an event loop's notifier; kNoHandle when closed.
    THandle NativeHandle() const { return m_nHandle; }
    // Asks the system for room for a burst of datagrams (many controllers
    // answering at once). A refusal leaves the system's default.
    void SetReceiveBuffer(int nBytes);

    // One waiting datagram without blocking: its length, cut to nCapacity as
    // a longer datagram is, or -1 when none waits or the read fails.
    long Receive(void* pBuffer, std::size_t nCapacity, Ip4* pFrom = nullptr,
                 std::uint16_t* pFromPort = nullptr);
    // "" when the datagram went out, else the system's reason.
    std::string Send(const void* pData, std::size_t nLength, const Ip4& to, std::uint16_t nPort) const;

    // Waits at most nTimeoutMs for a datagram; true when one waits.
    bool Wait(int nTimeoutMs) const;
    // Waits at most nTimeoutMs until one of the sockets has a datagram;
    // `ready` tells which. False on an error other than an interruption by a
    // signal (which ends the wait early with nothing ready).
    static bool WaitAny(const std::vector<const CUdpSocket*>& sockets, int nTimeoutMs,
                        std::vector<bool>& ready);

    // Whether a plain bind (no sharing) of 0.0.0.0:nPort succeeds, i.e. no
    // other program holds the port.
    static bool PortIsFree(std::uint16_t nPort);
    // Dotted address text as the system reads it; false when it is none.
    static bool ParseAddress(const std::string& strText, Ip4& address);
    // "a.b.c.d" in decimal, as a sender is reported in texts.
    static std::string AddressText(const Ip4& address);
    // Starts the system's socket layer once for the whole run (Winsock on
    // Windows, nothing elsewhere); false when it cannot be started.
    static bool StartSocketLayer();

private:
    THandle m_nHandle = kNoHandle;
};

} // namespace net
