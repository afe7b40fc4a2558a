// The crash report end to end: a program that faults on purpose
// (CrashChild.cpp) runs as a child process, from a folder of its own that
// holds a stand-in report program or none, and what it leaves is checked.

#include "crash/ReportPage.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using testsupport::ReadFile;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

struct Expected {
    std::string function;  // as the frame line names it
    int line = 0;          // 0: not checked
    std::uint64_t code = 0;  // the function's address when it is the faulting one
};

struct ChildRun {
    int status = -1;
    std::string out;
    bool reportProgramRan = false;
    std::string record;  // what the stand-in wrote about itself
    std::string page;    // the page the stand-in found
    bool pageLeft = true;
    bool pageWritten = false;
    bool pageDeleted = false;
    double seconds = 0;
    std::string privateFolder;

    std::vector<Expected> expected() const
    {
        std::vector<Expected> e;
        std::istringstream lines(out);
        std::string word;
        while (lines >> word) {
            if (word != "expect")
                continue;
            Expected x;
            std::string code;
            lines >> x.function >> x.line >> code;
            x.code = code == "(nil)" ? 0 : std::stoull(code, nullptr, 16);
            e.push_back(x);
        }
        return e;
    }
    // The text area's lines.
    std::vector<std::string> reportLines() const
    {
        const auto start = page.find("<textarea");
        const auto open = page.find('>', start);
        const auto end = page.find("</textarea>");
        std::vector<std::string> lines;
        if (start == std::string::npos || end == std::string::npos)
            return lines;
        std::string text = page.substr(open + 1, end - open - 1);
        for (std::size_t at = 0; at < text.size();) {
            const auto crlf = text.find("\r\n", at);
            lines.push_back(text.substr(at, crlf - at));
            at = crlf == std::string::npos ? text.size() : crlf + 2;
        }
        return lines;
    }
};

struct RunOptions {
    bool withReportProgram = true;
    std::string oldPage;       // a page left by an earlier run
    bool sendSignal = false;   // kill -SEGV once the child says "ready"
    bool guarded = true;       // the fault happens inside the guard
};

void CopyExecutable(const fs::path& from, const fs::path& to)
{
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

// Runs crash_child <mode> <preview file> from a folder of its own and waits
// at most a minute for it.
ChildRun RunChild(const TempDir& dir, const std::string& mode, const RunOptions& options = {})
{
    ChildRun run;
    const fs::path bin = dir.Path() / "bin";
    const fs::path runtime = dir.Path() / "runtime";
    fs::create_directories(bin);
    CopyExecutable(CRASH_CHILD, bin / "crash_child");
    if (options.withReportProgram)
        CopyExecutable(REPORT_STANDIN, bin / "quillmend-bugreport");
    run.privateFolder = (runtime / ("quillmend-" + std::to_string(getuid()))).string();
    fs::create_directories(run.privateFolder);
    chmod(runtime.c_str(), 0700);
    chmod(run.privateFolder.c_str(), 0700);
    const std::string page = run.privateFolder + "/bugreport.htm";
    if (!options.oldPage.empty())
        testsupport::WriteFile(page, options.oldPage);
    const std::string preview = dir.File("preview.mht");
    testsupport::WriteFile(preview, "From: someone\r\n\r\nprivate text\r\n");
    const std::string record = dir.File("record");

    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(watch, run.privateFolder.c_str(), IN_CLOSE_WRITE | IN_DELETE);

    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtime.string(), "QUILLMEND_STANDIN_RECORD=" + record,
                                    "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string exe = (bin / "crash_child").string();
    std::vector<std::string> args = {exe, mode, preview};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addchdir_np(&actions, dir.Path().c_str());
    pid_t pid = -1;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    // Read what it prints until every writer has gone, then reap it.
    const auto deadline = started + std::chrono::seconds(60);
    bool signalled = false;
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[4096];
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            run.out.append(buffer, static_cast<std::size_t>(n));
        }
        if (options.sendSignal && !signalled && run.out.find("ready\n") != std::string::npos) {
            kill(pid, SIGSEGV);
            signalled = true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            ADD_FAILURE() << "the child did not end: " << run.out;
            break;
        }
    }
    close(out[0]);
    waitpid(pid, &run.status, 0);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    alignas(inotify_event) char events[8192];
    const ssize_t n = read(watch, events, sizeof events);
    for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(events + at);
        if (e->len && std::string(e->name) == "bugreport.htm") {
            run.pageWritten = run.pageWritten || (e->mask & IN_CLOSE_WRITE);
            run.pageDeleted = run.pageDeleted || (e->mask & IN_DELETE);
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
    close(watch);

    run.reportProgramRan = fs::exists(record);
    run.record = ReadFile(record);
    run.page = ReadFile(record + ".page");
    run.pageLeft = fs::exists(page);
    // The guard deletes the preview file; without it, it stays behind.
    EXPECT_NE(fs::exists(preview), options.guarded) << "the preview file";
    return run;
}

