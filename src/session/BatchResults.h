#pragma once

// The results file of a batch: created (and so found writable) before the
// first datagram, and replaced whole as rooms end, so it is a complete CSV
// at every moment. It starts with a byte-order mark, as the library
// export does, so a spreadsheet reads Chinese room names as UTF-8.

#include "BatchPlan.h"
#include "FileSystem.h"

#include <filesystem>
#include <string>
#include <vector>

namespace session {

class CBatchResults {
public:
    // words: the face's own text of the differences column (default: the command line's).
    CBatchResults(std::filesystem::path path, const std::vector<SBatchRoom>& rooms,
                  DifferencesWordsFn words = {})
        : m_path(std::move(path)), m_rooms(rooms), m_pfnWords(std::move(words)) {}

    // Writes every room's line; false with Error() when the file cannot be
    // replaced. With bSync the file is on disk when this returns (the run's
    // last write); without, a crash may lose the newest lines.
    bool Write(bool bSync = false);
    // From now on the file has the diagnosis column: each room's strDiagnosis,
    // or the one its carried-over line had.
    void AddDiagnosisColumn() { m_bDiagnosis = true; }
    bool Ok() const { return m_strError.empty(); }
    const std::string& Error() const { return m_strError; }
    // The kind of the last failure, for a face that words it itself.
    const base::SFileError& Cause() const { return m_cause; }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    const std::vector<SBatchRoom>& m_rooms;
    DifferencesWordsFn m_pfnWords;
    std::string m_strError;
    base::SFileError m_cause;
    bool m_bDiagnosis = false;
};

} // namespace session
