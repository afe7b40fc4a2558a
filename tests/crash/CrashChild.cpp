// A program that faults on purpose inside the crash guard, for the crash
// report tests. Built with debug information and without optimisation, so
// that its functions keep their frames and source lines.
//
// Usage: crash_child <mode> [file to delete after a crash]
// It prints "expect <function> <line>" for the frame the report must show,
// and "ready" once it waits for a signal from outside. In "busy-thread-fault"
// the main thread appends a byte to the file named by CRASH_CHILD_ALIVE every
// few milliseconds while another thread faults.

#include "crash/CrashReport.h"
#include "platform/CrashGuard.h"
#include "platform/GuardedRead.h"
#include "platform/MappedFile.h"
#include "platform/ThreadAltStack.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace crashchild {

// Not known to be null where it is used, so the write stays a plain store.
int* volatile g_nowhere = nullptr;

// The frame the report must show: the function (with its address when it is
// the one that faults) and the line.
void Expect(const char* function, int line, void (*code)() = nullptr)
{
    std::printf("expect %s %d %p\n", function, line, reinterpret_cast<void*>(code));
    std::fflush(stdout);
}

[[gnu::noinline]] void WriteThroughNull()
{
    Expect("crashchild::WriteThroughNull()", __LINE__ + 1, WriteThroughNull);
    *g_nowhere = 42;
}

[[gnu::noinline]] void CallAbort()
{
    Expect("crashchild::CallAbort()", __LINE__ + 1);
    std::abort();
}

[[gnu::noinline]] void ThrowUncaught()
{
    Expect("crashchild::ThrowUncaught()", __LINE__ + 1);
    throw std::runtime_error("nobody catches this");
}

[[gnu::noinline]] int Recurse(int depth)
{
    if (depth == 0)
        Expect("crashchild::Recurse(int)", 0);
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (depth == INT_MAX)
        return 0;
    return Recurse(depth + 1) + frame[0];  // not a tail call: every level keeps its frame
}

[[gnu::noinline]] void FaultOnThread()
{
    std::thread worker([] { WriteThroughNull(); });
    worker.join();
}

[[gnu::noinline]] void OverflowOnThread()
{
    std::thread worker([] {
        platform::ThreadAltStack altStack;
        Recurse(0);
    });
    worker.join();
}

// The main thread goes on working (as a window would) while another faults.
[[noreturn]] void FaultBesideBusyThread()
{
    const char* alive = std::getenv("CRASH_CHILD_ALIVE");
    FILE* file = alive ? std::fopen(alive, "w") : nullptr;
    if (!file)
        std::exit(3);
    static std::atomic<int> written{0};
    std::thread worker([] {
        while (written < 20)  // the main thread is well under way
            std::this_thread::yield();
        WriteThroughNull();
    });
    worker.detach();
    for (;; ++written) {
        std::fputc('.', file);
        std::fflush(file);
        usleep(2000);
    }
}

[[gnu::noinline]] void WaitForSignal()
{
    Expect("crashchild::WaitForSignal()", 0);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        pause();
}

// A mapped file cut short after mapping: a guarded read of the lost part
// answers false, an unguarded one raises SIGBUS.
[[gnu::noinline]] void ReadPastTruncatedMapping()
{
    char path[] = "/tmp/crash_child_XXXXXX";
    const int fd = mkstemp(path);
    std::string bytes(64 * 1024, 'x');
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        std::exit(3);
    close(fd);
    platform::MappedFile file;
    if (!file.Open(path) || truncate(path, 4096) != 0)
        std::exit(3);
    unlink(path);
    char buffer[16];
    const bool guarded = platform::GuardedCopy(buffer, file.Data() + 32768, sizeof buffer, file.Data(), file.Size());
    std::printf("guarded read %s\n", guarded ? "succeeded" : "failed");
    Expect("crashchild::ReadPastTruncatedMapping()", __LINE__ + 1, ReadPastTruncatedMapping);
    std::memcpy(buffer, file.Data() + 32768, sizeof buffer);
    std::printf("unguarded read %d\n", buffer[0]);
}

