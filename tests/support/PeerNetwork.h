#pragma once

// Emulated controllers in the test's own process: a datagram is handed to
// the controller at its address (which moves when a setting says so), and
// its answers come back, those of one reply kind lost on request.

#include "Peer.h"
#include "codec/Address.h"
#include "codec/Requests.h"

#include <vector>

namespace testsupport {

// The answers of the controllers at `to`; replies of kind nLose (1 to 4) are lost, 0 loses none.
inline std::vector<codec::Datagram> CarryToPeers(std::vector<controller::Peer>& peers,
                                                 const codec::Datagram& bytes, const codec::Ip4& to,
                                                 int nLose = 0) {
    std::vector<codec::Datagram> answers;
    for (controller::Peer& peer : peers) {
        if (peer.Current() != to)
            continue;
        const controller::Handling h = peer.Handle(bytes.data(), bytes.size(), {});
        if (h.moveNow)
            peer.Move();
        for (const codec::Datagram& reply : h.replies)
            if (nLose == 0 || reply.size() <= 13 || reply[13] != nLose)
                answers.push_back(reply);
    }
    return answers;
}

} // namespace testsupport
