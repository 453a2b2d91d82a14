#pragma once

// The controller addresses that exchanges are using right now, shared by
// every engine of a program (the window's, the scan's, the batch's), so that
// one controller is in one exchange at a time whichever face started it: an
// exchange whose address is held waits its turn in its own engine.

#include "codec/Address.h"

#include <map>

namespace session {

class CAddressLocks {
public:
    bool Held(const codec::Ip4& address) const { return m_holders.count(address) != 0; }
    // Takes the address for `pHolder` (an engine); false when another holds it.
    bool Take(const codec::Ip4& address, const void* pHolder) {
        const auto [it, bInserted] = m_holders.emplace(address, pHolder);
        return bInserted || it->second == pHolder;
    }
    // Gives the address back, when `pHolder` holds it.
    void Release(const codec::Ip4& address, const void* pHolder) {
        const auto it = m_holders.find(address);
        if (it != m_holders.end() && it->second == pHolder)
            m_holders.erase(it);
    }

private:
    std::map<codec::Ip4, const void*> m_holders;
};

} // namespace session
