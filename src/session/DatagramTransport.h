#pragma once

#include "codec/Address.h"
#include "codec/Requests.h"

namespace session {

// Where the engine's datagrams go. The owner implements it on its socket (a
// Qt socket in the window, a plain UDP socket in the command line, a
// recorder in tests) and adds the controller's port. Sending never blocks
// and its result is not examined: silence is noticed by the waits.
class IDatagramTransport {
public:
    virtual ~IDatagramTransport() = default;
    virtual void SendTo(const codec::Datagram& datagram, const codec::Ip4& address) = 0;
};

} // namespace session
