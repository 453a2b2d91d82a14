#include "FileFolders.h"

#include "Database.h"
#include "FileSystem.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <array>
#include <sstream>

namespace {

constexpr std::array<const char*, 5> kKindNames{"snapshot", "plan", "results", "library", "log"};

using FolderList = std::array<QString, kKindNames.size()>;

// Without a data.mdb (no store file) the folders last for this run only.
FolderList& RunFolders() {
    static FolderList folders;
    return folders;
}

FolderList ReadFolders() {
    const std::filesystem::path store = CFileFolders::StoreFile();
    if (store.empty())
        return RunFolders();
    FolderList read;
    std::string strText, strError;
    if (!base::ReadFile(store, strText, strError))
        return read;
    std::istringstream lines(strText);
    for (std::string strLine; std::getline(lines, strLine);) {
        const std::size_t nTab = strLine.find('\t');
        for (std::size_t i = 0; i < kKindNames.size() && nTab != std::string::npos; ++i)
            if (strLine.compare(0, nTab, kKindNames[i]) == 0)
                read[i] = QString::fromStdString(strLine.substr(nTab + 1));
    }
    return read;
}

} // namespace

std::filesystem::path CFileFolders::StoreFile() {
    if (CDatabase::Path().empty())
        return {};
    return CDatabase::Folder() / "folders.txt";
}

QString CFileFolders::StartPath(EKind eKind, const QString& strFileName) {
    QString strFolder = ReadFolders()[static_cast<std::size_t>(eKind)];
    if (strFolder.isEmpty() || !QFileInfo(strFolder).isDir())
        strFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (strFolder.isEmpty())
        strFolder = QDir::homePath();
    return strFileName.isEmpty() ? strFolder : QDir(strFolder).filePath(strFileName);
}

void CFileFolders::Remember(EKind eKind, const QString& strChosen) {
    if (strChosen.isEmpty())
        return;
    FolderList folders = ReadFolders();
    folders[static_cast<std::size_t>(eKind)] = QFileInfo(strChosen).absolutePath();
    const std::filesystem::path store = StoreFile();
    if (store.empty()) {
        RunFolders() = folders;
        return;
    }
    std::string strText;
    for (std::size_t i = 0; i < folders.size(); ++i)
        if (!folders[i].isEmpty())
            strText += std::string(kKindNames[i]) + "\t" + folders[i].toStdString() + "\n";
    std::string strError;
    base::WriteFileReplacing(store, strText, false, strError); // a lost folder only costs a click
}
