#pragma once
// A thread's call stack as text: one line per frame, innermost first, with
// function name, source file and line where symbols allow, and module and
// address otherwise. The debug-help libraries are loaded at the first walk,
// so the program starts and runs without them; only the walk needs them.
// Results leave the class only through the virtual hooks below, each of
// which formats a line and hands it to OnLine unless a subclass overrides it.

#include "crash/DebugHelp.h"
#include "platform/ThreadContext.h"

#include <cstdint>
#include <memory>
#include <string>

namespace crash {

class CDbgHelpLoader;

class CCallStackWalker {
public:
    // Option bits. Only kRetrieveFileVersion and kSymBuildPath change
    // anything; the others are accepted.
    enum Options : unsigned {
        kRetrieveSymbol = 0x01,
        kRetrieveLine = 0x02,
        kRetrieveModuleInfo = 0x04,
        kRetrieveFileVersion = 0x08,  // read each module's file version
        kSymBuildPath = 0x10,         // build the symbol search path
        kSymUseSymSrv = 0x20,
        kOptionsAll = 0x3f,
    };

    // Error codes left for the caller (LastError).
    static constexpr int kErrorLibraryNotUsable = 1114;
    static constexpr int kErrorNotEnoughMemory = 8;

    enum StackEntryKind { kFirstEntry = 0, kNextEntry = 1, kLastEntry = 2 };

    struct StackEntry {
        std::uint64_t address = 0;
        char name[kMaxNameLength] = {};          // as the symbol engine has it
        char undName[kMaxNameLength] = {};       // readable, name only
        char undFullName[kMaxNameLength] = {};   // readable, complete
        std::uint64_t symbolDisplacement = 0;
        std::uint32_t lineDisplacement = 0;
        std::uint32_t lineNumber = 0;
        char lineFileName[kMaxNameLength] = {};
        const char* symTypeName = nullptr;
        char moduleName[kMaxNameLength] = {};
        std::uint64_t moduleBase = 0;
        char loadedImageName[kMaxNameLength] = {};
    };

    // `userSymbolPath` (may be null) goes first in the search path for
    // separate debug files and sets kSymBuildPath. Walks are of this
    // process: `processId` is its id (a process id is its handle here).
    CCallStackWalker(unsigned options, const char* userSymbolPath, int processId);
    virtual ~CCallStackWalker();
    CCallStackWalker(const CCallStackWalker&) = delete;
    CCallStackWalker& operator=(const CCallStackWalker&) = delete;

    // Loads the libraries and the symbols of every module, once; true when
    // done. False leaves kErrorLibraryNotUsable (or kErrorNotEnoughMemory).
    bool LoadSymbolModules();

    // Walks `thread` from `context`, or, without one, from where it is: the
    // calling thread from inside this function, another thread held still
    // for the walk (its signal must not be blocked). True when the walk ran
    // (it may have ended early, reported through OnHelperError); false when
    // the libraries are not usable or the thread's registers cannot be had.
    // Walks must not overlap.
    bool WalkStack(platform::ThreadHandle thread, const platform::ThreadContext* context = nullptr);

    // The error code left by the last call: kErrorLibraryNotUsable,
    // kErrorNotEnoughMemory, or 0 after a walk that reached the last frame.
    int LastError() const { return lastError_; }

    // The text of symbol-type code `code`; null for unknown codes.
    static const char* SymTypeName(int code);

protected:
    virtual void OnSymbolsInitialized(const char* searchPath, unsigned symOptions, const char* userName);
    virtual void OnModuleLoaded(const char* imagePath, const char* moduleName, std::uint64_t base,
                                std::uint64_t size, int result, const char* symType, const char* pdbName,
                                std::uint64_t fileVersion);
    virtual void OnStackEntry(StackEntryKind kind, const StackEntry& entry);
    virtual void OnHelperError(const char* function, int errorCode, std::uint64_t address);
    // Default: the text goes to the standard error stream.
    virtual void OnLine(const char* text);

private:
    friend class CDbgHelpLoader;

    void LookUp(const WalkFrame& frame, StackEntry& entry);
    std::string BuildSearchPath() const;

    std::unique_ptr<CDbgHelpLoader> loader_;
    int processId_;
    bool modulesLoaded_ = false;
    bool hasUserSymbolPath_ = false;
    std::string userSymbolPath_;
    unsigned options_;
    int lastError_ = 0;
};

} // namespace crash
