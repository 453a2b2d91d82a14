#include "BatchResults.h"

#include "Csv.h"
#include "FileSystem.h"

namespace session {

bool CBatchResults::Write(bool bSync) {
    std::string text = "\xEF\xBB\xBF" + CsvLine(kResultColumns);
    for (const SBatchRoom& r : m_rooms)
        text += CsvLine(ResultLine(r, m_pfnWords));
    if (!base::WriteFileReplacing(m_path, text, bSync, m_strError))
        return false;
    m_strError.clear();
    return true;
}

} // namespace session
