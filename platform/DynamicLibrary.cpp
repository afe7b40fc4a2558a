#include "platform/DynamicLibrary.h"

#ifdef _WIN32
#include "platform/WidePath.h"
#else
#include <dlfcn.h>
#endif

namespace platform {

#ifdef _WIN32

bool DynamicLibrary::Load(const char* nameOrPath)
{
    Unload();
    handle_ = reinterpret_cast<void*>(LoadLibraryW(detail::Widen(nameOrPath).c_str()));
    return handle_ != nullptr;
}

void DynamicLibrary::Unload()
{
    if (handle_)
        FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const
{
    if (!handle_)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

bool LookUpAddress(std::uint64_t address, AddressInfo& info)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(address)), &module))
        return false;
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    info = {};
    info.modulePath = detail::Narrow(path, length < MAX_PATH ? length : 0);
    info.moduleBase = reinterpret_cast<std::uintptr_t>(module);
    return true;
}

#else

bool DynamicLibrary::Load(const char* nameOrPath)
{
    Unload();
    handle_ = dlopen(nameOrPath, RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

void DynamicLibrary::Unload()
{
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const
{
    return handle_ ? dlsym(handle_, name) : nullptr;
}

bool LookUpAddress(std::uint64_t address, AddressInfo& info)
{
    Dl_info dl{};
    if (dladdr(reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), &dl) == 0)
        return false;
    info = {};
    info.modulePath = dl.dli_fname ? dl.dli_fname : "";
    info.moduleBase = reinterpret_cast<std::uintptr_t>(dl.dli_fbase);
    if (dl.dli_sname) {
        info.symbolName = dl.dli_sname;
        info.symbolAddress = reinterpret_cast<std::uintptr_t>(dl.dli_saddr);
    }
    return true;
}

#endif

} // namespace platform
