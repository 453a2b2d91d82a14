#include "TempFolder.h"

#include <random>
#include <stdexcept>

std::filesystem::path MakeTempFolder(const std::string& strPrefix) {
    static std::mt19937_64 s_random{std::random_device{}()};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int nTry = 0; nTry < 100; ++nTry) {
        std::string strName = strPrefix;
        for (int i = 0; i < 8; ++i)
            strName += kDigits[s_random() % (sizeof kDigits - 1)];
        const std::filesystem::path folder = base / strName;
        std::error_code error;
        if (std::filesystem::create_directory(folder, error))
            return folder;
    }
    throw std::runtime_error("cannot make a temporary folder under " + base.string());
}
