#pragma once
// Scratch files for the fixture-maker tests.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace testing_oe {

// A path in the test's scratch folder (created when missing).
inline std::string TempPath(const std::string& name)
{
    const char* dir = std::getenv("QUILLMEND_TEST_TMP");
#ifdef QUILLMEND_TEST_TMP_DEFAULT
    if (!dir || !*dir)
        dir = QUILLMEND_TEST_TMP_DEFAULT;
#endif
    const std::filesystem::path base = dir ? dir : std::filesystem::temp_directory_path().string();
    std::filesystem::create_directories(base);
    return (base / name).string();
}

// The whole file, or "" when it cannot be read.
inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return {};
    std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

} // namespace testing_oe
