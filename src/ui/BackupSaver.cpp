#include "BackupSaver.h"

CBackupSaver::CBackupSaver(SavedFn pfnSaved, QObject* pParent)
    : QObject(pParent), m_pfnSaved(std::move(pfnSaved)) {
    m_pool.setMaxThreadCount(4);
}

void CBackupSaver::NewRun(std::shared_ptr<session::CHistory> history) {
    m_pHistory = std::move(history);
    ++m_nRun;
}

void CBackupSaver::Save(session::ExchangeId id, session::SBackup backup) {
    // Each room has an address of its own, so no two backups share a folder.
    m_pool.start([this, id, backup = std::move(backup), history = m_pHistory, nRun = m_nRun] {
        std::string strError;
        std::filesystem::path saved;
        history->Save(backup, strError, &saved);
        QMetaObject::invokeMethod(
            this,
            [this, id, strError, saved, nRun] {
                if (nRun == m_nRun)
                    m_pfnSaved(id, strError, saved);
            },
            Qt::QueuedConnection);
    });
}
