#pragma once
// The debug-help facility the stack walker runs on: a stack walk from a
// thread context, symbols, source lines and module records for code
// addresses. The real one (ElfDebugHelp.cpp) is made of libraries loaded at
// run time; tests put in their own through DebugHelpSources.

#include "platform/ThreadContext.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace crash {

// One frame of a walk.
struct WalkFrame {
    std::uint64_t pc = 0;             // program counter
    std::uint64_t framePointer = 0;
    std::uint64_t stackPointer = 0;
    std::uint64_t returnAddress = 0;  // the caller's program counter; 0 after the outermost frame
    std::uint64_t callerStackPointer = 0;  // the caller's stack pointer
    bool exact = false;               // pc is the running instruction, not a return address
};

// Symbol-type codes of a module record, with the names the walker prints.
enum SymType : int {
    kSymNone = 0,      // "-nosymbols-": no symbol table found
    kSymCoff = 1,      // never here
    kSymCv = 2,        // never here
    kSymPdb = 3,       // DWARF debug information (in the file or a separate debug file)
    kSymExport = 4,    // only the exported (dynamic) symbols
    kSymDeferred = 5,  // reported, not read yet: symbols are read at the first look-up
    kSymSym = 6,       // a full symbol table without debug information
    kSymDia = 7,       // never here
    kSymVirtual = 8,   // a module without a file (the kernel's vDSO)
};

constexpr std::size_t kMaxNameLength = 1024;

struct ModuleRecord {
    std::uint64_t base = 0;
    std::uint64_t size = 0;
    int symType = kSymNone;
    char moduleName[kMaxNameLength] = {};
    char imageName[kMaxNameLength] = {};
    char loadedImageName[kMaxNameLength] = {};  // the file the symbols came from
};

// Operations of an opened and bound debug-help facility. Every false answer
// leaves an error code in LastError().
class IDebugHelp {
public:
    virtual ~IDebugHelp() = default;

    // Starts the symbol engine with a search path for separate debug files
    // (none: its defaults).
    virtual bool Initialize(const char* searchPath) = 0;
    virtual unsigned GetOptions() = 0;
    // Returns the options now in force.
    virtual unsigned SetOptions(unsigned options) = 0;
    virtual bool HasSearchPath() const = 0;
    virtual bool GetSearchPath(char* out, std::size_t size) = 0;
    // Makes the module known; 0 or an error code.
    virtual int LoadModule(const char* imagePath, const char* moduleName, std::uint64_t base, std::uint64_t size) = 0;
    virtual bool GetModuleInfo(std::uint64_t address, ModuleRecord& out) = 0;
    // The raw (mangled) name of the symbol holding `address`.
    virtual bool GetSymbol(std::uint64_t address, std::uint64_t& displacement, char* name, std::size_t size) = 0;
    virtual bool HasLineLookup() const = 0;
    virtual bool GetLine(std::uint64_t address, std::uint32_t& displacement, std::uint32_t& line, char* file,
                         std::size_t size) = 0;
    // Starts a walk at `context`: fills the first frame.
    virtual bool StartWalk(const platform::ThreadContext& context, WalkFrame& frame) = 0;
    // Steps to the caller of `frame`; false at an error (or past the end).
    virtual bool NextFrame(WalkFrame& frame) = 0;
    virtual int LastError() const = 0;
};

// Opens the facility from the first loadable file of each list: the unwinder
// (required) and the symbol library (without it, names come from the
// dynamic linker's exported symbols). nullptr when it cannot be had.
using DebugHelpOpener = std::unique_ptr<IDebugHelp> (*)(const std::vector<std::string>& unwinderFiles,
                                                       const std::vector<std::string>& symbolFiles);

std::unique_ptr<IDebugHelp> OpenElfDebugHelp(const std::vector<std::string>& unwinderFiles,
                                             const std::vector<std::string>& symbolFiles);

// Where the walker gets its facility and its module lists. Process-wide;
// tests change it (and put it back) before a walker is made.
struct DebugHelpSources {
    DebugHelpOpener open = OpenElfDebugHelp;
    std::string unwinderLibrary = "libunwind.so.8";
    std::string symbolLibrary = "libdw.so.1";
    // Alternative install folders are <installPrefix>/lib and /lib64.
    std::string installPrefix = "/usr/local";
    // Libraries tried for the loader's module list, in order.
    std::vector<std::string> loaderListLibraries = {"libc.so.6", "libdl.so.2"};
    // The maps file of the process (the second module list).
    std::string mapsFile;
};

DebugHelpSources& Sources();

// The files to try for library `name`, in order: unless a file named like the
// executable plus ".local" exists, <prefix>/lib/<name> and <prefix>/lib64/<name>
// where they exist; then `name` through the system's normal search.
std::vector<std::string> LibraryCandidates(const std::string& executablePath, const std::string& prefix,
                                           const std::string& name);

} // namespace crash
