#include "MicTable.h"

int MicRowOfHtnum(std::string_view htnum) {
    if (htnum.empty() || htnum.size() > 2 || (htnum.size() == 2 && htnum[0] == '0'))
        return -1;
    int nRow = 0;
    for (char c : htnum) {
        if (c < '0' || c > '9')
            return -1;
        nRow = nRow * 10 + (c - '0');
    }
    return nRow < kMicTableRows ? nRow : -1;
}
