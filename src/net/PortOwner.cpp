#include "PortOwner.h"

std::string CPortOwner::HolderFromText(std::string strText) {
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r' || strText.back() == '\0'))
        strText.pop_back();
    return strText.empty() ? "another Velmora program" : strText;
}
