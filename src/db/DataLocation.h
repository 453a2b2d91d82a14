#pragma once

#include <filesystem>
#include <functional>
#include <string>

// Where the program keeps the data.mdb it opens. A program folder that holds
// data.mdb and may be written is used as it is. One that may not be written
// (Program Files for a normal user) gets a per-user copy instead, made from the
// shipped file on first start and kept from then on, so the installer's library
// and microphone table survive. Without a data.mdb beside the program the file
// is looked for in the working folder, as it always was; the start-up rules
// for a missing, foreign or read-only file then apply to whichever was chosen.
class CDataLocation {
public:
    enum class EPlace { WorkingFolder, ProgramFolder, UserCopy };

    struct SChoice {
        std::string strPath; // UTF-8, as the store takes it
        EPlace ePlace = EPlace::WorkingFolder;
    };

    // The decision itself. programFolder or userFolder may be empty where the
    // platform has none (every POSIX system: there data.mdb is always the
    // working folder's).
    static SChoice Choose(const std::filesystem::path& programFolder, const std::filesystem::path& userFolder,
                          const std::function<bool(const std::filesystem::path&)>& folderWritable);

    // The choice for this run, from the platform's folders.
    static SChoice Find();

    // The file the setup program leaves beside the programs it installed.
    static constexpr const char* kSetupMarker = "installed-by-setup.txt";

    // The platform's facts (DataFolderPosix.cpp, DataFolderWin.cpp).
    static std::filesystem::path ProgramFolder();
    static std::filesystem::path UserFolder();
    static bool FolderWritable(const std::filesystem::path& folder);
};
