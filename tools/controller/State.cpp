#include "State.h"
#include "AsciiText.h"

#include "FileSystem.h"
#include "OutputRule.h"

#include "codec/AddressRange.h"
#include "codec/CodeBundle.h"

#include "codec/Hex.h"
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace controller {
namespace {

std::vector<std::uint8_t> BundleBytes(const std::string& bundle) {
    std::vector<std::uint8_t> bytes(codec::kBundleBytes, 0);
    for (std::size_t i = 0; i < bytes.size() && 2 * i + 1 < bundle.size(); ++i)
        bytes[i] = codec::HexPairToByte(bundle.data() + 2 * i);
    return bytes;
}

std::string HexText(const std::vector<std::uint8_t>& bytes) {
    return base::HexText(bytes.data(), bytes.size(), true);
}

using nlohmann::json;

bool ReadByte(const json& v, std::uint8_t& out) {
    if (!v.is_number_integer())
        return false;
    const long long n = v.get<long long>();
    if (n < 0 || n > 255)
        return false;
    out = static_cast<std::uint8_t>(n);
    return true;
}

bool ReadAddress(const json& v, codec::Ip4& out) {
    // Only plain dotted quads are stored; anything else is a damaged file.
    return v.is_string() && codec::ParseDottedQuad(v.get<std::string>(), out);
}

template <std::size_t N> bool ReadBytes(const json& v, std::array<std::uint8_t, N>& out) {
    if (!v.is_array() || v.size() != N)
        return false;
    for (std::size_t i = 0; i < N; ++i) {
        if (!ReadByte(v[i], out[i]))
            return false;
    }
    return true;
}

bool ReadBundle(const json& v, std::vector<std::uint8_t>& out) {
    if (!v.is_string())
        return false;
    const std::string text = v.get<std::string>();
    if (text.size() != 2 * codec::kBundleBytes ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    out = BundleBytes(text);
    return true;
}

json Bytes(const std::uint8_t* data, std::size_t n) {
    json a = json::array();
    for (std::size_t i = 0; i < n; ++i)
        a.push_back(int(data[i]));
    return a;
}

} // namespace

ControllerState DefaultState(const codec::Ip4& address) {
    ControllerState state;
    state.address = address;
    const codec::ProjectorCodes codes{
        "9600", "无", "534F555243452034310D", "534F555243452031310D", "505752204F4E0D", "505752204F46460D"};
    const auto bundle = codec::BuildCodeBundle(codes).bundle;
    state.projectors = {BundleBytes(bundle), BundleBytes(bundle)};
    return state;
}

std::string FormatState(const ControllerState& s) {
    json mics = json::array();
    for (const auto& m : s.mics)
        mics.push_back(Bytes(m.data(), m.size()));
    json root = json::object();
    root["address"] = codec::BytesToAddress(s.address);
    root["server"] = codec::BytesToAddress(s.server);
    root["mask"] = codec::BytesToAddress(s.mask);
    root["gateway"] = codec::BytesToAddress(s.gateway);
    root["oneKey"] = Bytes(s.oneKey.data(), s.oneKey.size());
    root["lockType"] = int(s.lockType);
    root["lockTime"] = int(s.lockTime);
    root["dome"] = int(s.dome);
    root["microphone"] = int(s.microphone);
    root["keyboard"] = int(s.keyboard);
    root["mics"] = mics;
    root["projector1"] = HexText(s.projectors[0]);
    root["projector2"] = HexText(s.projectors[1]);
    return root.dump(2) + "\n";
}

bool ParseState(std::string_view text, ControllerState& state, std::string& error) {
    json root;
    try {
        root = json::parse(text.begin(), text.end());
    } catch (const json::parse_error& e) {
        error = std::string("not JSON: ") + e.what();
        return false;
    }
    if (!root.is_object()) {
        error = "the state is not a JSON object";
        return false;
    }
    ControllerState s = state;
    bool ok = true;
    auto field = [&](const char* key, auto&& read) {
        const auto it = root.find(key);
        if (it == root.end() || !ok)
            return;
        if (!read(*it)) {
            ok = false;
            error = std::string("bad value for \"") + key + "\"";
        }
    };
    field("address", [&](const json& v) { return ReadAddress(v, s.address); });
    field("server", [&](const json& v) { return ReadAddress(v, s.server); });
    field("mask", [&](const json& v) { return ReadAddress(v, s.mask); });
    field("gateway", [&](const json& v) { return ReadAddress(v, s.gateway); });
    field("oneKey", [&](const json& v) { return ReadBytes(v, s.oneKey); });
    field("lockType", [&](const json& v) { return ReadByte(v, s.lockType); });
    field("lockTime", [&](const json& v) { return ReadByte(v, s.lockTime); });
    field("dome", [&](const json& v) { return ReadByte(v, s.dome); });
    field("microphone", [&](const json& v) { return ReadByte(v, s.microphone); });
    field("keyboard", [&](const json& v) { return ReadByte(v, s.keyboard); });
    field("mics", [&](const json& v) {
        if (!v.is_array() || v.size() != s.mics.size())
            return false;
        for (std::size_t i = 0; i < s.mics.size(); ++i) {
            if (!ReadBytes(v[i], s.mics[i]))
                return false;
        }
        return true;
    });
    field("projector1", [&](const json& v) { return ReadBundle(v, s.projectors[0]); });
    field("projector2", [&](const json& v) { return ReadBundle(v, s.projectors[1]); });
    if (!ok)
        return false;
    state = s;
    return true;
}

bool LoadState(const std::string& path, ControllerState& state, bool& exists, std::string& error) {
    std::error_code missing;
    exists = std::filesystem::exists(base::PathFromUtf8(path), missing);
    if (!exists)
        return true;
    std::string text;
    if (!base::ReadFile(base::PathFromUtf8(path), text, error))
        return false;
    if (!ParseState(text, state, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool SaveState(const std::string& path, const ControllerState& state, std::string& error, bool sync) {
    // The state file is the emulator's own, read and rewritten; it never
    // replaces a database (a data.mdb named by mistake) or a folder.
    if (base::COutputRule().Check(base::PathFromUtf8(path)) != base::EOutputRefusal::None) {
        error = "refusing to write " + path + ": it is a database or a folder; nothing was written";
        return false;
    }
    return base::WriteFileReplacing(base::PathFromUtf8(path), FormatState(state), sync, error);
}

} // namespace controller
