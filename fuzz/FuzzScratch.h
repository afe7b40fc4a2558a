#pragma once
// A private scratch folder for the files a fuzz target writes, removed when
// the program ends.

#include "FuzzCheck.h"

#include <filesystem>
#include <string>

#include <stdlib.h>

class FuzzScratch {
public:
    FuzzScratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillmend-fuzz-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
        dir_ = pattern;
    }
    ~FuzzScratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string File(const char* name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};
