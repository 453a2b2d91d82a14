#pragma once

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class QSocketNotifier;

// The UDP socket through which the main window talks to controllers. It binds
// every local address on its port with SO_REUSEADDR (so a controller emulator
// can share the port on an address of its own) and reports each datagram that
// can be read on the user-interface thread.
class CControllerSocket : public QObject {
    Q_OBJECT
public:
    using ReceiveHandler = std::function<void(CControllerSocket&)>;

    explicit CControllerSocket(ReceiveHandler onReceive, QObject* pParent = nullptr);
    ~CControllerSocket() override;

    // Binds 0.0.0.0:nPort (0 picks a free port). False when the bind fails.
    bool Create(std::uint16_t nPort);
    bool IsOpen() const { return m_nSocket != kNoSocket; }
    std::uint16_t LocalPort() const;

    // Sends to the dotted address; the result is the byte count or -1.
    long SendTo(const void* pData, std::size_t nLength, std::uint16_t nPort, const std::string& strAddress);
    // Receives one datagram; the result is its length, 0, or -1 on an error.
    long ReceiveFrom(void* pBuffer, std::size_t nCapacity, std::string* pSender = nullptr,
                     std::uint16_t* pSenderPort = nullptr);

    // Whether a plain bind (no address sharing) of 0.0.0.0:nPort succeeds,
    // i.e. no other program holds the port.
    static bool PortIsFree(std::uint16_t nPort);

    // Starts the platform's socket layer (Winsock on Windows); false when it
    // cannot be started. Safe to call more than once.
    static bool InitSocketLayer();

private:
    // A socket descriptor or Windows SOCKET handle; -1 (INVALID_SOCKET) when closed.
    static constexpr qintptr kNoSocket = -1;

    void OnReadable();
    // Takes the bound, non-blocking socket and reports what arrives on it.
    void Attach(qintptr nSocket);
    static void CloseSocket(qintptr nSocket);

    ReceiveHandler m_onReceive;
    qintptr m_nSocket = kNoSocket;
    QSocketNotifier* m_pNotifier = nullptr;
};
