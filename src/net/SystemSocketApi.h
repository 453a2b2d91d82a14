#pragma once

#include "SocketApi.h"

// The real socket calls (POSIX) and a monotonic millisecond clock.
class CSystemSocketApi : public CSocketApi {
public:
    // The one instance the program uses; it holds no state.
    static CSystemSocketApi& Instance();

    TSocket OpenIcmp(EIcmpSocket eKind) override;
    bool Resolve(const std::string& strHost, std::uint32_t& nAddress) override;
    int SendTo(TSocket sock, const std::uint8_t* pData, std::size_t nSize, std::uint32_t nAddress) override;
    int Select(TSocket sock, std::chrono::milliseconds timeout) override;
    int ReceiveFrom(TSocket sock, std::uint8_t* pBuffer, std::size_t nSize, std::uint32_t& nSource,
                    int& nTtl) override;
    int Close(TSocket sock) override;
    long LastError() const override;
    std::uint32_t TickCount() override;
};
