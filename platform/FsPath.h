#pragma once
// std::filesystem paths for the paths the program keeps. A path inside the
// program is the system's bytes (on Windows the UTF-8 of its UTF-16 name);
// std::filesystem on Windows reads a narrow string in the ANSI code page
// instead, so every path crosses over through these two.

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// The std::filesystem path that names the same file as `path`.
std::filesystem::path ToFsPath(std::string_view path);

// The path as the program keeps it; the inverse of ToFsPath.
std::string FromFsPath(const std::filesystem::path& path);

} // namespace platform
