#include "NeighbourTable.h"

#include <fstream>
#include <sstream>

namespace net {

// /proc/net/arp lists "IP address  HW type  Flags  HW address  Mask  Device";
// flags 0x0 is an entry still waiting for its answer.
std::optional<std::string> NeighbourLinkAddress(const Ip4& address) {
    std::ifstream table("/proc/net/arp");
    const std::string strWanted = CUdpSocket::AddressText(address);
    std::string strLine;
    std::getline(table, strLine); // the heading
    while (std::getline(table, strLine)) {
        std::istringstream fields(strLine);
        std::string strIp, strType, strFlags, strLink;
        if (!(fields >> strIp >> strType >> strFlags >> strLink) || strIp != strWanted)
            continue;
        if (std::stoul(strFlags, nullptr, 16) == 0 || strLink == "00:00:00:00:00:00")
            continue;
        return strLink;
    }
    return std::nullopt;
}

} // namespace net
