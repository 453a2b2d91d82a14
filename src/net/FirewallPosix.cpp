#include "Firewall.h"

namespace net {

SFirewallCheck CheckFirewall(std::uint16_t) {
    return {};
}

} // namespace net
