// The value rules every face uses before it sends: masks, controller
// addresses, gateways and the lock time.

#include "SettingsCheck.h"

#include <gtest/gtest.h>

namespace {

using codec::Ip4;
using session::ESettingProblem;
using session::SSettingIssue;

struct SCase {
    const char* name;
    Ip4 controller, mask, gateway;
    int nLockType;
    bool bLockTimeSet;
    std::vector<SSettingIssue> expected;
};

session::SControllerSettings Settings(const SCase& c) {
    session::SControllerSettings s;
    s.controllerIp = c.controller;
    s.maskIp = c.mask;
    s.gatewayIp = c.gateway;
    s.nLockType = c.nLockType;
    return s;
}

class SettingsCheckTest : public ::testing::TestWithParam<SCase> {};

TEST_P(SettingsCheckTest, FindsEveryBrokenRule) {
    EXPECT_EQ(session::CheckSettings(Settings(GetParam()), GetParam().bLockTimeSet), GetParam().expected);
}

const Ip4 k24{255, 255, 255, 0};
const Ip4 kHost{192, 168, 1, 50};
const Ip4 kGw{192, 168, 1, 1};

INSTANTIATE_TEST_SUITE_P(
    Rules, SettingsCheckTest,
    ::testing::Values(
        SCase{"ordinary", kHost, k24, kGw, 0, true, {}},
        SCase{"loopback_emulator", {127, 63, 1, 10}, {255, 0, 0, 0}, {127, 0, 0, 1}, 0, false, {}},
        SCase{"no_gateway", kHost, k24, {0, 0, 0, 0}, 0, false, {}},
        SCase{"slash1", {10, 0, 0, 1}, {128, 0, 0, 0}, {0, 0, 0, 0}, 0, false, {}},
        SCase{"slash30", {10, 0, 0, 1}, {255, 255, 255, 252}, {10, 0, 0, 2}, 0, false, {}},
        SCase{"mask_holes",
              kHost,
              {255, 0, 255, 0},
              kGw,
              0,
              false,
              {{"mask", ESettingProblem::MaskNotContiguous}}},
        SCase{"mask_zero",
              kHost,
              {0, 0, 0, 0},
              kGw,
              0,
              false,
              {{"mask", ESettingProblem::MaskPrefixOutOfRange}}},
        SCase{"mask_31",
              kHost,
              {255, 255, 255, 254},
              kGw,
              0,
              false,
              {{"mask", ESettingProblem::MaskPrefixOutOfRange}}},
        SCase{"mask_32",
              kHost,
              {255, 255, 255, 255},
              kGw,
              0,
              false,
              {{"mask", ESettingProblem::MaskPrefixOutOfRange}}},
        SCase{"unspecified",
              {0, 0, 0, 0},
              k24,
              {0, 0, 0, 0},
              0,
              false,
              {{"controller_ip", ESettingProblem::AddressUnspecified}}},
        SCase{"broadcast",
              {255, 255, 255, 255},
              k24,
              {0, 0, 0, 0},
              0,
              false,
              {{"controller_ip", ESettingProblem::AddressBroadcast}}},
        SCase{"multicast",
              {224, 0, 0, 1},
              k24,
              {0, 0, 0, 0},
              0,
              false,
              {{"controller_ip", ESettingProblem::AddressMulticast}}},
        SCase{"reserved",
              {240, 0, 0, 1},
              k24,
              {0, 0, 0, 0},
              0,
              false,
              {{"controller_ip", ESettingProblem::AddressReserved}}},
        SCase{"network",
              {192, 168, 1, 0},
              k24,
              kGw,
              0,
              false,
              {{"controller_ip", ESettingProblem::AddressIsNetwork}}},
        SCase{"subnet_broadcast",
              {192, 168, 1, 255},
              k24,
              kGw,
              0,
              false,
              {{"controller_ip", ESettingProblem::AddressIsSubnetBroadcast}}},
        SCase{"gateway_outside",
              kHost,
              k24,
              {192, 168, 2, 1},
              0,
              false,
              {{"gateway", ESettingProblem::GatewayOutsideSubnet}}},
        SCase{"gateway_inside_wider_mask", kHost, {255, 255, 0, 0}, {192, 168, 2, 1}, 0, false, {}},
        SCase{"lock_time_level",
              kHost,
              k24,
              kGw,
              1,
              true,
              {{"lock_time", ESettingProblem::LockTimeWithLevelLock}}},
        SCase{"level_kept", kHost, k24, kGw, 1, false, {}},
        SCase{"several",
              {224, 0, 0, 1},
              {255, 0, 255, 0},
              kGw,
              1,
              true,
              {{"mask", ESettingProblem::MaskNotContiguous},
               {"controller_ip", ESettingProblem::AddressMulticast},
               {"lock_time", ESettingProblem::LockTimeWithLevelLock}}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
