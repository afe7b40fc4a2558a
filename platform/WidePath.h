#pragma once
// Internal to platform/: on Windows a path inside the program is the UTF-8
// of its UTF-16 name (see WideNameToUtf8); the Win32 calls take and give
// UTF-16, always through their W forms.

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/Utf8.h"

#include <string>
#include <string_view>

namespace platform::detail {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows names are UTF-16");

inline std::wstring Widen(std::string_view utf8)
{
    const std::u16string wide = WideNameFromUtf8(utf8);
    return std::wstring(wide.begin(), wide.end());
}

inline std::string Narrow(const wchar_t* wide, std::size_t length)
{
    return WideNameToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide), length));
}

inline std::string Narrow(const wchar_t* wide)
{
    return Narrow(wide, std::wcslen(wide));
}

inline std::string Narrow(const std::wstring& wide)
{
    return Narrow(wide.data(), wide.size());
}

} // namespace platform::detail
#endif
