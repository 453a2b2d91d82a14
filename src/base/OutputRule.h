#pragma once

#include <filesystem>
#include <vector>

// The one rule every writer of both programs follows before it writes a
// file (or sends anything that a write would follow): an output never
// replaces the library in use, an SQLite database, or a file the same
// command or dialog reads. Files are compared as files, not as spellings, so
// another path, "sub/../", a symbolic or hard link, or another letter case
// on a case-blind system are all caught. The rule returns a code; each face
// words it.
namespace base {

enum class EOutputRefusal {
    None,
    LibraryInUse, // the output is the data.mdb the program is using
    Database,     // the output is an SQLite database
    Input,        // the output is a file the same command or dialog reads
    Folder,       // the output names a folder
};

class COutputRule {
public:
    // `library` is the data.mdb in use (empty when there is none).
    explicit COutputRule(std::filesystem::path library = {});

    // A file the command or dialog reads; adding one that does not exist is harmless.
    COutputRule& AddInput(const std::filesystem::path& input);

    // Why `output` may not be written; None when it may. A file that does not
    // exist yet is never refused.
    EOutputRefusal Check(const std::filesystem::path& output) const;

private:
    std::filesystem::path m_library;
    std::vector<std::filesystem::path> m_inputs;
};

// Whether the file starts with the header of an SQLite 3 database.
bool IsSqliteFile(const std::filesystem::path& path);

} // namespace base