// A debug-help facility whose walk never ends, to show the walk's time limit.
class HangingDebugHelp final : public crash::IDebugHelp {
public:
    bool Initialize(const char*) override { return true; }
    unsigned GetOptions() override { return 0; }
    unsigned SetOptions(unsigned options) override { return options; }
    bool HasSearchPath() const override { return false; }
    bool GetSearchPath(char*, std::size_t) override { return false; }
    int LoadModule(const char*, const char*, std::uint64_t, std::uint64_t) override { return 0; }
    bool GetModuleInfo(std::uint64_t, crash::ModuleRecord&) override { return false; }
    bool GetSymbol(std::uint64_t, std::uint64_t&, char*, std::size_t) override { return false; }
    bool HasLineLookup() const override { return false; }
    bool GetLine(std::uint64_t, std::uint32_t&, std::uint32_t&, char*, std::size_t) override { return false; }
    bool StartWalk(const platform::ThreadContext&, crash::WalkFrame&) override
    {
        for (;;)
            pause();
    }
    bool NextFrame(crash::WalkFrame&) override { return false; }
    int LastError() const override { return 0; }
};

std::unique_ptr<crash::IDebugHelp> OpenHanging(const std::vector<std::string>&, const std::vector<std::string>&)
{
    return std::make_unique<HangingDebugHelp>();
}

int FaultingFilter(const platform::CrashInfo&)
{
    *g_nowhere = 1;  // a second fault, inside the handler
    return 1;
}

void Run(const std::string& mode)
{
    if (mode == "null-write" || mode == "no-symbols" || mode == "hang-walk" || mode == "hang-walk-past-watchdog" ||
        mode == "small-file-limit")
        WriteThroughNull();
    else if (mode == "abort")
        CallAbort();
    else if (mode == "throw")
        ThrowUncaught();
    else if (mode == "stack-overflow")
        Recurse(0);
    else if (mode == "thread-fault")
        FaultOnThread();
    else if (mode == "thread-stack-overflow")
        OverflowOnThread();
    else if (mode == "busy-thread-fault")
        FaultBesideBusyThread();
    else if (mode == "wait-for-signal" || mode == "wait-for-signal-slow-walk")
        WaitForSignal();
    else if (mode == "bus-error")
        ReadPastTruncatedMapping();
}

} // namespace crashchild

int main(int argc, char** argv)
{
    using namespace crashchild;
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (argc < 2)
        return 2;
    const std::string mode = argv[1];
    if (argc > 2)
        platform::SetFileToDeleteOnCrash(argv[2]);
    if (mode == "no-symbols") {
        crash::Sources().unwinderLibrary = "libquillmend-missing.so.0";
        crash::Sources().symbolLibrary = "libquillmend-missing.so.0";
    } else if (mode == "hang-walk") {
        crash::Sources().open = OpenHanging;
        crash::SetReportWalkTimeout(1);
    } else if (mode == "hang-walk-past-watchdog") {
        // A walk that takes longer than the watchdog's whole time.
        crash::Sources().open = OpenHanging;
        crash::SetReportWalkTimeout(2);
        platform::SetCrashWatchdogSeconds(1);
    } else if (mode == "small-file-limit") {
        // Files may not grow past a few bytes, as on a full disk.
        const rlimit small{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &small);
    } else if (mode == "wait-for-signal-slow-walk") {
        crash::Sources().open = OpenHanging;
        crash::SetReportWalkTimeout(4);
    }

    if (mode == "bus-error") {
        // The read guard is in place before the crash guard, as when the
        // program reads a mail file before its dialog runs.
        char from[4] = {}, to[4];
        platform::GuardedCopy(to, from, sizeof to, from, sizeof from);
    }
    if (mode == "fault-in-filter") {
        platform::CrashGuard guard(FaultingFilter);
        WriteThroughNull();
    } else {
        crash::RunInCrashGuard([&mode] { Run(mode); });
    }
    if (mode == "outside-guard")
        WriteThroughNull();  // the guard is gone: the default action
    return 0;
}
