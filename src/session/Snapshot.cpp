#include "Snapshot.h"

#include "FileSystem.h"
#include "SettingsCheck.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <stdexcept>

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "1.0"
#endif

namespace session {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

// A field that is missing or wrong: the message names it.
struct SFieldError : std::runtime_error {
    SFieldError(ESnapshotError e, std::string field, const std::string& strText)
        : std::runtime_error(strText), eKind(e), strField(std::move(field)) {}
    ESnapshotError eKind;
    std::string strField;
};

[[noreturn]] void Fail(const std::string& strField, const std::string& strWhat,
                       ESnapshotError eKind = ESnapshotError::BadField) {
    throw SFieldError(eKind, strField, strField + ": " + strWhat);
}

const char* const kPartKeys[kReplyParts] = {"projector1", "projector2", "network", "devices"};

// Two-item lists as snapshot words.
struct SChoice {
    const char* first;
    const char* second;
};
constexpr SChoice kLockTypes{"pulse", "level"};
constexpr SChoice kDomes{"hikvision", "sony"};
constexpr SChoice kMicSystems{"daisy-chain", "point-to-point"};
constexpr SChoice kKeyboards{"ordinary", "wireless-touch"};

ordered_json ChoiceJson(int nIndex, SChoice choice) {
    return nIndex == 0   ? ordered_json(choice.first)
           : nIndex == 1 ? ordered_json(choice.second)
                         : ordered_json(nullptr);
}

const json& Member(const json& object, const char* pszKey, const std::string& strPath) {
    const auto it = object.find(pszKey);
    if (it == object.end())
        Fail(strPath + pszKey, "missing");
    return *it;
}

std::string String(const json& v, const std::string& strField) {
    if (!v.is_string())
        Fail(strField, "must be a text");
    return v.get<std::string>();
}

codec::Ip4 Address(const json& v, const std::string& strField) {
    const std::string text = String(v, strField);
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &tail) != 4 || a > 255 || b > 255 ||
        c > 255 || d > 255 || text.find_first_not_of("0123456789.") != std::string::npos)
        Fail(strField, "\"" + text + "\" is not an IPv4 address a.b.c.d");
    return codec::Ip4{static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                      static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(d)};
}

int Choice(const json& v, SChoice choice, const std::string& strField) {
    if (v.is_null())
        return -1;
    const std::string text = String(v, strField);
    if (text == choice.first)
        return 0;
    if (text == choice.second)
        return 1;
    Fail(strField,
         "\"" + text + "\" is not one of \"" + choice.first + "\", \"" + choice.second + "\", null");
}

int LockTime(const json& v, const std::string& strField) {
    if (v.is_null())
        return -1;
    const std::string text = String(v, strField);
    if (text == "0.5")
        return 0;
    if (!text.empty() && text.size() <= 3 && text.find_first_not_of("0123456789") == std::string::npos &&
        text[0] != '0') {
        const int n = std::stoi(text);
        if (n >= 1 && n <= 120)
            return n;
    }
    Fail(strField, "\"" + text + "\" is not a lock time (\"0.5\" or \"1\" to \"120\")");
}

std::string MicNumber(const json& v, int nMax, const std::string& strField) {
    if (!v.is_number_integer())
        Fail(strField, "must be a whole number");
    const long long n = v.get<long long>();
    if (n < -1 || n > nMax)
        Fail(strField, std::to_string(n) + " is out of range (-1 to " + std::to_string(nMax) + ")");
    return std::to_string(n);
}

int MicNumberOf(const std::string& text) {
    try {
        return std::stoi(text);
    } catch (...) {
        return -1;
    }
}

SProjectorSlot Projector(const json& v, const std::string& strPath) {
    if (!v.is_object())
        Fail(strPath, "must be an object with \"model\" and \"code\"");
    SProjectorSlot slot;
    slot.strModel = String(Member(v, "model", strPath + "."), strPath + ".model");
    slot.strCode = String(Member(v, "code", strPath + "."), strPath + ".code");
    if (slot.strCode.size() % 2 != 0 || slot.strCode.size() > 2 * codec::kBundleBytes ||
        slot.strCode.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        Fail(strPath + ".code",
             "must be hexadecimal byte pairs, at most " + std::to_string(codec::kBundleBytes) + " bytes");
    return slot;
}

} // namespace

