#pragma once

// Command line of velmora-controller.

#include "Peer.h"
#include "codec/Address.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace controller {

struct Options {
    std::optional<codec::Ip4> address; // overrides the address kept in the state file
    std::uint16_t port = 1550;
    std::string statePath = "controller-state.json";
    std::string logPath;    // empty: standard error
    int moveAfterMs = 3000; // an address change without device settings after it takes effect this late
    Faults faults;
    bool help = false;
};

// Parses the arguments after the program name. On failure returns false and
// puts a one-line reason into error.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

// The text printed by --help.
std::string UsageText();

} // namespace controller
