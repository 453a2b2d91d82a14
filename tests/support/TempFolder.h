#pragma once

#include <filesystem>
#include <string>

// Makes a new, empty folder under the system's temporary folder, named after
// the prefix and a random part, and returns its path. The folder is made in one
// step that fails if the name exists, so two runs never share one.
std::filesystem::path MakeTempFolder(const std::string& strPrefix);
