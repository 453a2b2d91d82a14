#include "MicTable.h"

#include "Database.h"
#include "Statements.h"

namespace session {

int MicRowOf(const std::string& strHtnum) {
    if (strHtnum.empty() || strHtnum.size() > 2)
        return -1;
    int n = 0;
    for (char c : strHtnum) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    // "05" is not a key the tool ever writes.
    if (strHtnum.size() == 2 && strHtnum[0] == '0')
        return -1;
    return n < static_cast<int>(codec::kMicEntries) ? n : -1;
}

SMicTableLoad LoadMicTable() {
    SMicTableLoad load;
    try {
        auto pRecords = CDatabase::OpenRead(stmt::SelectMicTableForSet(), CursorType::Dynamic);
        load.bEmpty = pRecords->IsEmpty();
        while (!pRecords->AtEnd()) {
            const int nRow = MicRowOf(pRecords->FieldOr("htnum", std::string()));
            if (nRow >= 0) {
                SMicEntry& e = load.rows[static_cast<std::size_t>(nRow)];
                e.strChannel = pRecords->FieldOr("tdnum", "-1");
                e.strDome = pRecords->FieldOr("qjnum", "-1");
                e.strPreset = pRecords->FieldOr("bitnum", "-1");
                e.strType = pRecords->FieldOr("tyjnum", "-1");
            }
            pRecords->MoveNext();
        }
    } catch (const CDatabaseError& error) {
        load.strError = DatabaseErrorText(error.Code(), error.Text());
    }
    return load;
}

std::string StoreMicTable(const std::array<SMicEntry, codec::kMicEntries>& rows) {
    std::string strFirstError;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SMicEntry& e = rows[i];
        try {
            CDatabase::ExecuteWrite(
                stmt::StoreMicRow(e.strChannel, e.strDome, e.strPreset, e.strType, std::to_string(i)));
        } catch (const CDatabaseError& error) {
            if (strFirstError.empty())
                strFirstError = DatabaseErrorText(error.Code(), error.Text());
        }
    }
    return strFirstError;
}

} // namespace session
