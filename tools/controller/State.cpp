#include "State.h"

#include "AtomicFile.h"
#include "Json.h"
#include "codec/CodeBundle.h"
#include "codec/Hex.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace controller {
namespace {

std::vector<std::uint8_t> BundleBytes(const std::string& bundle) {
    std::vector<std::uint8_t> bytes(208, 0);
    for (std::size_t i = 0; i < bytes.size() && 2 * i + 1 < bundle.size(); ++i)
        bytes[i] = codec::HexPairToByte(bundle.data() + 2 * i);
    return bytes;
}

std::string HexText(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

bool ReadByte(const JsonValue& v, std::uint8_t& out) {
    if (!v.IsNumber())
        return false;
    const double d = std::get<double>(v.value);
    if (!(d >= 0 && d <= 255) || d != static_cast<int>(d))
        return false;
    out = static_cast<std::uint8_t>(d);
    return true;
}

bool ReadAddress(const JsonValue& v, codec::Ip4& out) {
    if (!v.IsString())
        return false;
    const std::string& text = std::get<std::string>(v.value);
    // Only plain dotted quads are stored; anything else is a damaged file.
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &tail) != 4 || a > 255 || b > 255 ||
        c > 255 || d > 255)
        return false;
    out = codec::AddressToBytes(text);
    return true;
}

template <std::size_t N> bool ReadBytes(const JsonValue& v, std::array<std::uint8_t, N>& out) {
    const JsonArray* a = v.Array();
    if (!a || a->size() != N)
        return false;
    for (std::size_t i = 0; i < N; ++i) {
        if (!ReadByte((*a)[i], out[i]))
            return false;
    }
    return true;
}

bool ReadBundle(const JsonValue& v, std::vector<std::uint8_t>& out) {
    if (!v.IsString())
        return false;
    const std::string& text = std::get<std::string>(v.value);
    if (text.size() != 416 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    out = BundleBytes(text);
    return true;
}

std::string Quad(const codec::Ip4& a) {
    return JsonQuote(codec::BytesToAddress(a));
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
    std::ostringstream out;
    out << "{\n";
    out << "  \"address\": " << Quad(s.address) << ",\n";
    out << "  \"server\": " << Quad(s.server) << ",\n";
    out << "  \"mask\": " << Quad(s.mask) << ",\n";
    out << "  \"gateway\": " << Quad(s.gateway) << ",\n";
    out << "  \"oneKey\": [" << int(s.oneKey[0]) << ", " << int(s.oneKey[1]) << "],\n";
    out << "  \"lockType\": " << int(s.lockType) << ",\n";
    out << "  \"lockTime\": " << int(s.lockTime) << ",\n";
    out << "  \"dome\": " << int(s.dome) << ",\n";
    out << "  \"microphone\": " << int(s.microphone) << ",\n";
    out << "  \"keyboard\": " << int(s.keyboard) << ",\n";
    out << "  \"mics\": [";
    for (std::size_t i = 0; i < s.mics.size(); ++i) {
        const auto& m = s.mics[i];
        out << (i ? ",\n    [" : "\n    [") << int(m[0]) << ", " << int(m[1]) << ", " << int(m[2]) << ", "
            << int(m[3]) << "]";
    }
    out << "\n  ],\n";
    out << "  \"projector1\": " << JsonQuote(HexText(s.projectors[0])) << ",\n";
    out << "  \"projector2\": " << JsonQuote(HexText(s.projectors[1])) << "\n";
    out << "}\n";
    return out.str();
}

bool ParseState(std::string_view json, ControllerState& state, std::string& error) {
    JsonValue root;
    if (!ParseJson(json, root, error))
        return false;
    const JsonObject* object = root.Object();
    if (!object) {
        error = "the state is not a JSON object";
        return false;
    }
    ControllerState s = state;
    bool ok = true;
    auto field = [&](const char* key, auto&& read) {
        const auto it = object->find(key);
        if (it == object->end() || !ok)
            return;
        if (!read(it->second)) {
            ok = false;
            error = std::string("bad value for \"") + key + "\"";
        }
    };
    field("address", [&](const JsonValue& v) { return ReadAddress(v, s.address); });
    field("server", [&](const JsonValue& v) { return ReadAddress(v, s.server); });
    field("mask", [&](const JsonValue& v) { return ReadAddress(v, s.mask); });
    field("gateway", [&](const JsonValue& v) { return ReadAddress(v, s.gateway); });
    field("oneKey", [&](const JsonValue& v) { return ReadBytes(v, s.oneKey); });
    field("lockType", [&](const JsonValue& v) { return ReadByte(v, s.lockType); });
    field("lockTime", [&](const JsonValue& v) { return ReadByte(v, s.lockTime); });
    field("dome", [&](const JsonValue& v) { return ReadByte(v, s.dome); });
    field("microphone", [&](const JsonValue& v) { return ReadByte(v, s.microphone); });
    field("keyboard", [&](const JsonValue& v) { return ReadByte(v, s.keyboard); });
    field("mics", [&](const JsonValue& v) {
        const JsonArray* a = v.Array();
        if (!a || a->size() != s.mics.size())
            return false;
        for (std::size_t i = 0; i < s.mics.size(); ++i) {
            if (!ReadBytes((*a)[i], s.mics[i]))
                return false;
        }
        return true;
    });
    field("projector1", [&](const JsonValue& v) { return ReadBundle(v, s.projectors[0]); });
    field("projector2", [&](const JsonValue& v) { return ReadBundle(v, s.projectors[1]); });
    if (!ok)
        return false;
    state = s;
    return true;
}

bool LoadState(const std::string& path, ControllerState& state, bool& exists, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    exists = static_cast<bool>(in);
    if (!exists)
        return true;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    if (!ParseState(text.str(), state, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool SaveState(const std::string& path, const ControllerState& state, std::string& error) {
    return WriteReplacing(path, FormatState(state), error);
}

} // namespace controller
