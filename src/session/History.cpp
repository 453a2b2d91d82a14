#include "History.h"

#include "FileSystem.h"
#include "codec/AddressRange.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <regex>

namespace session {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

const char* const kPartKeys[kReplyParts] = {"projector1", "projector2", "network", "devices"};
constexpr const char* kBeforeWrite = "before-write";
constexpr const char* kBeforeRestore = "before-restore";

// The store's file names: "20261208T224005.123Z.json", or with "_N" before
// ".json" when two backups fall in one millisecond.
const std::regex& NamePattern() {
    static const std::regex pattern(R"((\d{4})(\d{2})(\d{2})T(\d{2})(\d{2})(\d{2})\.(\d{3})Z(_\d+)?\.json)");
    return pattern;
}

// The present UTC time as a file stem ("20261208T224005.123Z").
std::string StemNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[40];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &tm);
    char full[48];
    std::snprintf(full, sizeof full, "%s.%03dZ", text, static_cast<int>(ms));
    return full;
}

// "2026-12-08T22:40:05.123Z" from a name of the pattern; empty for any other name.
std::string TimeOfName(const std::string& strName) {
    std::smatch m;
    if (!std::regex_match(strName, m, NamePattern()))
        return {};
    return m[1].str() + "-" + m[2].str() + "-" + m[3].str() + "T" + m[4].str() + ":" + m[5].str() + ":" +
           m[6].str() + "." + m[7].str() + "Z";
}

bool AddressOf(const json& value, codec::Ip4& address) {
    return value.is_string() && codec::ParseDottedQuad(value.get<std::string>(), address);
}

// The entry of a file of the pattern; nothing when it is no readable backup,
// or when its text lacks `needle` (a quick sieve before the JSON is parsed).
std::optional<SBackupEntry> ReadEntry(const std::filesystem::path& path, std::string_view needle = {}) {
    SBackupEntry entry;
    entry.path = path;
    entry.strTime = TimeOfName(base::Utf8FromPath(path.filename()));
    if (entry.strTime.empty())
        return std::nullopt;
    std::string strText, strError;
    if (!base::ReadFile(path, strText, strError) || strText.find(needle) == std::string::npos)
        return std::nullopt;
    const json root = json::parse(strText, nullptr, false);
    if (!root.is_object() || !AddressOf(root.value("address", json()), entry.addressBefore))
        return std::nullopt;
    entry.addressAfter = entry.addressBefore;
    if (const auto received = root.find("received"); received != root.end() && received->is_object())
        for (std::size_t i = 0; i < kReplyParts; ++i)
            entry.received[i] = received->value(kPartKeys[i], false);
    // A backup from before the store recorded these is an ordinary one that left the address alone.
    const auto backup = root.find("backup");
    if (backup != root.end() && backup->is_object()) {
        const json time = backup->value("time", json());
        if (time.is_string() && !time.get<std::string>().empty())
            entry.strTime = time.get<std::string>();
        AddressOf(backup->value("address_after", json()), entry.addressAfter);
        if (backup->value("kind", std::string()) == kBeforeRestore)
            entry.eKind = EBackupKind::BeforeRestore;
    }
    return entry;
}

bool Older(const SBackupEntry& a, const SBackupEntry& b) {
    return a.strTime != b.strTime ? a.strTime < b.strTime : a.path < b.path;
}

} // namespace

CHistory::CHistory(std::filesystem::path folder, std::size_t nKeep)
    : m_root(std::move(folder) / "history"), m_nKeep(std::max<std::size_t>(nKeep, 1)) {}

std::filesystem::path CHistory::Folder(const codec::Ip4& address) const {
    return m_root / codec::BytesToAddress(address);
}

bool CHistory::IsBackupName(const std::string& strName) {
    return std::regex_match(strName, NamePattern());
}

