#include "ReadOnlyView.h"

#include <sys/mount.h>
#include <unistd.h>

CReadOnlyView::CReadOnlyView(const std::filesystem::path& folder) : m_folder(folder) {
    m_view = folder.string() + "-ro";
    std::filesystem::create_directory(m_view);
    m_bMade = mount(folder.c_str(), m_view.c_str(), nullptr, MS_BIND, nullptr) == 0;
    if (m_bMade && mount(nullptr, m_view.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
        Release();
    if (m_bMade)
        std::filesystem::current_path(m_view);
}

CReadOnlyView::~CReadOnlyView() {
    Release();
}

void CReadOnlyView::Release() {
    if (m_bMade) {
        std::filesystem::current_path(m_folder);
        umount2(m_view.c_str(), MNT_DETACH);
        m_bMade = false;
    }
    std::error_code error;
    std::filesystem::remove(m_view, error);
}

bool CanRevokeWriteRights() {
    return ::geteuid() != 0;
}
