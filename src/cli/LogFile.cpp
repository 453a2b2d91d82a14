#include "LogFile.h"

#include "Output.h"
#include "Runner.h"

#include "FileSystem.h"
#include "Utf8Path.h"

namespace cli {

CLogFile::~CLogFile() {
    m_log.SetSink({});
    if (m_pFile)
        std::fclose(m_pFile);
}

int CLogFile::Open(const std::string& strPath, const std::string& strDb,
                   const std::vector<std::string>& inputs) {
    if (strPath.empty())
        return kExitOk;
    if (!OutputAllowed(strPath, strDb, inputs))
        return kExitInput;
    m_pFile = base::OpenFile(PathFromUtf8(strPath), "wb");
    if (!m_pFile) {
        std::fprintf(stderr, "velmora-cli: cannot write the log %s: %s; nothing was sent\n", strPath.c_str(),
                     base::LastErrorText().c_str());
        return kExitEnvironment;
    }
    // Only the file keeps the lines: the store holds the newest one alone.
    m_log.SetSink([this](const session::STrafficEntry& entry) {
        const std::string line = session::TrafficLine(entry) + "\n";
        std::fwrite(line.data(), 1, line.size(), m_pFile);
    });
    return kExitOk;
}

void CLogFile::Flush() {
    if (m_pFile)
        std::fflush(m_pFile);
}

} // namespace cli
