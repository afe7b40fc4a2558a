#include "crash/CCallStackWalker.h"
#include "crash/CDbgHelpLoader.h"
#include "platform/SystemInfo.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

using crash::CCallStackWalker;
using testsupport::TempDir;

namespace {

// --- a debug-help facility made of a table ----------------------------------------

struct FakeFrame {
    std::uint64_t pc, sp, returnAddress, callerSp;
    const char* symbol;  // raw name; null: none
    const char* file;    // null: no line information
    unsigned line;
    const char* module;
};

struct FakeWorld {
    std::vector<FakeFrame> frames;
    std::vector<std::string> loadedModules;
    bool startFails = false;
};
FakeWorld g_world;

class FakeDebugHelp final : public crash::IDebugHelp {
public:
    bool Initialize(const char*) override { return true; }
    unsigned GetOptions() override { return 0; }
    unsigned SetOptions(unsigned options) override { return options; }
    bool HasSearchPath() const override { return false; }
    bool GetSearchPath(char*, std::size_t) override { return false; }
    int LoadModule(const char* path, const char*, std::uint64_t, std::uint64_t) override
    {
        g_world.loadedModules.push_back(path);
        return 0;
    }
    bool GetModuleInfo(std::uint64_t address, crash::ModuleRecord& out) override
    {
        out.symType = crash::kSymPdb;
        return Text(address, &FakeFrame::module, out.moduleName, sizeof out.moduleName);
    }
    bool GetSymbol(std::uint64_t address, std::uint64_t& displacement, char* name, std::size_t size) override
    {
        displacement = 0;
        return Text(address, &FakeFrame::symbol, name, size);
    }
    bool HasLineLookup() const override { return true; }
    bool GetLine(std::uint64_t address, std::uint32_t& displacement, std::uint32_t& line, char* file,
                 std::size_t size) override
    {
        displacement = 0;
        line = At(address) ? At(address)->line : 0;
        return Text(address, &FakeFrame::file, file, size);
    }
    bool StartWalk(const platform::ThreadContext&, crash::WalkFrame& frame) override
    {
        if (g_world.startFails || g_world.frames.empty())
            return Fail();
        next_ = 0;
        return NextFrame(frame);
    }
    bool NextFrame(crash::WalkFrame& frame) override
    {
        if (next_ >= g_world.frames.size())
            return Fail();
        const FakeFrame& f = g_world.frames[next_++];
        frame = {};
        frame.pc = f.pc;
        frame.stackPointer = f.sp;
        frame.returnAddress = f.returnAddress;
        frame.callerStackPointer = f.callerSp;
        frame.exact = next_ == 1;
        return true;
    }
    int LastError() const override { return error_; }

private:
    // Look-ups come for the program counter, or the byte before it.
    static const FakeFrame* At(std::uint64_t address)
    {
        for (const FakeFrame& f : g_world.frames) {
            if (address == f.pc || address + 1 == f.pc)
                return &f;
        }
        return nullptr;
    }
    bool Fail()
    {
        error_ = 1168;
        return false;
    }
    // The text `field` of the frame at `address`, if it has one.
    bool Text(std::uint64_t address, const char* FakeFrame::*field, char* out, std::size_t size)
    {
        const FakeFrame* f = At(address);
        if (!f || !(f->*field))
            return Fail();
        std::snprintf(out, size, "%s", f->*field);
        return true;
    }
    std::size_t next_ = 0;
    int error_ = 0;
};

std::unique_ptr<crash::IDebugHelp> OpenFake(const std::vector<std::string>&, const std::vector<std::string>&)
{
    return std::make_unique<FakeDebugHelp>();
}

std::unique_ptr<crash::IDebugHelp> OpenNothing(const std::vector<std::string>&, const std::vector<std::string>&)
{
    return nullptr;
}

// Swaps the walker's sources for a test and puts them back.
struct SourcesScope {
    explicit SourcesScope(crash::DebugHelpOpener open) : saved(crash::Sources())
    {
        crash::Sources().open = open;
        g_world = {};
    }
    ~SourcesScope() { crash::Sources() = saved; }
    crash::DebugHelpSources saved;
};

// Records what leaves the walker: every line, and the entries and errors.
class RecordingWalker : public CCallStackWalker {
public:
    explicit RecordingWalker(unsigned options = 0)
        : CCallStackWalker(options, nullptr, platform::CurrentProcessId())
    {
    }
    std::vector<std::string> lines;
    std::vector<StackEntryKind> kinds;
    std::vector<std::string> names;  // full readable names, per entry
    std::vector<std::string> errors;

protected:
    void OnStackEntry(StackEntryKind kind, const StackEntry& entry) override
    {
        kinds.push_back(kind);
        names.push_back(entry.undFullName);
        CCallStackWalker::OnStackEntry(kind, entry);
    }
    void OnHelperError(const char* function, int code, std::uint64_t address) override
    {
        errors.push_back(function);
        CCallStackWalker::OnHelperError(function, code, address);
    }
    void OnLine(const char* text) override { lines.push_back(text); }
};

std::vector<std::string> FrameLines(const RecordingWalker& w)
{
    std::vector<std::string> out;
    for (const std::string& l : w.lines) {
        if (!l.empty() && l.front() == '[' && l.rfind("[OS-Version", 0) != 0)
            out.push_back(l);
    }
    return out;
}

} // namespace

