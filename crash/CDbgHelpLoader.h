#pragma once
// The stack walker's hold on the debug-help facility: finds and opens its
// libraries, starts the symbol engine, lists the process's modules (the
// dynamic loader's list, else the kernel's list of mappings) and makes each
// known to the engine, reporting through the walker's hooks.

#include "crash/DebugHelp.h"

#include <cstdint>
#include <memory>
#include <string>

namespace crash {

class CCallStackWalker;

class CDbgHelpLoader {
public:
    // At most this many modules are taken from the kernel's list: as many
    // handles as fit into 8096 bytes. A longer list loads none.
    static constexpr std::size_t kMaxListedModules = 8096 / sizeof(void*);

    CDbgHelpLoader(CCallStackWalker* owner, int processId);
    ~CDbgHelpLoader();

    // Finds, opens and binds the libraries and starts the engine with
    // `searchPath` (may be null); true when all that worked.
    bool InitSymbols(const char* searchPath);
    bool IsLoaded() const { return help_ != nullptr; }
    IDebugHelp& Help() { return *help_; }

    // Loads the modules of the dynamic loader's list; true if it had any.
    bool EnumModulesToolHelp(int processId);
    // Loads the modules of the kernel's mapping list; true if any was loaded.
    bool EnumModulesProcessStatus(int processId);
    // Makes one module known and reports it (OnModuleLoaded); 0 or an error code.
    int LoadModule(const char* imagePath, const char* moduleName, std::uint64_t base, std::uint64_t size);
    // The record of the module holding `address`; false leaves
    // kErrorLibraryNotUsable with the walker.
    bool QueryModuleInfo(std::uint64_t address, ModuleRecord& out);

private:
    CCallStackWalker* owner_;
    int processId_;
    std::unique_ptr<IDebugHelp> help_;
};

// The version in a shared library's file name, after its links are followed
// ("libQt6Core.so.6.4.2" gives 6.4.2.0), as four 16-bit parts, most
// significant first; 0 when the name carries none.
std::uint64_t ModuleFileVersion(const std::string& path);

} // namespace crash
