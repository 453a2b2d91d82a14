#include "BatchResults.h"

#include "Csv.h"
#include "FileSystem.h"

namespace session {

bool CBatchResults::Write(bool bSync) {
    std::vector<std::string> header = kResultColumns;
    if (m_bDiagnosis)
        header.push_back(kDiagnosisColumn);
    std::string text = "\xEF\xBB\xBF" + CsvLine(header);
    for (const SBatchRoom& r : m_rooms) {
        // A line carried over from an earlier file keeps its diagnosis; it
        // goes when this file has no such column.
        std::vector<std::string> line = ResultLine(r, m_pfnWords);
        std::string strDiagnosis = line.size() > kResultColumns.size() ? line[kResultColumns.size()] : "";
        if (!r.strDiagnosis.empty())
            strDiagnosis = r.strDiagnosis;
        line.resize(kResultColumns.size());
        if (m_bDiagnosis)
            line.push_back(strDiagnosis);
        text += CsvLine(line);
    }
    if (!base::WriteFileReplacing(m_path, text, bSync, m_strError, &m_cause))
        return false;
    m_strError.clear();
    m_cause = {};
    return true;
}

} // namespace session
