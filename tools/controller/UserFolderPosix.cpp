#include "UserFolder.h"

#include <cstdlib>

namespace controller {

std::filesystem::path UserFolder() {
    if (const char* pszState = std::getenv("XDG_STATE_HOME"); pszState && *pszState)
        return std::filesystem::path(pszState) / "velmora";
    if (const char* pszHome = std::getenv("HOME"); pszHome && *pszHome)
        return std::filesystem::path(pszHome) / ".local" / "state" / "velmora";
    return {};
}

} // namespace controller
