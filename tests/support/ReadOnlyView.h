#pragma once

// A folder seen through a read-only view, made the working folder while the
// view lasts, so the store's writes and its medium check meet a read-only
// medium. On Linux a read-only bind mount (needs the right to mount); where no
// such view can be made, Made() is false and the test skips.
#include <filesystem>

class CReadOnlyView {
public:
    explicit CReadOnlyView(const std::filesystem::path& folder);
    ~CReadOnlyView();
    CReadOnlyView(const CReadOnlyView&) = delete;
    CReadOnlyView& operator=(const CReadOnlyView&) = delete;

    bool Made() const { return m_bMade; }

private:
    void Release();

    std::filesystem::path m_folder, m_view;
    bool m_bMade = false;
};

// Whether taking the write bits off a folder keeps this process from writing
// there: not for root, and not on Windows (which keeps no such bits on folders).
bool CanRevokeWriteRights();
