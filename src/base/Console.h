#pragma once

#include <string>
#include <vector>

namespace base {

// The program's arguments as UTF-8, whatever the system's code page: on
// Windows they are taken from the wide command line, so "教室101.json"
// arrives as typed, not as "?".
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the console show the UTF-8 text the program prints (Windows' console
// otherwise reads it in the OEM code page); output redirected to a file is
// UTF-8 either way.
void PrepareConsole();

} // namespace base
