#include "platform/SystemMenu.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace platform {

#ifdef _WIN32

bool AppendSystemMenuItem(void* window, unsigned id, const std::string& text)
{
    HMENU menu = GetSystemMenu(static_cast<HWND>(window), FALSE);
    if (!menu || text.empty())
        return false;
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) && AppendMenuW(menu, MF_STRING, id, wide.c_str());
}

bool IsSystemCommand(const void* message, unsigned id)
{
    const MSG* msg = static_cast<const MSG*>(message);
    return msg && msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == id;
}

#else

bool AppendSystemMenuItem(void*, unsigned, const std::string&)
{
    return false;
}

bool IsSystemCommand(const void*, unsigned)
{
    return false;
}

#endif

} // namespace platform