bool EndedWith(int status, int signal)
{
    return WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal;
}

bool HasFrameLines(const std::vector<std::string>& lines)
{
    for (const std::string& l : lines) {
        if (!l.empty() && l.front() == '[')
            return true;
    }
    return false;
}

} // namespace

// --- faults of every kind -------------------------------------------------------------------

TEST(CrashReport, EveryKindOfFaultGetsAPageWithItsCodeAddressAndFaultingFrame)
{
    struct Case {
        const char* mode;
        const char* code;
        int signal;
        bool faultsInExpectedFunction;  // the address lies in the named function
    } cases[] = {
        {"null-write", "Exception Code:0xc0000005", SIGSEGV, true},
        {"abort", "Exception Code:0x40000015", SIGABRT, false},
        {"throw", "Exception Code:0x40000015", SIGABRT, false},
        {"stack-overflow", "Exception Code:0xc0000005", SIGSEGV, false},
        {"thread-fault", "Exception Code:0xc0000005", SIGSEGV, true},
        {"bus-error", "Exception Code:0xc0000006", SIGBUS, false},  // faults in memcpy
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        TempDir dir;
        const ChildRun run = RunChild(dir, c.mode);
        EXPECT_TRUE(EndedWith(run.status, c.signal)) << "status " << run.status;
        ASSERT_TRUE(run.reportProgramRan);
        EXPECT_EQ(run.record, "args=0\ncwd=" + run.privateFolder + "\n");
        EXPECT_FALSE(run.pageLeft);

        const std::vector<std::string> lines = run.reportLines();
        ASSERT_GE(lines.size(), 4u) << run.page;
        EXPECT_EQ(lines[0], "Version 1.1 Building Date:080127");
        EXPECT_EQ(lines[1], c.code);
        ASSERT_EQ(lines[2].rfind("Exception Address:0x", 0), 0u);
        const std::uint64_t address = std::stoull(lines[2].substr(20), nullptr, 16);
        EXPECT_GT(address, 0xFFFFFFFFu) << "the address lost its upper half";
        EXPECT_TRUE(run.page.ends_with(crash::kReportTail));

        const auto expected = run.expected();
        ASSERT_FALSE(expected.empty()) << run.out;
        const Expected& e = expected.back();
        if (c.faultsInExpectedFunction) {
            EXPECT_GE(address, e.code);
            EXPECT_LT(address, e.code + 256);
        }
        // "[<folder>/CrashChild.cpp (<line>): <function>]"
        bool named = false;
        for (const std::string& l : lines) {
            const auto file = l.find("/CrashChild.cpp (");
            if (l.front() != '[' || file == std::string::npos || !l.ends_with("): " + e.function + "]"))
                continue;
            named = e.line == 0 || std::stoi(l.substr(file + 17)) == e.line;
            if (named)
                break;
        }
        EXPECT_TRUE(named) << "no frame names " << e.function << " at line " << e.line << " in\n" << run.page;
    }
}

