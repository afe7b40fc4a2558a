// The debug-help facility of ELF systems, made of two libraries loaded at run
// time and bound by symbol name: libunwind walks the stack from a thread
// context (its local unwinder, which reads this process's memory directly),
// and libdw (elfutils' libdwfl) maps addresses to modules, symbols and source
// lines. Without libdw, names come from the dynamic linker (dladdr), which
// knows only exported symbols. No header of either library is needed: the
// few types used are declared here as the libraries define them.

#include "crash/DebugHelp.h"

#include "platform/DynamicLibrary.h"
#include "platform/FolderList.h"
#include "platform/ModuleList.h"

#include <cstring>
#include <filesystem>
#include <string>

namespace crash {

DebugHelpSources& Sources()
{
    static DebugHelpSources sources = [] {
        DebugHelpSources s;
        s.mapsFile = platform::OwnMapsFile();
        return s;
    }();
    return sources;
}

std::vector<std::string> LibraryCandidates(const std::string& executablePath, const std::string& prefix,
                                           const std::string& name)
{
    std::vector<std::string> files;
    // A ".local" file beside the program asks for the copies its own search
    // finds (rpath, LD_LIBRARY_PATH), as on Windows.
    if (!executablePath.empty() && !platform::Exists(executablePath + ".local")) {
        for (const char* folder : {"/lib/", "/lib64/"}) {
            const std::string file = prefix + folder + name;
            if (platform::Exists(file))
                files.push_back(file);
        }
    }
    files.push_back(name);
    return files;
}

namespace {

// --- libunwind (local unwinding) ------------------------------------------------

#if defined(__x86_64__)
constexpr const char* kUnwindPrefix = "_ULx86_64_";
constexpr int kRegIp = 16;  // UNW_X86_64_RIP
constexpr int kRegSp = 7;   // UNW_X86_64_RSP
constexpr int kRegFp = 6;   // UNW_X86_64_RBP
#else
constexpr const char* kUnwindPrefix = nullptr;  // not bound on this processor: no walk
constexpr int kRegIp = 0;
constexpr int kRegSp = 0;
constexpr int kRegFp = 0;
#endif
constexpr int kInitSignalFrame = 1;  // UNW_INIT_SIGNAL_FRAME

// unw_cursor_t is an opaque array of words (127 on x86-64); room to spare.
struct alignas(16) UnwindCursor {
    unsigned char bytes[4096];
};

using UnwInitLocal2 = int (*)(UnwindCursor*, void* context, int flags);
using UnwStep = int (*)(UnwindCursor*);
using UnwGetReg = int (*)(UnwindCursor*, int reg, std::uint64_t* value);
using UnwIsSignalFrame = int (*)(UnwindCursor*);

// --- libdwfl ----------------------------------------------------------------------

struct Dwfl;
struct DwflModule;
struct DwflLine;

struct DwflCallbacks {
    void* findElf;
    void* findDebuginfo;
    void* sectionAddress;
    char** debuginfoPath;
};

struct ElfSym {  // GElf_Sym (Elf64_Sym)
    std::uint32_t st_name;
    unsigned char st_info;
    unsigned char st_other;
    std::uint16_t st_shndx;
    std::uint64_t st_value;
    std::uint64_t st_size;
};

using DwflBegin = Dwfl* (*)(const DwflCallbacks*);
using DwflEnd = void (*)(Dwfl*);
using DwflReportBeginAdd = void (*)(Dwfl*);
using DwflReportElf = DwflModule* (*)(Dwfl*, const char* name, const char* file, int fd, std::uint64_t base,
                                      bool addPVaddr);
using DwflReportEnd = int (*)(Dwfl*, void* removed, void* arg);
using DwflAddrModule = DwflModule* (*)(Dwfl*, std::uint64_t address);
using DwflModuleAddrInfo = const char* (*)(DwflModule*, std::uint64_t address, std::uint64_t* offset, ElfSym* sym,
                                           std::uint32_t* shndx, void** elf, std::uint64_t* bias);
using DwflModuleInfo = const char* (*)(DwflModule*, void*** userdata, std::uint64_t* start, std::uint64_t* end,
                                       std::uint64_t* dwbias, std::uint64_t* symbias, const char** mainfile,
                                       const char** debugfile);
using DwflModuleGetSrc = DwflLine* (*)(DwflModule*, std::uint64_t address);
using DwflLineInfo = const char* (*)(DwflLine*, std::uint64_t* address, int* line, int* column, std::uint64_t* mtime,
                                     std::uint64_t* length);
using DwflLineCompDir = const char* (*)(DwflLine*);
using DwflErrno = int (*)();

constexpr std::uint64_t kNotLoaded = ~std::uint64_t{0};
// Error codes of our own, in the Windows numbering the walker reports.
constexpr int kErrorNotFound = 1168;       // ERROR_NOT_FOUND
constexpr int kErrorInvalidAddress = 487;  // ERROR_INVALID_ADDRESS
// A return address that could not be had: the next step reports the error.
constexpr std::uint64_t kUnknownReturn = ~std::uint64_t{0};

void CopyText(char* out, std::size_t size, const char* text)
{
    if (size == 0)
        return;
    std::size_t n = text ? std::strlen(text) : 0;
    if (n >= size)
        n = size - 1;
    if (n)
        std::memcpy(out, text, n);
    out[n] = '\0';
}

class ElfDebugHelp final : public IDebugHelp {
public:
    bool Open(const std::vector<std::string>& unwinderFiles, const std::vector<std::string>& symbolFiles);
    ~ElfDebugHelp() override;

