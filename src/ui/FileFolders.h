#pragma once

#include <QString>

#include <filesystem>

// Where each kind of file dialog starts: in the folder last used for that
// kind of file, else in the user's Documents folder, never in the program's
// own folder (Program Files on Windows, which the user may not write and the
// uninstaller does not clean). The folders are kept in `folders.txt` beside
// data.mdb (which is the user's own), so they outlive the program.
class CFileFolders {
public:
    enum class EKind { Snapshot, Plan, Results, Library, Log };

    // The path a dialog for that kind starts at: the folder, with
    // strFileName in it when one is offered.
    static QString StartPath(EKind eKind, const QString& strFileName = {});
    // A file chosen in such a dialog: its folder is where the next one starts.
    // An empty choice (a cancelled dialog) changes nothing.
    static void Remember(EKind eKind, const QString& strChosen);

    // The file the folders are kept in; empty keeps them for this run only.
    static std::filesystem::path StoreFile();
};