TEST(CrashReport, ASignalSentByAnotherProcessIsReportedLikeAFault)
{
    TempDir dir;
    RunOptions options;
    options.sendSignal = true;
    const ChildRun run = RunChild(dir, "wait-for-signal", options);
    EXPECT_TRUE(EndedWith(run.status, SIGSEGV)) << "status " << run.status;
    const auto lines = run.reportLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Exception Code:0xc0000005");
    EXPECT_NE(run.page.find("): crashchild::WaitForSignal()]"), std::string::npos) << run.page;
}

TEST(CrashReport, AGuardedReadStillFailsQuietlyInsideTheCrashGuard)
{
    TempDir dir;
    const ChildRun run = RunChild(dir, "bus-error");
    EXPECT_NE(run.out.find("guarded read failed\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("unguarded read"), std::string::npos);
    EXPECT_TRUE(EndedWith(run.status, SIGBUS));
}

// --- what goes wrong around the report ----------------------------------------------------------

TEST(CrashReport, WithoutTheReportProgramThePageIsWrittenAndDeletedAtOnce)
{
    TempDir dir;
    RunOptions options;
    options.withReportProgram = false;
    const ChildRun run = RunChild(dir, "null-write", options);
    EXPECT_TRUE(EndedWith(run.status, SIGSEGV));
    EXPECT_FALSE(run.reportProgramRan);
    EXPECT_TRUE(run.pageWritten);
    EXPECT_TRUE(run.pageDeleted);
    EXPECT_FALSE(run.pageLeft);
}

TEST(CrashReport, APageFromAnEarlierRunIsOverwritten)
{
    TempDir dir;
    RunOptions options;
    options.oldPage = std::string(100000, 'o') + "OLD REPORT";
    const ChildRun run = RunChild(dir, "null-write", options);
    ASSERT_TRUE(run.reportProgramRan);
    EXPECT_TRUE(run.page.starts_with(crash::kReportHead));
    EXPECT_EQ(run.page.find("OLD REPORT"), std::string::npos);
    EXPECT_TRUE(run.page.ends_with(crash::kReportTail));
}

TEST(CrashReport, WithoutTheSymbolLibrariesThePageHasNoFrameLines)
{
    TempDir dir;
    const ChildRun run = RunChild(dir, "no-symbols");
    EXPECT_TRUE(EndedWith(run.status, SIGSEGV));
    ASSERT_TRUE(run.reportProgramRan);
    const auto lines = run.reportLines();
    ASSERT_EQ(lines.size(), 3u) << run.page;  // version, code, address
    EXPECT_EQ(lines[1], "Exception Code:0xc0000005");
    EXPECT_FALSE(HasFrameLines(lines));
}

TEST(CrashReport, AWalkThatHangsCostsOnlyTheFrameLines)
{
    TempDir dir;
    const ChildRun run = RunChild(dir, "hang-walk");  // a walk limited to one second
    EXPECT_TRUE(EndedWith(run.status, SIGSEGV));
    EXPECT_LT(run.seconds, 8.0);
    ASSERT_TRUE(run.reportProgramRan);
    const auto lines = run.reportLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Exception Code:0xc0000005");
    EXPECT_FALSE(HasFrameLines(lines));
    EXPECT_FALSE(run.pageLeft);
}

TEST(CrashReport, AFaultInsideTheHandlerEndsTheProcessAtOnce)
{
    TempDir dir;
    const ChildRun run = RunChild(dir, "fault-in-filter");
    EXPECT_TRUE(EndedWith(run.status, SIGSEGV)) << "status " << run.status;
    EXPECT_LT(run.seconds, 8.0);
    EXPECT_FALSE(run.reportProgramRan);
}

TEST(CrashReport, AfterTheGuardedRunAFaultTakesItsDefaultCourse)
{
    TempDir dir;
    RunOptions options;
    options.guarded = false;
    const ChildRun run = RunChild(dir, "outside-guard", options);
    // Killed by the signal; in a sanitizer build the sanitizer's own handler,
    // which was there before the guard, reports it instead.
    EXPECT_TRUE(run.status != 0 && !EndedWith(run.status, SIGSEGV)) << "status " << run.status;
    EXPECT_FALSE(run.pageWritten);
    EXPECT_FALSE(run.reportProgramRan);
}
