#include "LocalInterfaces.h"

// Winsock before the helper API, which uses its address types.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <cstring>
#include <vector>

std::vector<SInterfaceAddress> LocalIpv4Interfaces() {
    std::vector<SInterfaceAddress> result;
    const ULONG nFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG nSize = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG nResult = ERROR_BUFFER_OVERFLOW;
    // The list can grow between the two calls; a few tries are enough.
    for (int nTry = 0; nTry < 3 && nResult == ERROR_BUFFER_OVERFLOW; ++nTry) {
        buffer.resize(nSize);
        nResult = ::GetAdaptersAddresses(AF_INET, nFlags, nullptr,
                                         reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &nSize);
    }
    if (nResult != NO_ERROR)
        return result;
    for (auto* pAdapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); pAdapter;
         pAdapter = pAdapter->Next) {
        if (pAdapter->OperStatus != IfOperStatusUp)
            continue;
        for (auto* pUnicast = pAdapter->FirstUnicastAddress; pUnicast; pUnicast = pUnicast->Next) {
            const SOCKADDR* pAddress = pUnicast->Address.lpSockaddr;
            if (!pAddress || pAddress->sa_family != AF_INET)
                continue;
            SInterfaceAddress item;
            item.strName = pAdapter->AdapterName ? pAdapter->AdapterName : "";
            item.bLoopback = pAdapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            const auto* pIn = reinterpret_cast<const sockaddr_in*>(pAddress);
            std::memcpy(item.address.data(), &pIn->sin_addr.s_addr, 4);
            item.nPrefix = pUnicast->OnLinkPrefixLength;
            result.push_back(item);
        }
    }
    return result;
}
