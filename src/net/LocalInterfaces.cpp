#include "LocalInterfaces.h"

#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

std::vector<SInterfaceAddress> LocalIpv4Interfaces() {
    std::vector<SInterfaceAddress> result;
    ifaddrs* pList = nullptr;
    if (::getifaddrs(&pList) != 0)
        return result;
    for (const ifaddrs* p = pList; p; p = p->ifa_next) {
        if (!p->ifa_addr || p->ifa_addr->sa_family != AF_INET || !(p->ifa_flags & IFF_UP))
            continue;
        SInterfaceAddress item;
        item.strName = p->ifa_name ? p->ifa_name : "";
        item.bLoopback = (p->ifa_flags & IFF_LOOPBACK) != 0;
        const auto* pAddress = reinterpret_cast<const sockaddr_in*>(p->ifa_addr);
        std::memcpy(item.address.data(), &pAddress->sin_addr.s_addr, 4);
        item.nPrefix = 32;
        if (p->ifa_netmask) {
            const auto* pMask = reinterpret_cast<const sockaddr_in*>(p->ifa_netmask);
            std::uint32_t nMask = ntohl(pMask->sin_addr.s_addr);
            int nBits = 0;
            while (nMask & 0x80000000u) {
                ++nBits;
                nMask <<= 1;
            }
            item.nPrefix = nBits;
        }
        result.push_back(item);
    }
    ::freeifaddrs(pList);
    return result;
}
