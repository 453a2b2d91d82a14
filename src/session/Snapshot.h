#pragma once

// Snapshot files: what one read of a controller gave, with when, where and
// by which program, as versioned JSON (see docs/snapshot.md).

#include "ControllerSettings.h"
#include "FileSystem.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace session {

inline constexpr const char* kSnapshotFormat = "velmora-snapshot";
inline constexpr int kSnapshotVersion = 1;

struct SSnapshot {
    SReadResult read;       // settings and which replies they came from
    std::string strTime;    // UTC, "2026-12-08T22:40:05Z"
    std::string strProgram; // "Velmora 1.0"
};

// Why a snapshot file could not be used: a kind, the field it names (for a
// bad field) and the English text the command line prints.
enum class ESnapshotError : unsigned char {
    None,
    File,        // the file could not be read or written (see file)
    Corrupt,     // not JSON, or cut short
    NotSnapshot, // JSON, but not this program's snapshot format
    Version,     // a snapshot version this program does not read
    BadField,    // strField is missing or holds a value out of its range
};
struct SSnapshotError {
    ESnapshotError eKind = ESnapshotError::None;
    std::string strField; // "settings.lock_time"
    std::string strText;  // the whole reason in English
    base::SFileError file;
};

// The program's name and version as snapshots record it.
std::string ProgramVersion();
// The present UTC time as a snapshot records it.
std::string UtcNowText();

std::string FormatSnapshot(const SSnapshot& snapshot);
// Refuses text that is not JSON, is cut short, has another format or
// version, lacks a field or holds a value out of its range; the error names
// the field ("settings.lock_time: …"). `out` is untouched on failure.
bool ParseSnapshot(std::string_view text, SSnapshot& out, SSnapshotError& error);
bool ParseSnapshot(std::string_view text, SSnapshot& out, std::string& strError);

bool LoadSnapshot(const std::filesystem::path& path, SSnapshot& out, SSnapshotError& error);
bool LoadSnapshot(const std::filesystem::path& path, SSnapshot& out, std::string& strError);
// Writes a temporary file beside `path` and renames it over, so a failed
// write never leaves half a snapshot.
bool SaveSnapshot(const std::filesystem::path& path, const SSnapshot& snapshot, std::string& strError,
                  base::SFileError* pCause = nullptr);

} // namespace session
