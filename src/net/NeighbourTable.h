#pragma once

// The system's neighbour (ARP) table: whether a device answered on the wire
// at an address. One platform file per system reads it.

#include "udp/UdpSocket.h"

#include <optional>
#include <string>

namespace net {

// The link-layer address of a complete entry for the address, as
// "00:11:22:33:44:55"; nothing when the table has none (or cannot be read).
std::optional<std::string> NeighbourLinkAddress(const Ip4& address);

} // namespace net
