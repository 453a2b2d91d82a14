#pragma once

// The one check of every value before it is sent, whoever sends it: the
// window's Set, every velmora-cli command, a snapshot and a batch plan. It
// returns codes; each face says them in its own words.

#include "ControllerSettings.h"

#include <string>
#include <vector>

namespace session {

enum class ESettingProblem {
    None,
    MaskNotContiguous,    // the ones of the mask are not one run from the top
    MaskPrefixOutOfRange, // a contiguous mask outside /1 to /30 leaves no room for hosts
    AddressUnspecified,   // 0.0.0.0
    AddressBroadcast,     // 255.255.255.255
    AddressMulticast,     // 224.0.0.0 to 239.255.255.255
    AddressReserved,      // 240.0.0.0 and above
    AddressIsNetwork,     // the subnet's own network address
    AddressIsSubnetBroadcast,
    GatewayOutsideSubnet,  // a gateway other than 0.0.0.0 (none) outside the controller's subnet
    LockTimeWithLevelLock, // a lock time is set on a controller whose lock is a level lock
};

// One problem and the field it is about (controller_ip, mask, gateway, lock_time).
struct SSettingIssue {
    std::string strField;
    ESettingProblem eProblem = ESettingProblem::None;
    bool operator==(const SSettingIssue&) const = default;
};

ESettingProblem CheckMask(const codec::Ip4& mask);
// A unicast host address, whatever the subnet (loopback is one).
ESettingProblem CheckHostAddress(const codec::Ip4& address);
// A host address of its subnet: CheckHostAddress, and neither the subnet's
// network nor its broadcast address. The mask must pass CheckMask.
ESettingProblem CheckHostInSubnet(const codec::Ip4& address, const codec::Ip4& mask);
// A gateway of 0.0.0.0 means none; any other must lie in the controller's subnet.
ESettingProblem CheckGateway(const codec::Ip4& gateway, const codec::Ip4& address, const codec::Ip4& mask);

// Every rule over the settings a Set would send. `bLockTimeSet` tells that
// the lock time is being set (typed, or a plan's or the command line's value):
// only then is a level lock a problem, as a level lock has no time to keep.
// The gateway rule comes last, so a face that only asks about it can tell it apart.
std::vector<SSettingIssue> CheckSettings(const SControllerSettings& settings, bool bLockTimeSet);

// The largest stored microphone value (a byte of 1 to 254, stored zero-based):
// whatever a read gives, a snapshot holds and a write sends back.
inline constexpr int kMaxStoredMicValue = 253;

} // namespace session
