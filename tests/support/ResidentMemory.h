#pragma once

// This process's resident memory in kB ("VmRSS"), or its peak ("VmHWM"), as
// the benchmarks measure it; 0 where the system does not say.

#include <fstream>
#include <string>

inline long ResidentKb(const char* pszField = "VmRSS:") {
    std::ifstream status("/proc/self/status");
    std::string strLine;
    while (std::getline(status, strLine))
        if (strLine.rfind(pszField, 0) == 0)
            return std::stol(strLine.substr(std::string(pszField).size()));
    return 0;
}
