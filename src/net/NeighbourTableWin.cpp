#include "NeighbourTable.h"

// Winsock before the helper API, which uses its address types.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>
#include <netioapi.h>

#include <cstdio>
#include <cstring>

namespace net {

std::optional<std::string> NeighbourLinkAddress(const Ip4& address) {
    MIB_IPNET_TABLE2* pTable = nullptr;
    if (::GetIpNetTable2(AF_INET, &pTable) != NO_ERROR || !pTable)
        return std::nullopt;
    std::optional<std::string> result;
    for (ULONG i = 0; i < pTable->NumEntries && !result; ++i) {
        const MIB_IPNET_ROW2& row = pTable->Table[i];
        if (std::memcmp(&row.Address.Ipv4.sin_addr, address.data(), 4) != 0)
            continue;
        if (row.State == NlnsUnreachable || row.State == NlnsIncomplete || row.PhysicalAddressLength == 0)
            continue;
        std::string strText;
        for (ULONG n = 0; n < row.PhysicalAddressLength; ++n) {
            char part[4];
            std::snprintf(part, sizeof part, "%02x", row.PhysicalAddress[n]);
            strText += (n ? ":" : "") + std::string(part);
        }
        result = strText;
    }
    ::FreeMibTable(pTable);
    return result;
}

} // namespace net
