#include "LocalInterfaces.h"

#include <algorithm>

std::string DefaultScanRanges(const std::vector<SInterfaceAddress>& interfaces) {
    std::vector<std::string> blocks;
    for (const SInterfaceAddress& item : interfaces) {
        int nPrefix = std::clamp(item.nPrefix, 0, 32);
        if (item.bLoopback || nPrefix < kWidestScanPrefix)
            nPrefix = 24;
        const std::uint32_t nAddress = (std::uint32_t(item.address[0]) << 24) |
                                       (std::uint32_t(item.address[1]) << 16) |
                                       (std::uint32_t(item.address[2]) << 8) | item.address[3];
        const std::uint32_t nMask = nPrefix == 0 ? 0 : ~std::uint32_t{0} << (32 - nPrefix);
        const std::uint32_t nNetwork = nAddress & nMask;
        const std::string strBlock = std::to_string(nNetwork >> 24) + '.' +
                                     std::to_string((nNetwork >> 16) & 0xFF) + '.' +
                                     std::to_string((nNetwork >> 8) & 0xFF) + '.' +
                                     std::to_string(nNetwork & 0xFF) + '/' + std::to_string(nPrefix);
        if (std::find(blocks.begin(), blocks.end(), strBlock) == blocks.end())
            blocks.push_back(strBlock);
    }
    std::string strText;
    for (const std::string& strBlock : blocks)
        strText += (strText.empty() ? "" : ",") + strBlock;
    return strText;
}
