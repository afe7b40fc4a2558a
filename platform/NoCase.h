#pragma once
// Names compared the way Windows compares registry key names and NTFS file
// names: ignoring case, by upper-case character. Windows enumerates
// registry sub-keys and lists NTFS folders in this order.

#include <string>
#include <string_view>

namespace platform {

// `name` (UTF-8) with every letter that has a simple upper-case form
// (Latin, Greek, Cyrillic) upper-cased. Bytes that are not UTF-8 stay as
// they are.
std::string UpperName(std::string_view name);

// Negative, zero or positive as `a` sorts before, with or after `b` when
// case is ignored.
int CompareNames(std::string_view a, std::string_view b);

// True when `a` and `b` are the same name apart from case.
inline bool SameName(std::string_view a, std::string_view b)
{
    return CompareNames(a, b) == 0;
}

} // namespace platform
