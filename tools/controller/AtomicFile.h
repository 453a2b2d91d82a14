#pragma once

#include <string>

namespace controller {

// Writes the text to the path through a temporary file beside it that is
// flushed to disk and then put in the path's place in one step, so a reader
// (or a crash) sees the old file or the new one, never a part. The calls are
// the platform's file (AtomicFilePosix.cpp, AtomicFileWin.cpp: Windows' rename
// does not replace an existing file).
bool WriteReplacing(const std::string& path, const std::string& text, std::string& error);

} // namespace controller