bool CHistory::Save(const SBackup& backup, std::string& strError, std::filesystem::path* pSaved,
                    base::SFileError* pCause) {
    const codec::Ip4& address = backup.snapshot.read.settings.initialIp;
    const std::filesystem::path folder = Folder(address);
    std::string strFolderError;
    if (!base::CreateFolders(folder, strFolderError, pCause)) {
        strError = "cannot save the history: " + strFolderError;
        return false;
    }
    const std::string strStem = StemNow();
    std::filesystem::path path = folder / (strStem + ".json");
    std::error_code error;
    for (int n = 1; std::filesystem::exists(path, error); ++n)
        path = folder / (strStem + "_" + std::to_string(n) + ".json");

    ordered_json root = ordered_json::parse(FormatSnapshot(backup.snapshot));
    ordered_json lacks = ordered_json::array();
    for (std::size_t i = 0; i < kReplyParts; ++i)
        if (!backup.snapshot.read.received[i])
            lacks.push_back(kPartKeys[i]);
    root["backup"] = {
        {"time", TimeOfName(base::Utf8FromPath(path.filename()))},
        {"kind", backup.eKind == EBackupKind::BeforeRestore ? kBeforeRestore : kBeforeWrite},
        {"address_before", codec::BytesToAddress(address)},
        {"address_after",
         codec::BytesToAddress(backup.addressAfter == codec::Ip4{} ? address : backup.addressAfter)},
        {"lacks", lacks},
    };
    std::string strSaveError;
    if (!base::WriteFileReplacing(path, root.dump(2) + "\n", true, strSaveError, pCause)) {
        strError = "cannot save the history: " + strSaveError;
        return false;
    }
    if (pSaved)
        *pSaved = path;
    std::vector<SBackupEntry> entries = FolderEntries(folder);
    std::size_t nExcess = entries.size() > m_nKeep ? entries.size() - m_nKeep : 0;
    for (const SBackupEntry& entry : entries) {
        if (nExcess == 0)
            break;
        if (entry.path == path)
            continue;
        base::RemoveFile(entry.path);
        --nExcess;
    }
    return true;
}

std::vector<SBackupEntry> CHistory::FolderEntries(const std::filesystem::path& folder,
                                                  std::string_view needle) const {
    std::vector<SBackupEntry> entries;
    for (const std::filesystem::path& file : base::ListFolder(folder, ".json"))
        if (auto entry = ReadEntry(file, needle))
            entries.push_back(std::move(*entry));
    std::sort(entries.begin(), entries.end(), Older);
    return entries;
}

std::vector<SBackupEntry> CHistory::Entries(const codec::Ip4& address) const {
    std::vector<SBackupEntry> entries = FolderEntries(Folder(address));
    // Backups taken at another address of a write that moved the controller here.
    std::error_code error;
    const std::string strOwn = codec::BytesToAddress(address);
    // Only files that name the address are read whole: a building's history is thousands of files.
    const std::string strNeedle = "\"" + strOwn + "\"";
    for (std::filesystem::directory_iterator it(m_root, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code kindError;
        if (!it->is_directory(kindError) || base::Utf8FromPath(it->path().filename()) == strOwn)
            continue;
        for (SBackupEntry& entry : FolderEntries(it->path(), strNeedle))
            if (entry.addressAfter == address)
                entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(), Older);
    return entries;
}

std::vector<std::filesystem::path> CHistory::List(const codec::Ip4& address) const {
    std::vector<std::filesystem::path> files;
    for (const SBackupEntry& entry : Entries(address))
        files.push_back(entry.path);
    return files;
}

std::optional<SBackupEntry> CHistory::Latest(const codec::Ip4& address) const {
    const std::vector<SBackupEntry> entries = Entries(address);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->eKind != EBackupKind::BeforeRestore)
            return *it;
    return std::nullopt;
}

std::optional<SBackupEntry> CHistory::Find(const std::filesystem::path& file) const {
    return ReadEntry(file);
}

} // namespace session
