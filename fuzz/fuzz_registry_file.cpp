// Wine registry files (user.reg, system.reg) of any content: indexing and
// every query must end without a fault and agree with each other; the
// %VAR% expansion runs over the same bytes, and a Wine prefix built on them
// (as both of its hives) sets its variables within their bounds.

#include "FuzzCheck.h"

#include "platform/NoCase.h"
#include "platform/RegistryFile.h"
#include "platform/Utf8.h"
#include "platform/WinePrefix.h"

#include <deque>
#include <memory>
#include <string>
#include <string_view>

namespace {

bool IsUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        if (platform::NextCodePoint(text, i) == platform::kNotUtf8)
            return false;
    }
    return true;
}

void CheckKey(const platform::RegistryFile& file, platform::RegistryFile::KeyId key)
{
    for (const auto& [name, value] : file.Values(key)) {
        const auto found = file.FindValue(key, name);
        FUZZ_CHECK(found && found->type == value.type && found->data == value.data);
        const std::string text = platform::RegistryValueText(value.type, value.data);
        if (value.type == 1 || value.type == 2 || value.type == 7)
            FUZZ_CHECK(IsUtf8(text));
        FUZZ_CHECK(text.find('\0') == std::string::npos);
    }
}

// The prefix's variables from `file` as its user's and its machine's hive;
// the root names no folder, so nothing on this machine is read.
void CheckPrefix(const platform::RegistryFile& file)
{
    const platform::WinePrefix prefix("/nonexistent/fuzz-prefix", "fuzz",
                                      std::make_unique<platform::RegistryFile>(file),
                                      std::make_unique<platform::RegistryFile>(file));
    FUZZ_CHECK(prefix.ExpansionWork() <= platform::WinePrefix::kMaxExpansionBytes);
    for (const auto& [name, value] : prefix.Variables()) {
        FUZZ_CHECK(value.chars == platform::Utf16Length(value.text));
        FUZZ_CHECK(value.chars <= platform::kMaxVariableChars);
    }
    const std::string expanded = prefix.Expand("%USERPROFILE%\\%APPDATA%\\%TEMP%%PATH%");
    FUZZ_CHECK(platform::Utf16Length(expanded) <= platform::kMaxVariableChars);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const platform::VariableValue alpha{"C:\\users\\alpha", 14};
    const std::string expanded = platform::ExpandVariables(text, [&](std::string_view name) {
        return platform::SameName(name, "UserProfile") ? &alpha : nullptr;
    });
    if (text.find('%') == std::string::npos)
        FUZZ_CHECK(expanded == text);
    if (platform::Utf16Length(text) <= platform::kMaxVariableChars)
        FUZZ_CHECK(platform::Utf16Length(expanded) <= platform::kMaxVariableChars);

    auto file = platform::RegistryFile::Parse(text);
    if (!file)
        return 0;
    CheckPrefix(*file);
    FUZZ_CHECK(file->KeyCount() >= 1);
    // Walk the tree breadth-first, a bounded number of keys.
    std::deque<platform::RegistryFile::KeyId> queue{platform::RegistryFile::kRoot};
    for (int visited = 0; !queue.empty() && visited < 2000; ++visited) {
        const auto key = queue.front();
        queue.pop_front();
        CheckKey(*file, key);
        std::string previous;
        for (std::size_t i = 0; i < 64; ++i) {
            const auto name = file->SubKeyName(key, i);
            if (!name)
                break;
            FUZZ_CHECK(!name->empty() && name->find('\\') == std::string::npos);
            FUZZ_CHECK(i == 0 || platform::CompareNames(previous, *name) < 0);
            const auto child = file->FindKey(*name, key);
            FUZZ_CHECK(child && *child != key);
            queue.push_back(*child);
            previous = *name;
        }
    }
    return 0;
}
