#pragma once
// What the fuzz targets that make file names check of every one.

#include "FuzzCheck.h"

#include "dbx/AttachmentNaming.h"
#include "dbx/DisplayText.h"

#include <string>
#include <string_view>

// A name a saved file may get: one component of valid UTF-8, no character a
// file system refuses or that hides the name's ending, no leading dot, no
// "..", within its length.
inline void CheckFileName(const std::string& name)
{
    FUZZ_CHECK(!name.empty() && name.size() <= dbx::kMaxAttachmentNameBytes + 20);
    FUZZ_CHECK(name.front() != '.' && name.front() != ' ' && name.back() != '.' && name.back() != ' ');
    FUZZ_CHECK(name.find("..") == std::string::npos);
    FUZZ_CHECK(dbx::IsValidUtf8(name));
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        FUZZ_CHECK(c >= 0x20 && c != 0x7F && std::string_view("/\\:*?\"<>|").find(name[i]) == std::string_view::npos);
        const std::string_view rest = std::string_view(name).substr(i);
        for (const std::string_view hiding : {"\u202A", "\u202B", "\u202C", "\u202D", "\u202E", "\u2066", "\u2067",
                                              "\u2068", "\u2069", "\u200E", "\u200F", "\u061C", "\u200B", "\uFEFF",
                                              "\xC2\x80", "\xC2\x9F"})
            FUZZ_CHECK(!rest.starts_with(hiding));
    }
}
