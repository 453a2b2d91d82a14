#pragma once

#include "udp/UdpSocket.h"

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class QSocketNotifier;

// The UDP socket through which the main window talks to controllers. It binds
// every local address on its port sharing it (so a controller emulator can
// bind the port on an address of its own) and reports each datagram that can
// be read on the user-interface thread. The socket itself is the UDP layer's;
// this adds the event loop's notifier. Every datagram it sends or receives
// goes into the program's traffic log.
class CControllerSocket : public QObject {
    Q_OBJECT
public:
    using ReceiveHandler = std::function<void(CControllerSocket&)>;

    explicit CControllerSocket(ReceiveHandler onReceive, QObject* pParent = nullptr);
    ~CControllerSocket() override;

    // Binds 0.0.0.0:nPort (0 picks a free port). False when the bind fails.
    bool Create(std::uint16_t nPort);
    bool IsOpen() const { return m_socket.IsOpen(); }
    std::uint16_t LocalPort() const { return m_socket.LocalPort(); }

    // Sends to the dotted address; the result is the byte count or -1.
    long SendTo(const void* pData, std::size_t nLength, std::uint16_t nPort, const std::string& strAddress);
    // Receives one datagram; the result is its length, 0, or -1 on an error.
    long ReceiveFrom(void* pBuffer, std::size_t nCapacity, std::string* pSender = nullptr,
                     std::uint16_t* pSenderPort = nullptr);

    // Starts the platform's socket layer (Winsock on Windows); false when it
    // cannot be started. Safe to call more than once.
    static bool InitSocketLayer() { return net::CUdpSocket::StartSocketLayer(); }

private:
    void OnReadable();

    ReceiveHandler m_onReceive;
    net::CUdpSocket m_socket;
    QSocketNotifier* m_pNotifier = nullptr;
};
