#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "Utf8Path.h"

// The one way the programs reach files. Paths are std::filesystem::path built
// from UTF-8 (PathFromUtf8), so a Chinese folder or file name is ordinary
// input on every platform: on Windows these calls use the wide functions,
// never the narrow ones that go through the ANSI code page. Errors come back
// as UTF-8 text naming the file.
namespace base {

using ::PathFromUtf8;
using ::Utf8FromPath;

// fopen's mode letters ("rb", "wb", ...); nullptr when the file cannot be opened.
std::FILE* OpenFile(const std::filesystem::path& path, const char* pszMode);

// Makes what was written to an open file reach the disk.
bool SyncFile(std::FILE* pFile);

// Reads the whole file.
// *pCause, when given, gets the kind of a failure.
bool ReadFile(const std::filesystem::path& path, std::string& strText, std::string& strError,
              struct SFileError* pCause = nullptr);

// Writes the text to a temporary file beside `path` and puts it in the path's
// place in one step, so a reader or a crash sees the old file or the new one,
// never a part. With bSync the text reaches the disk before the swap.
// *pCause, when given, gets the kind of a failure.
bool WriteFileReplacing(const std::filesystem::path& path, std::string_view text, bool bSync,
                        std::string& strError, struct SFileError* pCause = nullptr);

// Puts `from` in the place of `to`, replacing an existing `to` (which the
// narrow rename of Windows refuses); with bSync the swap reaches the disk
// before this returns.
bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to, std::string& strError,
                   bool bSync = true);

// Removes a file; false when it was there and stays.
bool RemoveFile(const std::filesystem::path& path);

bool CreateFolders(const std::filesystem::path& folder, std::string& strError,
                   struct SFileError* pCause = nullptr);

// The files of a folder (not its sub-folders) whose names end with
// `extension` (all files when empty), sorted by name; empty when the folder
// cannot be read.
std::vector<std::filesystem::path> ListFolder(const std::filesystem::path& folder,
                                              std::string_view extension = {});

// True when the path names an existing file that is not a folder.
bool IsExistingFile(const std::filesystem::path& path);

// True when both paths name one existing file, however they are spelt
// (another name, a link, another case on a case-blind system).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// A name beside `path` that no other running program picks: for a file being
// written before it replaces `path`.
std::filesystem::path TemporaryBeside(const std::filesystem::path& path);

// The text of the system's last error (errno, or GetLastError on Windows).
std::string LastErrorText();

// The common reasons a file cannot be used, for a face that words them in
// its own language; the engine's reasons for a database are among them.
enum class EFileError : unsigned char {
    None,
    NotFound,
    AccessDenied,
    ReadOnly,
    InUse,
    DiskFull,
    NotADatabase,
    Damaged,
    Other,
};

// A failure of the file layer: its kind and the system's own (English) text.
struct SFileError {
    EFileError eKind = EFileError::None;
    std::string strSystem;
};

// The system's last error (errno, or GetLastError on Windows) as a kind and
// its text.
SFileError LastFileError();
// The kind and text of an error a std::filesystem call reported.
SFileError FileErrorOf(const std::error_code& error);

} // namespace base
