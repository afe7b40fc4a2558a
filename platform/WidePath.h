#pragma once
// Internal to platform/: file names cross our code as UTF-8; the Win32 file
// calls take and give UTF-16.

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace platform::detail {

inline std::wstring Widen(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

inline std::string Narrow(const wchar_t* wide, int length = -1)
{
    if (length == 0)
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, s.data(), n, nullptr, nullptr);
    if (length < 0 && !s.empty())
        s.pop_back();  // the terminating zero
    return s;
}

} // namespace platform::detail
#endif
