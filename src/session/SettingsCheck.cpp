#include "SettingsCheck.h"

#include <cstdint>

namespace session {
namespace {

std::uint32_t Value(const codec::Ip4& a) {
    return (std::uint32_t(a[0]) << 24) | (std::uint32_t(a[1]) << 16) | (std::uint32_t(a[2]) << 8) | a[3];
}

int PrefixLength(std::uint32_t nMask) {
    int n = 0;
    while (n < 32 && (nMask & (0x80000000u >> n)))
        ++n;
    return n;
}

} // namespace

ESettingProblem CheckMask(const codec::Ip4& mask) {
    const std::uint32_t n = Value(mask);
    const int nPrefix = PrefixLength(n);
    const std::uint32_t nContiguous = nPrefix == 0 ? 0 : 0xFFFFFFFFu << (32 - nPrefix);
    if (n != nContiguous)
        return ESettingProblem::MaskNotContiguous;
    if (nPrefix < 1 || nPrefix > 30)
        return ESettingProblem::MaskPrefixOutOfRange;
    return ESettingProblem::None;
}

ESettingProblem CheckHostAddress(const codec::Ip4& address) {
    const std::uint32_t n = Value(address);
    if (n == 0)
        return ESettingProblem::AddressUnspecified;
    if (n == 0xFFFFFFFFu)
        return ESettingProblem::AddressBroadcast;
    if (address[0] >= 224 && address[0] <= 239)
        return ESettingProblem::AddressMulticast;
    if (address[0] >= 240)
        return ESettingProblem::AddressReserved;
    return ESettingProblem::None;
}

ESettingProblem CheckHostInSubnet(const codec::Ip4& address, const codec::Ip4& mask) {
    if (const ESettingProblem e = CheckHostAddress(address); e != ESettingProblem::None)
        return e;
    const std::uint32_t nMask = Value(mask);
    const std::uint32_t nHost = Value(address) & ~nMask;
    if (nHost == 0)
        return ESettingProblem::AddressIsNetwork;
    if (nHost == ~nMask)
        return ESettingProblem::AddressIsSubnetBroadcast;
    return ESettingProblem::None;
}

ESettingProblem CheckGateway(const codec::Ip4& gateway, const codec::Ip4& address, const codec::Ip4& mask) {
    if (Value(gateway) == 0)
        return ESettingProblem::None;
    const std::uint32_t nMask = Value(mask);
    if ((Value(gateway) & nMask) != (Value(address) & nMask))
        return ESettingProblem::GatewayOutsideSubnet;
    return ESettingProblem::None;
}

std::vector<SSettingIssue> CheckSettings(const SControllerSettings& s, bool bLockTimeSet) {
    std::vector<SSettingIssue> issues;
    const ESettingProblem eMask = CheckMask(s.maskIp);
    if (eMask != ESettingProblem::None)
        issues.push_back({"mask", eMask});
    const ESettingProblem eAddress = eMask == ESettingProblem::None
                                         ? CheckHostInSubnet(s.controllerIp, s.maskIp)
                                         : CheckHostAddress(s.controllerIp);
    if (eAddress != ESettingProblem::None)
        issues.push_back({"controller_ip", eAddress});
    if (bLockTimeSet && s.nLockType == 1)
        issues.push_back({"lock_time", ESettingProblem::LockTimeWithLevelLock});
    if (eMask == ESettingProblem::None && eAddress == ESettingProblem::None &&
        CheckGateway(s.gatewayIp, s.controllerIp, s.maskIp) != ESettingProblem::None)
        issues.push_back({"gateway", ESettingProblem::GatewayOutsideSubnet});
    return issues;
}

} // namespace session
