#pragma once

// The IPv4 addresses of this machine's network interfaces, and the address
// ranges a controller scan covers by default. One platform file per system
// gathers the interfaces; the rest is plain arithmetic.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct SInterfaceAddress {
    std::string strName;
    std::array<std::uint8_t, 4> address{}; // first octet first
    int nPrefix = 32;                      // length of the network part
    bool bLoopback = false;
};

// The IPv4 addresses of the interfaces that are up, in the system's order.
// Empty when the system refuses the question.
std::vector<SInterfaceAddress> LocalIpv4Interfaces();

// Prefixes shorter than this are narrowed to a /24 around the interface's
// address: the whole subnet would be more than a scan may cover.
inline constexpr int kWidestScanPrefix = 20;

// The subnet of each interface as CIDR text ("192.168.1.0/24"), joined by
// commas, each block once. Loopback and prefixes shorter than the widest
// scan become the /24 around the address; /31 and /32 stay as they are.
std::string DefaultScanRanges(const std::vector<SInterfaceAddress>& interfaces);