    bool Initialize(const char* searchPath) override;
    unsigned GetOptions() override { return options_; }
    unsigned SetOptions(unsigned options) override { return options_ = options; }
    bool HasSearchPath() const override { return dwfl_ != nullptr; }
    bool GetSearchPath(char* out, std::size_t size) override;
    int LoadModule(const char* imagePath, const char* moduleName, std::uint64_t base, std::uint64_t size) override;
    bool GetModuleInfo(std::uint64_t address, ModuleRecord& out) override;
    bool GetSymbol(std::uint64_t address, std::uint64_t& displacement, char* name, std::size_t size) override;
    bool HasLineLookup() const override { return dwfl_ && getSrc_ && lineInfo_; }
    bool GetLine(std::uint64_t address, std::uint32_t& displacement, std::uint32_t& line, char* file,
                 std::size_t size) override;
    bool StartWalk(const platform::ThreadContext& context, WalkFrame& frame) override;
    bool NextFrame(WalkFrame& frame) override;
    int LastError() const override { return lastError_; }

private:
    struct Module {
        std::uint64_t base;
        std::uint64_t size;
        std::string name;
        std::string path;
        bool reported;  // known to libdw
    };

    bool BindUnwinder();
    bool BindSymbols();
    bool Fail(int error)
    {
        lastError_ = error;
        return false;
    }
    int DwflError() const { return dwflErrno_ ? dwflErrno_() : kErrorNotFound; }
    const Module* FindModule(std::uint64_t address) const;
    DwflModule* FindDwflModule(std::uint64_t address) const { return dwfl_ ? addrModule_(dwfl_, address) : nullptr; }
    void ReadFrame(WalkFrame& frame);

    platform::DynamicLibrary unwinder_;
    platform::DynamicLibrary symbols_;
    UnwInitLocal2 initLocal2_ = nullptr;
    UnwStep step_ = nullptr;
    UnwGetReg getReg_ = nullptr;
    UnwIsSignalFrame isSignalFrame_ = nullptr;

    DwflBegin begin_ = nullptr;
    DwflEnd end_ = nullptr;
    DwflReportBeginAdd reportBeginAdd_ = nullptr;
    DwflReportElf reportElf_ = nullptr;
    DwflReportEnd reportEnd_ = nullptr;
    DwflAddrModule addrModule_ = nullptr;
    DwflModuleAddrInfo addrInfo_ = nullptr;
    DwflModuleInfo moduleInfo_ = nullptr;
    DwflModuleGetSrc getSrc_ = nullptr;
    DwflLineInfo lineInfo_ = nullptr;
    DwflLineCompDir lineCompDir_ = nullptr;
    DwflErrno dwflErrno_ = nullptr;
    void* findElf_ = nullptr;
    void* findDebuginfo_ = nullptr;

    Dwfl* dwfl_ = nullptr;
    std::string searchPath_;
    char* searchPathPointer_ = nullptr;
    DwflCallbacks callbacks_{};
    std::vector<Module> modules_;
    unsigned options_ = 0;
    int lastError_ = 0;

