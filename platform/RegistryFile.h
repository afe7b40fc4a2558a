#pragma once
// A registry hive as Wine keeps it in a prefix folder: the text files
// user.reg (HKEY_CURRENT_USER) and system.reg (HKEY_LOCAL_MACHINE). Only
// read, never written. The file is indexed once (its keys); values are
// decoded when asked for, so a big hive costs little more than its text.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// A registry value as Windows stores it.
struct RegistryValue {
    std::uint32_t type = 0;  // REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4, REG_MULTI_SZ = 7, ...
    std::string data;        // its bytes; text as UTF-16LE with the closing NUL
};

// A value's data as a narrow (8-bit) registry read gives it, here as UTF-8:
// text types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) up to their first NUL;
// any other type its bytes up to the first NUL byte.
std::string RegistryValueText(std::uint32_t type, std::string_view data);

class RegistryFile {
public:
    using KeyId = std::uint32_t;
    static constexpr KeyId kRoot = 0;
    // Windows nests keys at most 512 deep; a deeper header is damage.
    static constexpr std::size_t kMaxDepth = 512;
    // More keys than this (a real hive holds some ten thousand) makes the
    // file unreadable rather than let the index outgrow memory.
    static constexpr std::size_t kMaxKeys = std::size_t{1} << 20;

    // Indexes the text of a hive file. nullopt when its first line is not
    // "WINE REGISTRY Version 2" or it holds more than kMaxKeys keys.
    // Damaged lines are skipped as Wine skips them: a malformed key header
    // hides the values up to the next header.
    static std::optional<RegistryFile> Parse(std::string text);

    // The key at `path` below `from`: names separated by '\', compared
    // ignoring case. Keys that Wine writes only implicitly (those holding
    // nothing but sub-keys) are found too. nullopt when there is none.
    std::optional<KeyId> FindKey(std::string_view path, KeyId from = kRoot) const;

    // The name of sub-key `index` of `key` in the order Windows enumerates
    // them: by name ignoring case, whatever the order in the file. nullopt
    // past the last one.
    std::optional<std::string> SubKeyName(KeyId key, std::size_t index) const;

    // Value `name` of `key` ("" is the default value), compared ignoring
    // case; of two with one name the later line counts. A value whose data
    // cannot be read has type 0 and no data, as in Wine. nullopt when the
    // key has no such value.
    std::optional<RegistryValue> FindValue(KeyId key, std::string_view name) const;

    // Every value of `key` once (the later line counts), with its name, in
    // the order the file first names them.
    std::vector<std::pair<std::string, RegistryValue>> Values(KeyId key) const;

    // The header's ";; All keys relative to" path, such as
    // "\User\S-1-5-21-0-0-0-1000"; "" when the file has none.
    const std::string& RelativeTo() const { return relativeTo_; }

    // The number of keys, implicit ones included (the root counts).
    std::size_t KeyCount() const { return keys_.size(); }

private:
    struct Key {
        std::string name;
        std::vector<std::size_t> bodies;  // offsets of the lines after each of its headers
    };

    // The key at `path`, made with its parents when missing; nullopt when
    // the path is deeper than kMaxDepth.
    std::optional<KeyId> AddPath(std::string_view path);
    // Calls `visit(name, value)` for each value line of `key` in file order.
    template <typename Visit>
    void ForEachValue(KeyId key, Visit&& visit) const;

    std::string text_;
    std::string relativeTo_;
    std::vector<Key> keys_;
    // (parent, upper-case name) -> child: a parent's children lie together,
    // in enumeration order.
    std::map<std::pair<KeyId, std::string>, KeyId> children_;
};

} // namespace platform
