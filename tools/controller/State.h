#pragma once

// Everything the emulated controller remembers, and its state file.

#include "codec/Address.h"
#include "codec/Layout.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace controller {

struct ControllerState {
    codec::Ip4 address{127, 0, 0, 2}; // where it listens and what its replies carry
    codec::Ip4 server{127, 0, 0, 1};
    codec::Ip4 mask{255, 0, 0, 0};
    codec::Ip4 gateway{127, 0, 0, 1};
    std::array<std::uint8_t, 2> oneKey{0xA0, 0xA0}; // bytes 36 and 37 as last set
    std::uint8_t lockType = 1;                      // byte 38
    std::uint8_t lockTime = 5;                      // byte 39
    std::uint8_t dome = 1, microphone = 1, keyboard = 1;
    std::array<std::array<std::uint8_t, codec::kMicEntryLength>, codec::kMicEntries>
        mics{};                                          // type, channel, dome, preset
    std::array<std::vector<std::uint8_t>, 2> projectors; // codec::kBundleBytes each

    bool operator==(const ControllerState&) const = default;
};

// A fresh controller: loopback addresses, pulse lock of 5 s, first items of
// every type, no microphone linkage, and both projectors set to the first
// model of the shipped projector library so that a first read names it.
ControllerState DefaultState(const codec::Ip4& address);

// The state as a JSON document, and back. A key that is missing keeps the
// value it had in `state`; a key with a value of the wrong shape is an error.
std::string FormatState(const ControllerState& state);
bool ParseState(std::string_view json, ControllerState& state, std::string& error);

// Reads a state file. Returns false with an error when it exists but cannot
// be read or parsed; `exists` tells whether there was a file at all.
bool LoadState(const std::string& path, ControllerState& state, bool& exists, std::string& error);

// Writes a temporary file beside `path`, flushes it to disk (unless `sync` is
// off) and renames it over `path`, so an interrupted write leaves the old
// file whole.
bool SaveState(const std::string& path, const ControllerState& state, std::string& error, bool sync = true);

} // namespace controller
