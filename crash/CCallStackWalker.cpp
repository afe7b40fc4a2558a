#include "crash/CCallStackWalker.h"

#include "crash/CDbgHelpLoader.h"
#include "crash/HexText.h"
#include "crash/SymbolNames.h"
#include "platform/ProgramPaths.h"
#include "platform/SafeFile.h"
#include "platform/SystemInfo.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>


namespace crash {

namespace {

constexpr std::size_t kLineSize = 1024;
constexpr std::size_t kSearchPathSize = 4096;
constexpr std::size_t kValueSize = 1024;

// Appends `value` (cut at kValueSize - 1 characters) and `separator`.
void AppendValue(std::string& path, const std::string& value, const char* separator)
{
    path.append(value, 0, kValueSize - 1);
    path += separator;
}

// Formats one line; what does not fit into it is cut off.
[[gnu::format(printf, 2, 3)]] void FormatLine(char (&line)[kLineSize], const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
}

const char* OrBlank(const char* text)
{
    return text && *text ? text : " ";
}

} // namespace

const char* CCallStackWalker::SymTypeName(int code)
{
    static const char* const kNames[] = {"-nosymbols-", "COFF",       "CV",  "PDB",    "-exported-",
                                         "-deferred-",  "SYM",        "DIA", "Virtual"};
    return code >= 0 && code < static_cast<int>(std::size(kNames)) ? kNames[code] : nullptr;
}

CCallStackWalker::CCallStackWalker(unsigned options, const char* userSymbolPath, int processId)
    : loader_(std::make_unique<CDbgHelpLoader>(this, processId)), processId_(processId), options_(options)
{
    if (userSymbolPath) {
        userSymbolPath_ = userSymbolPath;
        hasUserSymbolPath_ = true;
        options_ |= kSymBuildPath;
    }
}

CCallStackWalker::~CCallStackWalker() = default;

std::string CCallStackWalker::BuildSearchPath() const
{
    // Folders for separate debug files, in the symbol library's own form
    // (colon-separated; relative entries are taken beside each module).
    std::string path;
    if (hasUserSymbolPath_)
        AppendValue(path, userSymbolPath_, ":");
    path += ".:";
    std::error_code ec;
    AppendValue(path, std::filesystem::current_path(ec).string(), ":");
    std::string exe = platform::ExecutablePath();
    const auto cut = exe.find_last_of("/\\:");
    exe = cut == std::string::npos ? std::string() : exe.substr(0, cut);
    if (!exe.empty())
        AppendValue(path, exe, ":");
    // The system's debug-information folders: ".debug" beside each module,
    // and the tree the system's debug packages install into.
    path += ".debug:/usr/lib/debug:";
    if (path.size() >= kSearchPathSize)
        path.resize(kSearchPathSize - 1);
    return path;
}

bool CCallStackWalker::LoadSymbolModules()
{
    if (!loader_) {
        lastError_ = kErrorLibraryNotUsable;
        return false;
    }
    if (modulesLoaded_)
        return true;
    std::string searchPath;
    const bool buildPath = (options_ & kSymBuildPath) != 0;
    if (buildPath) {
        try {
            searchPath = BuildSearchPath();
        } catch (const std::bad_alloc&) {
            lastError_ = kErrorNotEnoughMemory;
            return false;
        }
    }
    if (!loader_->InitSymbols(buildPath ? searchPath.c_str() : nullptr)) {
        OnHelperError("Error while initializing dbghelp.dll", 0, 0);
        lastError_ = kErrorLibraryNotUsable;
        return false;
    }
    if (loader_->EnumModulesToolHelp(processId_)) {
        modulesLoaded_ = true;
        return true;
    }
    modulesLoaded_ = loader_->EnumModulesProcessStatus(processId_);
    return modulesLoaded_;
}

void CCallStackWalker::LookUp(const WalkFrame& frame, StackEntry& entry)
{
    IDebugHelp& help = loader_->Help();
    // A return address points after the call: look up the call itself.
    const std::uint64_t at = frame.exact ? frame.pc : frame.pc - 1;
    if (help.GetSymbol(at, entry.symbolDisplacement, entry.name, sizeof entry.name)) {
        UndecorateSymbolName(entry.name, entry.undName, sizeof entry.undName, true);
        UndecorateSymbolName(entry.name, entry.undFullName, sizeof entry.undFullName, false);
    } else {
        OnHelperError("SymGetSymFromAddr64", help.LastError(), frame.pc);
    }
    if (help.HasLineLookup()) {
        if (!help.GetLine(at, entry.lineDisplacement, entry.lineNumber, entry.lineFileName, sizeof entry.lineFileName))
            OnHelperError("SymGetLineFromAddr64", help.LastError(), frame.pc);
    }
    ModuleRecord module;
    if (loader_->QueryModuleInfo(frame.pc, module)) {
        entry.symTypeName = SymTypeName(module.symType);
        std::memcpy(entry.moduleName, module.moduleName, sizeof entry.moduleName);
        entry.moduleBase = module.base;
        std::memcpy(entry.loadedImageName, module.loadedImageName, sizeof entry.loadedImageName);
    } else {
        OnHelperError("SymGetModuleInfo64", lastError_, frame.pc);
    }
}

bool CCallStackWalker::WalkStack(platform::ThreadHandle thread, const platform::ThreadContext* context)
{
    if (!modulesLoaded_)
        LoadSymbolModules();
    if (!loader_ || !loader_->IsLoaded()) {
        lastError_ = kErrorLibraryNotUsable;
        return false;
    }

    platform::ThreadContext registers;
    bool held = false;
    if (context) {
        registers = *context;
    } else if (platform::IsCurrentThread(thread)) {
        if (!PLATFORM_CAPTURE_CONTEXT(registers))
            return false;
    } else {
        if (!platform::HoldThreadAndCapture(thread, registers, 1000))
            return false;
        held = true;
    }

    IDebugHelp& help = loader_->Help();
    WalkFrame frame;
    if (!help.StartWalk(registers, frame)) {
        OnHelperError("StackWalk64", help.LastError(), registers.InstructionPointer());
    } else {
        for (int n = 0;; ++n) {
            StackEntry entry;
            entry.address = frame.pc;
            // The unwinder makes no headway: the caller would be this very
            // frame again. (The same return address alone is no sign of
            // that: every level of a recursion has it.)
            if (frame.pc == frame.returnAddress && frame.stackPointer == frame.callerStackPointer) {
                OnHelperError("StackWalk64-Endless-Callstack!", 0, frame.pc);
                break;
            }
            if (frame.pc != 0)
                LookUp(frame, entry);
            OnStackEntry(n == 0 ? kFirstEntry : kNextEntry, entry);
            if (frame.returnAddress == 0) {
                OnStackEntry(kLastEntry, entry);
                lastError_ = 0;
                break;
            }
            const std::uint64_t pc = frame.pc;
            if (!help.NextFrame(frame)) {
                OnHelperError("StackWalk64", help.LastError(), pc);
                break;
            }
        }
    }
    if (held)
        platform::ResumeHeldThread();
    return true;
}

// --- default hooks ---------------------------------------------------------------------

void CCallStackWalker::OnSymbolsInitialized(const char* searchPath, unsigned symOptions, const char* userName)
{
    char line[kLineSize];
    FormatLine(line, "SymInit: Symbol-SearchPath: '%s', symOptions: %u, UserName: '%s'\n",
                  searchPath, symOptions, userName);
    OnLine(line);
    platform::OsVersion os;
    if (platform::GetOsVersion(os)) {
        // No suite mask or product type here: both print as 0.
        FormatLine(line, "[OS-Version: %d.%d.%d (%s) 0x%x-0x%x]", os.major, os.minor, os.build,
                      os.detail.c_str(), 0u, 0u);
        OnLine(line);
    }
}

void CCallStackWalker::OnModuleLoaded(const char* imagePath, const char* moduleName, std::uint64_t base,
                                      std::uint64_t size, int result, const char* symType, const char* pdbName,
                                      std::uint64_t fileVersion)
{
    char line[kLineSize];
    const AddressText at(base);
    if (fileVersion == 0) {
        FormatLine(line, "%s:%s (%s), size: %llu (result: %d), SymType: '%s', PDB: '%s'\n", imagePath,
                      moduleName, at.text, static_cast<unsigned long long>(size), result, symType, pdbName);
    } else {
        std::snprintf(line, sizeof line,
                      "%s:%s (%s), size: %llu (result: %d), SymType: '%s', PDB: '%s', fileVersion: %u.%u.%u.%u\n",
                      imagePath, moduleName, at.text, static_cast<unsigned long long>(size), result, symType, pdbName,
                      static_cast<unsigned>(fileVersion >> 48), static_cast<unsigned>((fileVersion >> 32) & 0xFFFF),
                      static_cast<unsigned>((fileVersion >> 16) & 0xFFFF), static_cast<unsigned>(fileVersion & 0xFFFF));
    }
    OnLine(line);
}

void CCallStackWalker::OnStackEntry(StackEntryKind kind, const StackEntry& entry)
{
    if (kind == kLastEntry || entry.address == 0)
        return;
    const char* name = entry.undFullName[0] ? entry.undFullName
        : entry.undName[0]                  ? entry.undName
        : entry.name[0]                     ? entry.name
                                            : " ";
    char line[kLineSize];
    if (entry.lineFileName[0]) {
        FormatLine(line, "[%s (%u): %s]", entry.lineFileName, entry.lineNumber, name);
    } else {
        const AddressText at(entry.address);
        FormatLine(line, "[%s (%s): %s: %s]", at.text, OrBlank(entry.moduleName),
                      OrBlank(entry.lineFileName), name);
    }
    OnLine(line);
}

void CCallStackWalker::OnHelperError(const char* function, int errorCode, std::uint64_t address)
{
    char line[kLineSize];
    const AddressText at(address);
    FormatLine(line, "ERROR: %s, GetLastError: %d (Address: %s)\n", function, errorCode, at.text);
    OnLine(line);
}

void CCallStackWalker::OnLine(const char* text)
{
    // The stand-in for the debugger's output window: one entry per line.
    const std::size_t n = std::strlen(text);
    platform::WriteAll(2, text, n);
    if (n == 0 || text[n - 1] != '\n')
        platform::WriteAll(2, "\n", 1);
}

} // namespace crash
