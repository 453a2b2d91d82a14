#pragma once

#include "History.h"
#include "SessionEngine.h"

#include <QObject>
#include <QThreadPool>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

// Saves the backups of a batch run side by side on worker threads, off the
// window's thread: one after another on it they held back the later rooms'
// Sets (and the window). A few threads already share the disk's flushes;
// more only cost memory. Each save is told back on the window's thread,
// and only to the run it was made for.
class CBackupSaver : public QObject {
public:
    using SavedFn = std::function<void(session::ExchangeId id, const std::string& strError,
                                       const std::filesystem::path& saved)>;

    CBackupSaver(SavedFn pfnSaved, QObject* pParent);
    ~CBackupSaver() override { WaitForDone(); }

    // From now on backups go into `history`; those saved for an earlier run are not told.
    void NewRun(std::shared_ptr<session::CHistory> history);
    void Save(session::ExchangeId id, session::SBackup backup);
    // Every save under way has ended.
    void WaitForDone() { m_pool.waitForDone(); }

private:
    SavedFn m_pfnSaved;
    QThreadPool m_pool;
    std::shared_ptr<session::CHistory> m_pHistory;
    unsigned m_nRun = 0;
};
