#include "ReadOnlyView.h"

// Windows has no read-only view of a folder that a test could make without
// an administrator (and Wine none at all): the tests that need one skip.
CReadOnlyView::CReadOnlyView(const std::filesystem::path& folder) : m_folder(folder) {}

CReadOnlyView::~CReadOnlyView() = default;

void CReadOnlyView::Release() {}

bool CanRevokeWriteRights() {
    return false;
}
