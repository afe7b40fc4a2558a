#pragma once
// For Windows tests run under Wine: what another (Linux) program may do to
// a file that Windows itself refuses, such as cutting a mapped file.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace testsupport {

// True when the test runs under Wine.
inline bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The Linux path of the file a Windows path names; "" outside Wine.
inline std::string UnixPathOf(const std::wstring& path)
{
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unixPath = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!unixPath)
        return {};
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

// Cuts the file at `unixPath` to `length` bytes with Linux's truncate(2),
// called directly so that Wine, which would refuse for a mapped file as
// Windows does, never sees it. False when Linux refuses.
inline bool LinuxTruncate(const std::string& unixPath, long long length)
{
#if defined(__x86_64__)
    long result = 0;
    constexpr long kTruncate = 76;  // x86-64 Linux
    asm volatile("syscall"
                 : "=a"(result)
                 : "a"(kTruncate), "D"(unixPath.c_str()), "S"(length)
                 : "rcx", "r11", "memory");
    return result == 0;
#else
    (void)unixPath;
    (void)length;
    return false;
#endif
}

} // namespace testsupport
