#pragma once

// The user's own folder for the emulator's files, one file per system
// (UserFolderPosix.cpp, UserFolderWin.cpp): a shortcut starts the emulator in
// a folder the user may not write (Program Files), so its state and log go
// where the user's Velmora data lives.

#include <filesystem>

namespace controller {

// %LOCALAPPDATA%\Velmora on Windows; $XDG_STATE_HOME/velmora, else
// ~/.local/state/velmora, elsewhere. Empty when there is none.
std::filesystem::path UserFolder();

} // namespace controller
