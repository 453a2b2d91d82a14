#pragma once

// Command line of velmora-controller.

#include "Peer.h"
#include "codec/Address.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace controller {

// A fault option that applies to some addresses only (--fault RANGE:NAME[=VALUE]).
struct ScopedFault {
    std::vector<codec::Ip4> addresses;
    std::string name, value;
};

struct Options {
    std::optional<codec::Ip4> address; // overrides the address kept in the state file
    std::vector<codec::Ip4> addresses; // many controllers in one process, one state file each
    std::string stateDir;              // where those state files are kept
    std::uint16_t port = 1550;
    std::string statePath = "controller-state.json";
    std::string logPath;    // empty: standard error
    int moveAfterMs = 3000; // an address change without device settings after it takes effect this late
    Faults faults;          // for every address
    std::vector<ScopedFault> scoped; // for some, applied after `faults`
    bool inUserFolder = false;       // relative state and log paths are taken in the user's own folder
    bool help = false;

    // The faults of one controller, by the address it was started on.
    Faults FaultsFor(const codec::Ip4& address) const;
};

// Sets one fault by its option name without dashes ("silent", "drop", …)
// and its value text ("" for the switches). False with a reason when the
// name or the value is not one the command line accepts.
bool ApplyFault(Faults& faults, const std::string& name, const std::string& value, std::string& error);

// Parses the arguments after the program name. On failure returns false and
// puts a one-line reason into error.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

// The text printed by --help.
std::string UsageText();

} // namespace controller