    platform::ThreadContext context_{};
    UnwindCursor cursor_{};
    bool inSignalFrame_ = false;  // the frame read last is a signal trampoline
};

ElfDebugHelp::~ElfDebugHelp()
{
    if (dwfl_)
        end_(dwfl_);
}

bool ElfDebugHelp::BindUnwinder()
{
    if (!kUnwindPrefix)
        return false;
    const std::string prefix = kUnwindPrefix;
    return unwinder_.Bind(initLocal2_, (prefix + "init_local2").c_str())
        && unwinder_.Bind(step_, (prefix + "step").c_str())
        && unwinder_.Bind(getReg_, (prefix + "get_reg").c_str())
        && unwinder_.Bind(isSignalFrame_, (prefix + "is_signal_frame").c_str());
}

bool ElfDebugHelp::BindSymbols()
{
    const bool required = symbols_.Bind(begin_, "dwfl_begin") && symbols_.Bind(end_, "dwfl_end")
        && symbols_.Bind(reportBeginAdd_, "dwfl_report_begin_add") && symbols_.Bind(reportElf_, "dwfl_report_elf")
        && symbols_.Bind(reportEnd_, "dwfl_report_end") && symbols_.Bind(addrModule_, "dwfl_addrmodule")
        && symbols_.Bind(addrInfo_, "dwfl_module_addrinfo") && symbols_.Bind(moduleInfo_, "dwfl_module_info")
        && symbols_.Bind(dwflErrno_, "dwfl_errno")
        && (findElf_ = symbols_.Symbol("dwfl_linux_proc_find_elf")) != nullptr
        && (findDebuginfo_ = symbols_.Symbol("dwfl_standard_find_debuginfo")) != nullptr;
    // Source lines are a bonus: names still come without them.
    symbols_.Bind(getSrc_, "dwfl_module_getsrc");
    symbols_.Bind(lineInfo_, "dwfl_lineinfo");
    symbols_.Bind(lineCompDir_, "dwfl_line_comp_dir");
    return required;
}

bool ElfDebugHelp::Open(const std::vector<std::string>& unwinderFiles, const std::vector<std::string>& symbolFiles)
{
    for (const std::string& file : unwinderFiles) {
        if (unwinder_.Load(file.c_str()) && BindUnwinder())
            break;
        unwinder_.Unload();
    }
    if (!unwinder_.IsLoaded())
        return false;
    for (const std::string& file : symbolFiles) {
        if (symbols_.Load(file.c_str()) && BindSymbols())
            break;
        symbols_.Unload();
    }
    return true;
}

bool ElfDebugHelp::Initialize(const char* searchPath)
{
    if (!symbols_.IsLoaded())
        return true;  // names from the dynamic linker need no start
    searchPath_ = searchPath ? searchPath : "";
    searchPathPointer_ = searchPath_.data();
    callbacks_.findElf = findElf_;
    callbacks_.findDebuginfo = findDebuginfo_;
    callbacks_.sectionAddress = nullptr;
    callbacks_.debuginfoPath = searchPath ? &searchPathPointer_ : nullptr;
    dwfl_ = begin_(&callbacks_);
    if (!dwfl_)
        return Fail(DwflError());
    return true;
}

bool ElfDebugHelp::GetSearchPath(char* out, std::size_t size)
{
    if (!dwfl_)
        return Fail(kErrorNotFound);
    // libdwfl's own default when none was given.
    CopyText(out, size, callbacks_.debuginfoPath ? searchPath_.c_str() : ":.debug:/usr/lib/debug");
    return true;
}

int ElfDebugHelp::LoadModule(const char* imagePath, const char* moduleName, std::uint64_t base, std::uint64_t size)
{
    Module m{base, size, moduleName ? moduleName : "", imagePath ? imagePath : "", false};
    int result = 0;
    if (dwfl_) {
        // One reporting round per module, so that look-ups work between them.
        reportBeginAdd_(dwfl_);
        m.reported = reportElf_(dwfl_, m.name.c_str(), m.path.c_str(), -1, base, false) != nullptr;
        if (!m.reported)
            result = DwflError();
        reportEnd_(dwfl_, nullptr, nullptr);
    }
    modules_.push_back(std::move(m));
    return result;
}

const ElfDebugHelp::Module* ElfDebugHelp::FindModule(std::uint64_t address) const
{
    for (const Module& m : modules_) {
        if (address >= m.base && address - m.base < m.size)
            return &m;
    }
    return nullptr;
}

bool ElfDebugHelp::GetModuleInfo(std::uint64_t address, ModuleRecord& out)
{
    const Module* known = FindModule(address);
    if (DwflModule* mod = FindDwflModule(address)) {
        std::uint64_t start = 0, end = 0, dwbias = kNotLoaded, symbias = kNotLoaded;
        const char* mainFile = nullptr;
        const char* debugFile = nullptr;
        const char* name = moduleInfo_(mod, nullptr, &start, &end, &dwbias, &symbias, &mainFile, &debugFile);
        out.base = start;
        out.size = end - start;
        out.symType = dwbias != kNotLoaded ? kSymPdb : symbias != kNotLoaded ? kSymSym : kSymDeferred;
        CopyText(out.moduleName, sizeof out.moduleName, name ? name : "");
        CopyText(out.imageName, sizeof out.imageName, mainFile ? mainFile : known ? known->path.c_str() : "");
        CopyText(out.loadedImageName, sizeof out.loadedImageName, debugFile ? debugFile : mainFile ? mainFile : "");
        return true;
    }
    if (!known)
        return Fail(kErrorInvalidAddress);
    out.base = known->base;
    out.size = known->size;
    out.symType = dwfl_ ? kSymNone : kSymExport;
    CopyText(out.moduleName, sizeof out.moduleName, known->name.c_str());
    CopyText(out.imageName, sizeof out.imageName, known->path.c_str());
    CopyText(out.loadedImageName, sizeof out.loadedImageName, known->path.c_str());
    return true;
}

bool ElfDebugHelp::GetSymbol(std::uint64_t address, std::uint64_t& displacement, char* name, std::size_t size)
{
    if (dwfl_) {
        DwflModule* mod = FindDwflModule(address);
        if (!mod)
            return Fail(kErrorInvalidAddress);
        std::uint64_t offset = 0;
        ElfSym sym{};
        const char* found = addrInfo_(mod, address, &offset, &sym, nullptr, nullptr, nullptr);
        if (!found)
            return Fail(kErrorNotFound);
        displacement = offset;
        CopyText(name, size, found);
        return true;
    }
    platform::AddressInfo info;
    if (!platform::LookUpAddress(address, info))
        return Fail(kErrorInvalidAddress);
    if (info.symbolName.empty())
        return Fail(kErrorNotFound);
    displacement = address - info.symbolAddress;
    CopyText(name, size, info.symbolName.c_str());
    return true;
}

bool ElfDebugHelp::GetLine(std::uint64_t address, std::uint32_t& displacement, std::uint32_t& line, char* file,
                           std::size_t size)
{
    if (!HasLineLookup())
        return Fail(kErrorNotFound);
    DwflModule* mod = FindDwflModule(address);
    DwflLine* found = mod ? getSrc_(mod, address) : nullptr;
    if (!found)
        return Fail(mod ? kErrorNotFound : kErrorInvalidAddress);
    std::uint64_t lineAddress = 0;
    int number = 0;
    const char* name = lineInfo_(found, &lineAddress, &number, nullptr, nullptr, nullptr);
    if (!name)
        return Fail(DwflError());
    displacement = static_cast<std::uint32_t>(address - lineAddress);
    line = static_cast<std::uint32_t>(number);
    // A name relative to the compilation's folder is made whole with it.
    const char* folder = name[0] != '/' && lineCompDir_ ? lineCompDir_(found) : nullptr;
    if (folder && *folder) {
        std::string full = std::string(folder) + "/" + name;
        CopyText(file, size, std::filesystem::path(full).lexically_normal().string().c_str());
    } else {
        CopyText(file, size, name);
    }
    return true;
}

void ElfDebugHelp::ReadFrame(WalkFrame& frame)
{
    frame.exact = inSignalFrame_ || frame.exact;
    getReg_(&cursor_, kRegIp, &frame.pc);
    getReg_(&cursor_, kRegSp, &frame.stackPointer);
    getReg_(&cursor_, kRegFp, &frame.framePointer);
    inSignalFrame_ = isSignalFrame_(&cursor_) > 0;
    // The caller's program counter, from a step of a copy of the cursor.
    UnwindCursor next = cursor_;
    const int stepped = step_(&next);
    frame.returnAddress = 0;
    frame.callerStackPointer = 0;
    if (stepped > 0) {
        getReg_(&next, kRegIp, &frame.returnAddress);
        getReg_(&next, kRegSp, &frame.callerStackPointer);
    }
    else if (stepped < 0)
        frame.returnAddress = kUnknownReturn;
}

bool ElfDebugHelp::StartWalk(const platform::ThreadContext& context, WalkFrame& frame)
{
    context_ = context;
    inSignalFrame_ = false;
    const int result = initLocal2_(&cursor_, &context_.native, context.exactInstruction ? kInitSignalFrame : 0);
    if (result < 0)
        return Fail(-result);
    frame = {};
    frame.exact = context.exactInstruction;
    ReadFrame(frame);
    return true;
}

bool ElfDebugHelp::NextFrame(WalkFrame& frame)
{
    const int stepped = step_(&cursor_);
    if (stepped <= 0)
        return Fail(stepped < 0 ? -stepped : kErrorNotFound);
    frame.exact = false;
    ReadFrame(frame);
    return true;
}

} // namespace

std::unique_ptr<IDebugHelp> OpenElfDebugHelp(const std::vector<std::string>& unwinderFiles,
                                             const std::vector<std::string>& symbolFiles)
{
    auto help = std::make_unique<ElfDebugHelp>();
    if (!help->Open(unwinderFiles, symbolFiles))
        return nullptr;
    return help;
}

} // namespace crash
