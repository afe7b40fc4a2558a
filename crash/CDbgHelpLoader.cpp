#include "crash/CDbgHelpLoader.h"

#include "crash/CCallStackWalker.h"
#include "platform/ModuleList.h"
#include "platform/ProgramPaths.h"
#include "platform/SystemInfo.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace crash {

namespace {

// Symbol options of the engine, kept as the walker reports them.
constexpr unsigned kSymOptLoadLines = 0x10;
constexpr unsigned kSymOptFailCriticalErrors = 0x200;

} // namespace

std::uint64_t ModuleFileVersion(const std::string& path)
{
    std::error_code ec;
    const std::string name = std::filesystem::canonical(path, ec).filename().string();
    if (ec)
        return 0;
    const auto so = name.rfind(".so.");
    if (so == std::string::npos)
        return 0;
    unsigned parts[4] = {};
    int n = 0;
    const char* p = name.c_str() + so + 4;
    while (n < 4 && *p >= '0' && *p <= '9') {
        unsigned value = 0;
        while (*p >= '0' && *p <= '9')
            value = value * 10 + static_cast<unsigned>(*p++ - '0');
        parts[n++] = value & 0xFFFF;
        if (*p != '.')
            break;
        ++p;
    }
    if (n == 0)
        return 0;
    return (std::uint64_t{parts[0]} << 48) | (std::uint64_t{parts[1]} << 32) | (std::uint64_t{parts[2]} << 16)
        | parts[3];
}

CDbgHelpLoader::CDbgHelpLoader(CCallStackWalker* owner, int processId) : owner_(owner), processId_(processId) {}

CDbgHelpLoader::~CDbgHelpLoader() = default;

bool CDbgHelpLoader::InitSymbols(const char* searchPath)
{
    if (!owner_)
        return false;
    const DebugHelpSources& sources = Sources();
    const std::string exe = platform::ExecutablePath();
    help_ = sources.open ? sources.open(LibraryCandidates(exe, sources.installPrefix, sources.unwinderLibrary),
                                        LibraryCandidates(exe, sources.installPrefix, sources.symbolLibrary))
                         : nullptr;
    if (!help_)
        return false;
    // Only this process can be walked: the unwinder reads its own memory.
    if (processId_ != platform::CurrentProcessId()) {
        help_.reset();
        return false;
    }
    if (!help_->Initialize(searchPath))
        owner_->OnHelperError("SymInitialize", help_->LastError(), 0);
    const unsigned options = help_->SetOptions(help_->GetOptions() | kSymOptLoadLines | kSymOptFailCriticalErrors);

    char path[kMaxNameLength] = {};
    if (help_->HasSearchPath() && !help_->GetSearchPath(path, sizeof path))
        owner_->OnHelperError("SymGetSearchPath", help_->LastError(), 0);
    const std::string user = platform::CurrentUserName();
    owner_->OnSymbolsInitialized(path, options, user.c_str());
    return true;
}

bool CDbgHelpLoader::EnumModulesToolHelp(int processId)
{
    std::vector<platform::LoadedModule> modules;
    if (processId != processId_ || !platform::ListModulesFromLoader(Sources().loaderListLibraries, modules))
        return false;
    for (const auto& m : modules)
        LoadModule(m.path.c_str(), m.name.c_str(), m.base, m.size);  // failures are reported by the hook
    return !modules.empty();
}

bool CDbgHelpLoader::EnumModulesProcessStatus(int processId)
{
    std::vector<platform::LoadedModule> modules;
    if (processId != processId_ || !platform::ListModulesFromMaps(Sources().mapsFile, modules)
        || modules.size() > kMaxListedModules)
        return false;
    bool any = false;
    for (const auto& m : modules) {
        const int result = LoadModule(m.path.c_str(), m.name.c_str(), m.base, m.size);
        if (result != 0)
            owner_->OnHelperError("LoadModule", result, 0);
        any = true;
    }
    return any;
}

int CDbgHelpLoader::LoadModule(const char* imagePath, const char* moduleName, std::uint64_t base, std::uint64_t size)
{
    const int result = help_ ? help_->LoadModule(imagePath, moduleName, base, size)
                             : CCallStackWalker::kErrorLibraryNotUsable;
    if (owner_) {
        const std::uint64_t version = (owner_->options_ & CCallStackWalker::kRetrieveFileVersion) && imagePath
            ? ModuleFileVersion(imagePath)
            : 0;
        ModuleRecord record;
        const char* symType = "-unknown-";
        if (QueryModuleInfo(base, record)) {
            const char* known = CCallStackWalker::SymTypeName(record.symType);
            symType = known ? known : "-unknown-";
        }
        owner_->OnModuleLoaded(imagePath, moduleName, base, size, result, symType, record.loadedImageName, version);
    }
    return result;
}

bool CDbgHelpLoader::QueryModuleInfo(std::uint64_t address, ModuleRecord& out)
{
    if (!help_ || !help_->GetModuleInfo(address, out)) {
        if (owner_)
            owner_->lastError_ = CCallStackWalker::kErrorLibraryNotUsable;
        return false;
    }
    return true;
}

} // namespace crash
