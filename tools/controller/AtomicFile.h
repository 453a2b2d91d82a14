#pragma once

#include <string>

namespace controller {

// Writes the text to the path through a temporary file beside it that is put
// in the path's place in one step, so a reader (or a crash) sees the old file
// or the new one, never a part. With `sync` the text reaches the disk before
// the swap. The calls are the platform's (AtomicFilePosix.cpp,
// AtomicFileWin.cpp: Windows' rename does not replace an existing file).
bool WriteReplacing(const std::string& path, const std::string& text, bool sync, std::string& error);

} // namespace controller