// --- frames as lines --------------------------------------------------------------------

TEST(CallStackWalker, PrintsOneLineAFrameGoesOnPastFailedLookUpsAndEndsWhereTheUnwinderMakesNoHeadway)
{
    const std::string kSym = "SymGetSymFromAddr64", kLine = "SymGetLineFromAddr64", kModule = "SymGetModuleInfo64",
                      kStep = "StackWalk64", kEndless = "StackWalk64-Endless-Callstack!";
    struct Case {
        const char* what;
        std::vector<FakeFrame> frames;
        std::vector<std::string> frameLines;  // innermost first
        const char* kinds;                    // of the entries: First, Next, Last
        std::vector<std::string> errors;
        const char* errorLine = nullptr;  // one of the lines that tell them
        bool startFails = false;
    } cases[] = {
        // With line information; without: address, module, name; nothing
        // known: blanks and the full address.
        {"three frames",
         {{0x401000, 0x100, 0x402000, 0x200, "_ZN2ns3RunEv", "/src/run.cpp", 12, "app"},
          {0x402000, 0x200, 0x7FFF12345678, 0x300, "main", nullptr, 0, "app"},
          {0x7FFF12345678, 0x300, 0, 0, nullptr, nullptr, 0, nullptr}},
         {"[/src/run.cpp (12): ns::Run()]", "[00402000 (app):  : main]", "[7FFF12345678 ( ):  :  ]"},
         "FNNL",
         {kLine, kSym, kLine, kModule},
         "ERROR: SymGetModuleInfo64, GetLastError: 1114 (Address: 7FFF12345678)\n"},
        {"the caller is the frame itself", {{0x5000, 0x100, 0x5000, 0x100, "poll", nullptr, 0, "m"}}, {}, "",
         {kEndless}},
        {"a recursion returns to the same place from ever higher frames",
         {{0x5000, 0x100, 0x5000, 0x200, "poll", nullptr, 0, "m"}, {0x5000, 0x200, 0, 0, "poll", nullptr, 0, "m"}},
         {"[00005000 (m):  : poll]", "[00005000 (m):  : poll]"}, "FNL", {kLine, kLine}},
        {"the next step fails", {{0x5000, 0x100, 0x6000, 0x200, "poll", nullptr, 0, "m"}},
         {"[00005000 (m):  : poll]"}, "F", {kLine, kStep}},
        {"the walk cannot start", {}, {}, "", {kStep}, nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SourcesScope scope(OpenFake);
        g_world.frames = c.frames;
        g_world.startFails = c.startFails;
        RecordingWalker walker;
        EXPECT_TRUE(walker.WalkStack(platform::CurrentThread()));
        EXPECT_EQ(FrameLines(walker), c.frameLines);
        std::string kinds;
        for (const auto kind : walker.kinds)
            kinds += "FNL"[static_cast<int>(kind)];
        EXPECT_EQ(kinds, c.kinds);
        EXPECT_EQ(walker.errors, c.errors);
        if (kinds.ends_with('L')) {
            EXPECT_EQ(walker.LastError(), 0);
        }
        if (c.errorLine) {
            EXPECT_NE(std::find(walker.lines.begin(), walker.lines.end(), c.errorLine), walker.lines.end());
        }
    }
}

TEST(CallStackWalker, WithoutTheLibrariesNothingIsWalkedAndTheErrorIsKept)
{
    SourcesScope scope(OpenNothing);
    RecordingWalker walker;
    EXPECT_FALSE(walker.WalkStack(platform::CurrentThread()));
    EXPECT_EQ(walker.LastError(), CCallStackWalker::kErrorLibraryNotUsable);
    EXPECT_EQ(walker.errors, (std::vector<std::string>{"Error while initializing dbghelp.dll"}));
    EXPECT_TRUE(walker.kinds.empty());
    // The next walk tries again.
    crash::Sources().open = OpenFake;
    g_world.frames = {{0x5000, 0x100, 0, 0, "f", nullptr, 0, "m"}};
    EXPECT_TRUE(walker.WalkStack(platform::CurrentThread()));
    EXPECT_EQ(walker.kinds.size(), 2u);
}

// --- the two module lists -----------------------------------------------------------------

namespace {

std::string MapsLine(std::uint64_t start, const char* perms, const std::string& path)
{
    char line[256];
    std::snprintf(line, sizeof line, "%llx-%llx %s 00000000 08:01 1234 %s\n", static_cast<unsigned long long>(start),
                  static_cast<unsigned long long>(start + 0x1000), perms, path.c_str());
    return line;
}

} // namespace

TEST(CallStackWalker, ModulesComeFromTheLoaderAndElseFromTheMappingList)
{
    TempDir dir;
    const std::string maps = dir.File("maps");
    testsupport::WriteFile(maps, MapsLine(0x10000, "r--p", "/opt/app/bin/app") + MapsLine(0x11000, "r-xp", "/opt/app/bin/app")
                                     + MapsLine(0x20000, "r-xp", "/lib/libz.so.1")
                                     + MapsLine(0x30000, "r--s", "/home/u/Inbox.dbx")  // a mapped mail file: no code
                                     + MapsLine(0x40000, "rw-p", "[heap]"));
    const std::string longMaps = dir.File("long-maps");
    std::string text;
    for (std::size_t i = 0; i <= crash::CDbgHelpLoader::kMaxListedModules; ++i)
        text += MapsLine(0x100000 + i * 0x2000, "r-xp", "/lib/lib" + std::to_string(i) + ".so");
    testsupport::WriteFile(longMaps, text);
    struct Case {
        const char* what;
        std::vector<std::string> loaderLibraries;
        std::string mapsFile;
        bool loaded;
    } cases[] = {
        {"the loader's list", {"libc.so.6"}, "/nonexistent/maps", true},
        {"no library has the loader's list", {"libquillmend-missing.so.0", "libm-missing.so.6"}, maps, true},
        {"neither list", {"libquillmend-missing.so.0"}, "/nonexistent/maps", false},
        {"a mapping list longer than its buffer", {}, longMaps, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SourcesScope scope(OpenFake);
        crash::Sources().loaderListLibraries = c.loaderLibraries;
        crash::Sources().mapsFile = c.mapsFile;
        RecordingWalker walker;
        EXPECT_EQ(walker.LoadSymbolModules(), c.loaded);
        if (c.mapsFile == maps)
            EXPECT_EQ(g_world.loadedModules, (std::vector<std::string>{"/opt/app/bin/app", "/lib/libz.so.1"}));
        else if (c.loaded)
            EXPECT_GT(g_world.loadedModules.size(), 2u);  // this test program, libc, ...
        else
            EXPECT_TRUE(g_world.loadedModules.empty());
    }
}

TEST(CallStackWalker, ModuleLinesCarryTheFileVersionWhenAsked)
{
    TempDir dir;
    testsupport::WriteFile(dir.File("libquill.so.6.4.2"), "not really a library");
    std::filesystem::create_symlink("libquill.so.6.4.2", dir.Path() / "libquill.so.6");
    EXPECT_EQ(crash::ModuleFileVersion(dir.File("libquill.so.6")), 0x0006000400020000u);
    EXPECT_EQ(crash::ModuleFileVersion("/nonexistent/libx.so.1"), 0u);

    TempDir maps;
    testsupport::WriteFile(maps.File("maps"), MapsLine(0x7F0012340000, "r-xp", dir.File("libquill.so.6")));
    SourcesScope scope(OpenFake);
    crash::Sources().loaderListLibraries = {};
    crash::Sources().mapsFile = maps.File("maps");
    RecordingWalker walker(CCallStackWalker::kRetrieveFileVersion);
    ASSERT_TRUE(walker.LoadSymbolModules());
    const std::string expected = dir.File("libquill.so.6") + ":libquill.so.6 (7F0012340000), size: 4096 (result: 0), "
                                 "SymType: '-unknown-', PDB: '', fileVersion: 6.4.2.0\n";
    EXPECT_NE(std::find(walker.lines.begin(), walker.lines.end(), expected), walker.lines.end());
}

// --- real stacks --------------------------------------------------------------------------------

namespace {

[[gnu::noinline]] void ParkedInKnownFunction(std::atomic<bool>& parked, const std::atomic<bool>& release)
{
    parked = true;
    // Asleep in the C library, as a blocked thread usually is: a wait on the
    // atomic itself parks in a frame the walk cannot always step out of.
    while (!release)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A thread parked in a function of a known name until it is let go (and
// joined) at the end of the scope; optionally with every signal blocked.
class ParkedThread {
public:
    explicit ParkedThread(bool deaf = false)
        : thread_([this, deaf] {
              if (deaf) {
                  sigset_t all;
                  sigfillset(&all);
                  pthread_sigmask(SIG_BLOCK, &all, nullptr);
              }
              ParkedInKnownFunction(parked_, release_);
          })
    {
        while (!parked_)
            std::this_thread::yield();
    }
    ~ParkedThread()
    {
        release_ = true;
        thread_.join();
    }
    pthread_t Handle() { return thread_.native_handle(); }

private:
    std::atomic<bool> parked_{false};
    std::atomic<bool> release_{false};
    std::thread thread_;
};

bool HasLibraries()
{
    RecordingWalker probe;
    return probe.LoadSymbolModules();
}

} // namespace

TEST(CallStackWalker, AWalkOfTheCallingThreadStartsInsideWalkStack)
{
    if (!HasLibraries())
        GTEST_SKIP() << "libunwind is not installed";
    RecordingWalker walker;
    ASSERT_TRUE(walker.WalkStack(platform::CurrentThread()));
    ASSERT_GE(walker.names.size(), 3u);
    EXPECT_EQ(walker.names[0].rfind("crash::CCallStackWalker::WalkStack(", 0), 0u) << walker.names[0];
    EXPECT_EQ(walker.LastError(), 0);
}

TEST(CallStackWalker, AnotherThreadIsHeldForItsWalkUnlessItDoesNotAnswer)
{
    if (!HasLibraries())
        GTEST_SKIP() << "libunwind is not installed";
    RecordingWalker walker;
    {
        ParkedThread deaf(true);
        EXPECT_FALSE(walker.WalkStack(deaf.Handle()));
        EXPECT_TRUE(walker.kinds.empty());
    }
    // The hold it never answered changes nothing for the next one, which
    // runs on afterwards (it is joined at the end of the scope).
    {
        ParkedThread parked;
        ASSERT_TRUE(walker.WalkStack(parked.Handle()));
    }
    EXPECT_NE(std::find_if(walker.names.begin(), walker.names.end(),
                           [](const std::string& n) { return n.find("ParkedInKnownFunction") != std::string::npos; }),
              walker.names.end());
}
