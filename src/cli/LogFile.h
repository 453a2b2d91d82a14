#pragma once

// --log FILE: every datagram a command sends and receives, one line each,
// written as it happens. The file passes the output rule first: it never
// replaces data.mdb, a database or a file the command reads.

#include "TrafficLog.h"

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

class CLogFile {
public:
    CLogFile() = default;
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Opens strPath (nothing to do when it is empty) after the output rule
    // with `strDb` as the library and `inputs` as the command's own files;
    // on a refusal or a failure prints why and returns the exit status.
    int Open(const std::string& strPath, const std::string& strDb, const std::vector<std::string>& inputs);
    bool IsOpen() const { return m_pFile != nullptr; }
    session::CTrafficLog& Log() { return m_log; }
    // Puts what was written so far on disk's way (after each round of the loop).
    void Flush();

private:
    session::CTrafficLog m_log{1};
    std::FILE* m_pFile = nullptr;
};

} // namespace cli