std::string ProgramVersion() {
    return std::string("Velmora ") + VELMORA_VERSION;
}

std::string UtcNowText() {
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string FormatSnapshot(const SSnapshot& snapshot) {
    const SControllerSettings& s = snapshot.read.settings;
    ordered_json received = ordered_json::object();
    for (std::size_t i = 0; i < kReplyParts; ++i)
        received[kPartKeys[i]] = snapshot.read.received[i];
    ordered_json mics = ordered_json::array();
    for (const SMicEntry& m : s.mics)
        mics.push_back({{"camera_type", MicNumberOf(m.strType)},
                        {"channel", MicNumberOf(m.strChannel)},
                        {"dome", MicNumberOf(m.strDome)},
                        {"preset", MicNumberOf(m.strPreset)}});
    ordered_json settings = {
        {"controller_ip", codec::BytesToAddress(s.controllerIp)},
        {"server_ip", codec::BytesToAddress(s.serverIp)},
        {"mask", codec::BytesToAddress(s.maskIp)},
        {"gateway", codec::BytesToAddress(s.gatewayIp)},
        {"one_key", s.bOneKey},
        {"lock_type", ChoiceJson(s.nLockType, kLockTypes)},
        {"lock_time", s.nLockTime < 0 ? ordered_json(nullptr) : ordered_json(LockTimeText(s.nLockTime))},
        {"dome", ChoiceJson(s.nDome, kDomes)},
        {"microphone", ChoiceJson(s.nMic, kMicSystems)},
        {"keyboard", ChoiceJson(s.nKeyboard, kKeyboards)},
        {"projector1", {{"model", s.projectors[0].strModel}, {"code", s.projectors[0].strCode}}},
        {"projector2", {{"model", s.projectors[1].strModel}, {"code", s.projectors[1].strCode}}},
        {"microphones", mics},
    };
    ordered_json root = ordered_json::object();
    root["format"] = kSnapshotFormat;
    root["version"] = kSnapshotVersion;
    root["program"] = snapshot.strProgram;
    root["time"] = snapshot.strTime;
    root["address"] = codec::BytesToAddress(s.initialIp);
    root["received"] = received;
    root["settings"] = settings;
    return root.dump(2) + "\n";
}

bool ParseSnapshot(std::string_view text, SSnapshot& out, std::string& strError) {
    SSnapshotError error;
    if (ParseSnapshot(text, out, error))
        return true;
    strError = error.strText;
    return false;
}

bool ParseSnapshot(std::string_view text, SSnapshot& out, SSnapshotError& error) {
    json root;
    try {
        root = json::parse(text.begin(), text.end());
    } catch (const json::parse_error& e) {
        error = {ESnapshotError::Corrupt,
                 {},
                 "not a valid snapshot: the JSON is corrupt or cut short (at byte " + std::to_string(e.byte) +
                     ")",
                 {}};
        return false;
    }
    try {
        if (!root.is_object())
            Fail("(file)", "must be a JSON object", ESnapshotError::NotSnapshot);
        const json& format = Member(root, "format", "");
        if (!format.is_string() || format.get<std::string>() != kSnapshotFormat)
            Fail("format", std::string("must be \"") + kSnapshotFormat + "\"", ESnapshotError::NotSnapshot);
        const json& version = Member(root, "version", "");
        if (!version.is_number_integer())
            Fail("version", "must be a whole number", ESnapshotError::NotSnapshot);
        if (version.get<long long>() != kSnapshotVersion)
            Fail("version",
                 std::to_string(version.get<long long>()) + " is not supported (this program reads " +
                     std::to_string(kSnapshotVersion) + ")",
                 ESnapshotError::Version);
        SSnapshot snapshot;
        snapshot.strProgram = String(Member(root, "program", ""), "program");
        snapshot.strTime = String(Member(root, "time", ""), "time");
        SControllerSettings& s = snapshot.read.settings;
        s.initialIp = Address(Member(root, "address", ""), "address");
        const json& received = Member(root, "received", "");
        if (!received.is_object())
            Fail("received", "must be an object");
        for (std::size_t i = 0; i < kReplyParts; ++i) {
            const std::string strField = std::string("received.") + kPartKeys[i];
            const json& v = Member(received, kPartKeys[i], "received.");
            if (!v.is_boolean())
                Fail(strField, "must be true or false");
            snapshot.read.received[i] = v.get<bool>();
        }
        const json& settings = Member(root, "settings", "");
        if (!settings.is_object())
            Fail("settings", "must be an object");
        const std::string p = "settings.";
        s.controllerIp = Address(Member(settings, "controller_ip", p), p + "controller_ip");
        s.serverIp = Address(Member(settings, "server_ip", p), p + "server_ip");
        s.maskIp = Address(Member(settings, "mask", p), p + "mask");
        s.gatewayIp = Address(Member(settings, "gateway", p), p + "gateway");
        const json& oneKey = Member(settings, "one_key", p);
        if (!oneKey.is_boolean())
            Fail(p + "one_key", "must be true or false");
        s.bOneKey = oneKey.get<bool>();
        s.nLockType = Choice(Member(settings, "lock_type", p), kLockTypes, p + "lock_type");
        s.nLockTime = LockTime(Member(settings, "lock_time", p), p + "lock_time");
        s.nDome = Choice(Member(settings, "dome", p), kDomes, p + "dome");
        s.nMic = Choice(Member(settings, "microphone", p), kMicSystems, p + "microphone");
        s.nKeyboard = Choice(Member(settings, "keyboard", p), kKeyboards, p + "keyboard");
        s.projectors[0] = Projector(Member(settings, "projector1", p), p + "projector1");
        s.projectors[1] = Projector(Member(settings, "projector2", p), p + "projector2");
        const json& mics = Member(settings, "microphones", p);
        if (!mics.is_array() || mics.size() != codec::kMicEntries)
            Fail(p + "microphones", "must be a list of " + std::to_string(codec::kMicEntries) + " entries");
        for (std::size_t i = 0; i < codec::kMicEntries; ++i) {
            const std::string q = p + "microphones[" + std::to_string(i) + "].";
            const json& m = mics[i];
            if (!m.is_object())
                Fail(q.substr(0, q.size() - 1), "must be an object");
            // What a read can give, a snapshot holds: the list items the
            // window offers are fewer, but a controller may hold any byte.
            SMicEntry& e = s.mics[i];
            e.strType = MicNumber(Member(m, "camera_type", q), kMaxStoredMicValue, q + "camera_type");
            e.strChannel = MicNumber(Member(m, "channel", q), kMaxStoredMicValue, q + "channel");
            e.strDome = MicNumber(Member(m, "dome", q), kMaxStoredMicValue, q + "dome");
            e.strPreset = MicNumber(Member(m, "preset", q), kMaxStoredMicValue, q + "preset");
        }
        out = std::move(snapshot);
        return true;
    } catch (const SFieldError& e) {
        error = {e.eKind, e.strField, e.what(), {}};
        return false;
    }
}

bool LoadSnapshot(const std::filesystem::path& path, SSnapshot& out, SSnapshotError& error) {
    std::string strText;
    if (!base::ReadFile(path, strText, error.strText, &error.file)) {
        error.eKind = ESnapshotError::File;
        return false;
    }
    if (!ParseSnapshot(strText, out, error)) {
        error.strText = base::Utf8FromPath(path) + ": " + error.strText;
        return false;
    }
    return true;
}

bool LoadSnapshot(const std::filesystem::path& path, SSnapshot& out, std::string& strError) {
    SSnapshotError error;
    if (LoadSnapshot(path, out, error))
        return true;
    strError = error.strText;
    return false;
}

bool SaveSnapshot(const std::filesystem::path& path, const SSnapshot& snapshot, std::string& strError,
                  base::SFileError* pCause) {
    return base::WriteFileReplacing(path, FormatSnapshot(snapshot), true, strError, pCause);
}

} // namespace session
