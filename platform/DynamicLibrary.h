#pragma once
// Libraries loaded while the program runs and bound by symbol name, so that
// the program starts without them (dlopen / LoadLibrary).

#include <cstdint>
#include <string>

namespace platform {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary() { Unload(); }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library `nameOrPath` (a bare name goes through the system's
    // normal search); false, with nothing loaded, when it cannot be loaded.
    // Unloads whatever this object held before.
    bool Load(const char* nameOrPath);
    // Unloads the library; does nothing when none is loaded.
    void Unload();
    bool IsLoaded() const { return handle_ != nullptr; }

    // The address of the exported symbol `name`, or nullptr.
    void* Symbol(const char* name) const;

    // Binds `name` into `fn`; false (and fn = nullptr) when it is missing.
    template <class Fn>
    bool Bind(Fn& fn, const char* name) const
    {
        void* p = Symbol(name);
        fn = reinterpret_cast<Fn>(p);
        return p != nullptr;
    }

private:
    void* handle_ = nullptr;
};

// What the dynamic linker knows about the code address `address`: the file of
// its module, the module's load address and, when the module exports one, the
// nearest symbol at or below it.
struct AddressInfo {
    std::string modulePath;
    std::uint64_t moduleBase = 0;
    std::string symbolName;  // raw (mangled) name; empty when none
    std::uint64_t symbolAddress = 0;
};

// Fills `info` for `address`; false when no loaded module contains it.
// Allocates: not for signal handlers.
bool LookUpAddress(std::uint64_t address, AddressInfo& info);

} // namespace platform
