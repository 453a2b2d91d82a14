#pragma once

// The system firewall's view of the controllers' replies: the current
// network profile and whether an inbound rule lets UDP datagrams in on the
// port. Only Windows has a firewall this program can ask; elsewhere the
// check is not made.

#include "DiagnosisProbes.h"

#include <cstdint>

namespace net {

SFirewallCheck CheckFirewall(std::uint16_t nPort);

} // namespace net
