// The crash report end to end: a program that faults on purpose
// (CrashChild.cpp) runs as a child process, from a folder of its own that
// holds a stand-in report program (or none, or one that cannot start), and
// what it leaves is checked.

#include "crash/ReportPage.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testsupport::ReadFile;
using testsupport::TempDir;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Expected {
    std::string function;    // as the frame line names it
    int line = 0;            // 0: not checked
    std::uint64_t code = 0;  // the function's address when it is the faulting one
};

struct ChildRun {
    pid_t pid = -1;
    int status = -1;
    std::string out;
    std::string err;
    bool reportProgramRan = false;
    bool endedWhileReportProgramRan = false;
    std::string record;  // what the stand-in wrote about itself
    std::string page;    // the page the stand-in found
    double seconds = 0;
    std::string privateFolder;
    std::vector<std::string> leftInPrivateFolder;  // names, after the run

    std::string CrashFolder() const { return privateFolder + "/crash-" + std::to_string(pid); }
    std::string KeptPage() const { return ReadFile(CrashFolder() + "/bugreport.htm"); }
    bool EndedWith(int signal) const { return WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal; }

    // The last frame the child said the report must show.
    Expected LastExpected() const
    {
        Expected x;
        std::istringstream lines(out);
        for (std::string word, code; lines >> word;) {
            if (word != "expect")
                continue;
            lines >> x.function >> x.line >> code;
            x.code = code == "(nil)" ? 0 : std::stoull(code, nullptr, 16);
        }
        return x;
    }
    // The text area's lines of the page.
    std::vector<std::string> ReportLines() const
    {
        const auto start = page.find("<textarea");
        const auto open = page.find('>', start);
        const auto end = page.find("</textarea>");
        std::vector<std::string> lines;
        if (start == std::string::npos || end == std::string::npos)
            return lines;
        const std::string text = page.substr(open + 1, end - open - 1);
        for (std::size_t at = 0; at < text.size();) {
            const auto crlf = text.find("\r\n", at);
            lines.push_back(text.substr(at, crlf - at));
            at = crlf == std::string::npos ? text.size() : crlf + 2;
        }
        return lines;
    }
};

bool IsWholePage(const std::string& page)
{
    return page.starts_with(crash::kReportHead) && page.ends_with(crash::kReportTail);
}

enum class ReportProgram { kStandIn, kMissing, kCannotStart };

struct RunOptions {
    ReportProgram reportProgram = ReportProgram::kStandIn;
    std::string runtime = {};  // the runtime folder; by default one of the test's own
    // Sent from outside: the first once the child is ready, each later one
    // once the crash's folder is there.
    std::vector<int> signals = {};
    bool removePrivateFolderFirst = false;  // just before the first signal
    bool guarded = true;                    // the fault happens inside the guard
};

void CopyExecutable(const fs::path& from, const fs::path& to)
{
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

bool HasCrashFolder(const std::string& privateFolder)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(privateFolder, ec)) {
        if (entry.path().filename().string().starts_with("crash-"))
            return true;
    }
    return false;
}

// Runs crash_child <mode> <preview file> from a folder of its own and waits
// at most a minute for it and for whatever it started.
ChildRun RunChild(const TempDir& dir, const std::string& mode, const RunOptions& options = {})
{
    // No child starts while another thread writes a program's copy: it would
    // inherit the open file and keep that program "busy" (not startable).
    static std::mutex copying;
    std::unique_lock copyingNow(copying);
    ChildRun run;
    const fs::path bin = dir.Path() / "bin";
    const fs::path runtime = options.runtime.empty() ? dir.Path() / "runtime" : fs::path(options.runtime);
    fs::create_directories(bin);
    CopyExecutable(CRASH_CHILD, bin / "crash_child");
    if (options.reportProgram == ReportProgram::kStandIn)
        CopyExecutable(REPORT_STANDIN, bin / "quillmend-bugreport");
    if (options.reportProgram == ReportProgram::kCannotStart) {
        testsupport::WriteFile((bin / "quillmend-bugreport").string(), "#!/no/such/interpreter\n");
        fs::permissions(bin / "quillmend-bugreport", fs::perms::owner_all);
    }
    run.privateFolder = (runtime / ("quillmend-" + std::to_string(getuid()))).string();
    fs::create_directories(run.privateFolder);
    chmod(runtime.c_str(), 0700);
    chmod(run.privateFolder.c_str(), 0700);
    const std::string preview = dir.File("preview.mht");
    testsupport::WriteFile(preview, "From: someone\r\n\r\nprivate text\r\n");
    const std::string record = dir.File("record");

    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtime.string(), "QUILLMEND_STANDIN_RECORD=" + record,
                                    "CRASH_CHILD_ALIVE=" + dir.File("alive"), "PATH=/usr/bin:/bin"};
    const std::string exe = (bin / "crash_child").string();
    std::vector<std::string> args = {exe, mode, preview};
    std::vector<char*> envp, argv;
    for (auto& e : env)
        envp.push_back(e.data());
    for (auto& a : args)
        argv.push_back(a.data());
    envp.push_back(nullptr);
    argv.push_back(nullptr);

    int out[2];
    int err[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addchdir_np(&actions, dir.Path().c_str());
    const auto started = Clock::now();
    EXPECT_EQ(posix_spawn(&run.pid, exe.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    copyingNow.unlock();
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);

    // The streams end once every process holding them has let go of them:
    // the child, and a report program it started (which writes its record
    // before it lets go).
    int fds[2] = {out[0], err[0]};
    std::string* sinks[2] = {&run.out, &run.err};
    auto readSome = [&](int timeoutMs) {
        pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};  // poll skips a closed one (-1)
        if (poll(p, 2, timeoutMs) <= 0)
            return;
        for (int i = 0; i < 2; ++i) {
            char buffer[4096];
            const ssize_t n = (p[i].revents & (POLLIN | POLLHUP)) ? read(fds[i], buffer, sizeof buffer) : 0;
            if (n > 0)
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            else if (p[i].revents) {
                close(fds[i]);
                fds[i] = -1;
            }
        }
    };
    const auto deadline = started + std::chrono::seconds(60);
    std::size_t sent = 0;
    while (waitpid(run.pid, &run.status, WNOHANG) != run.pid) {
        if (Clock::now() > deadline) {
            kill(run.pid, SIGKILL);
            ADD_FAILURE() << "the child did not end: " << run.out;
            waitpid(run.pid, &run.status, 0);
            break;
        }
        if (sent < options.signals.size() &&
            (sent == 0 ? run.out.find("ready\n") != std::string::npos : HasCrashFolder(run.privateFolder))) {
            if (sent == 0 && options.removePrivateFolderFirst)
                fs::remove(run.privateFolder);
            kill(run.pid, options.signals[sent++]);
        }
        readSome(20);
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    run.endedWhileReportProgramRan = !fs::exists(record + ".done");
    testsupport::WriteFile(record + ".go", "");  // the stand-in may end now
    while ((fds[0] >= 0 || fds[1] >= 0) && Clock::now() < deadline)
        readSome(100);
    EXPECT_TRUE(fds[0] < 0 && fds[1] < 0) << "a process the child started holds its streams";
    for (const int fd : fds) {
        if (fd >= 0)
            close(fd);
    }

    run.reportProgramRan = fs::exists(record);
    while (run.reportProgramRan && !fs::exists(record + ".done") && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // its last step, before the folder goes
    run.record = ReadFile(record);
    run.page = ReadFile(record + ".page");
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(run.privateFolder, ec))
        run.leftInPrivateFolder.push_back(entry.path().filename().string());
    // The guard deletes the preview file; without it, it stays behind.
    EXPECT_NE(fs::exists(preview), options.guarded) << "the preview file";
    return run;
}

// The child ended with 128 + `signal` at once, leaving its report program
// running in the crash's own folder with a whole page, which it owns.
void ExpectHandedOver(const ChildRun& run, int signal)
{
    EXPECT_TRUE(run.EndedWith(signal)) << "status " << run.status << "\n" << run.err;
    ASSERT_TRUE(run.reportProgramRan) << run.err;
    EXPECT_TRUE(run.endedWhileReportProgramRan) << "the crashed program waited for its report program";
    EXPECT_TRUE(run.record.starts_with("args=0\ncwd=" + run.CrashFolder() + "\n")) << run.record;
    EXPECT_TRUE(IsWholePage(run.page)) << run.page;
    EXPECT_EQ(run.KeptPage(), run.page) << "the page is the report program's to delete";
    EXPECT_EQ(run.leftInPrivateFolder, std::vector<std::string>{"crash-" + std::to_string(run.pid)});
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
        const char* printed = "";       // what the child printed on the way
        RunOptions options = {};
    } cases[] = {
        {"null-write", "Exception Code:0xc0000005", SIGSEGV, true},
        {"abort", "Exception Code:0x40000015", SIGABRT, false},
        {"throw", "Exception Code:0x40000015", SIGABRT, false},
        {"stack-overflow", "Exception Code:0xc0000005", SIGSEGV, false},
        {"thread-fault", "Exception Code:0xc0000005", SIGSEGV, true},
        {"thread-stack-overflow", "Exception Code:0xc0000005", SIGSEGV, false},
        // While the main thread goes on writing: it stops at once.
        {"busy-thread-fault", "Exception Code:0xc0000005", SIGSEGV, true},
        // Faults in memcpy; a guarded read before it still failed quietly
        // inside the crash guard.
        {"bus-error", "Exception Code:0xc0000006", SIGBUS, false, "guarded read failed\n"},
        // Sent by another process, also when the private folder went away
        // since the start.
        {"wait-for-signal", "Exception Code:0xc0000005", SIGSEGV, false, "ready\n", {.signals = {SIGSEGV}}},
        {"wait-for-signal", "Exception Code:0xc0000005", SIGSEGV, false, "ready\n",
         {.signals = {SIGSEGV}, .removePrivateFolderFirst = true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + (c.options.removePrivateFolderFirst ? ", private folder removed" : ""));
        TempDir dir;
        const ChildRun run = RunChild(dir, c.mode, c.options);
        ExpectHandedOver(run, c.signal);
        if (std::string_view(c.mode) == "busy-thread-fault") {
            // The main thread wrote on until the fault, and not a byte after.
            const std::string alive = std::to_string(fs::file_size(dir.File("alive")));
            EXPECT_NE(run.record.find("alive=" + alive + "\n"), std::string::npos) << run.record << " now " << alive;
        }
        EXPECT_NE(run.out.find(c.printed), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("unguarded read"), std::string::npos);

        const std::vector<std::string> lines = run.ReportLines();
        ASSERT_GE(lines.size(), 4u) << run.page;
        EXPECT_EQ(lines[0], "Version 1.1 Building Date:080127");
        EXPECT_EQ(lines[1], c.code);
        ASSERT_EQ(lines[2].rfind("Exception Address:0x", 0), 0u);
        const std::uint64_t address = std::stoull(lines[2].substr(20), nullptr, 16);
        EXPECT_GT(address, 0xFFFFFFFFu) << "the address lost its upper half";

        const Expected e = run.LastExpected();
        ASSERT_FALSE(e.function.empty()) << run.out;
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

// --- pages without frame lines -------------------------------------------------------------------

TEST(CrashReport, AWalkThatCannotBeDoneCostsOnlyTheFrameLines)
{
    struct Case {
        const char* what;
        const char* mode;
        std::vector<int> signals;
        double seconds;  // the run ends sooner
    } cases[] = {
        {"without the symbol libraries", "no-symbols", {}, 60},  // no bound of its own
        // A walk limited to one second; one limited to two seconds with the
        // watchdog at one.
        {"a walk that hangs", "hang-walk", {}, 8},
        {"a walk that hangs past the watchdog", "hang-walk-past-watchdog", {}, 8},
        // A second signal during the report cuts the walk short (which would
        // be ended only after four seconds) but not the page.
        {"then SIGABRT", "wait-for-signal-slow-walk", {SIGSEGV, SIGABRT}, 3.5},
        {"then SIGSEGV", "wait-for-signal-slow-walk", {SIGSEGV, SIGSEGV}, 3.5},
        {"then SIGTERM", "wait-for-signal-slow-walk", {SIGSEGV, SIGTERM}, 3.5},
        {"then SIGINT", "wait-for-signal-slow-walk", {SIGSEGV, SIGINT}, 3.5},
        {"then SIGHUP", "wait-for-signal-slow-walk", {SIGSEGV, SIGHUP}, 3.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        RunOptions options;
        options.signals = c.signals;
        const ChildRun run = RunChild(dir, c.mode, options);
        ExpectHandedOver(run, SIGSEGV);
        EXPECT_LT(run.seconds, c.seconds);
        const auto lines = run.ReportLines();
        ASSERT_EQ(lines.size(), 3u) << run.page;  // version, code, address
        EXPECT_EQ(lines[1], "Exception Code:0xc0000005");
    }
}

// --- what goes wrong around the report ----------------------------------------------------------

TEST(CrashReport, WhenNoReportProgramRunsTheProcessEndsAtOnceAndAPageIsKeptWholeOrNotAtAll)
{
    struct Case {
        const char* mode;
        RunOptions options;
        std::string printed;  // on standard error
        bool pageKept = false;
    } cases[] = {
        {"null-write", {.reportProgram = ReportProgram::kMissing},
         "quillmend-bugreport was not found beside the program.\n", true},
        {"null-write", {.reportProgram = ReportProgram::kCannotStart},
         "quillmend-bugreport could not be started (No such file or directory).\n", true},
        // A page that cannot be written whole is not left half, but printed.
        {"small-file-limit", {},
         "No crash report could be written (File too large).\n"
         "Version 1.1 Building Date:080127\nException Code:0xc0000005\nException Address:0x"},
        {"fault-in-filter", {}, ""},  // a second fault, inside the handler
        // After the guarded run a fault takes its default course: killed by
        // the signal, or in a sanitizer build reported by the sanitizer's own
        // handler, which was there before the guard.
        {"outside-guard", {.guarded = false}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + (c.pageKept ? ", " + c.printed : ""));
        TempDir dir;
        const ChildRun run = RunChild(dir, c.mode, c.options);
        if (c.options.guarded) {
            EXPECT_TRUE(run.EndedWith(SIGSEGV)) << "status " << run.status;
            EXPECT_LT(run.seconds, 8.0);
        } else {
            EXPECT_TRUE(run.status != 0 && !run.EndedWith(SIGSEGV)) << "status " << run.status;
        }
        EXPECT_FALSE(run.reportProgramRan);
        EXPECT_NE(run.err.find(c.printed), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\r'), std::string::npos);
        if (!c.pageKept) {
            EXPECT_TRUE(run.leftInPrivateFolder.empty());
            continue;
        }
        EXPECT_TRUE(IsWholePage(run.KeptPage())) << run.KeptPage();
        EXPECT_NE(run.err.find("The report is kept in " + run.CrashFolder() + "/bugreport.htm:\n\n"
                               "Version 1.1 Building Date:080127\nException Code:0xc0000005\n"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("): crashchild::WriteThroughNull()]\n"), std::string::npos) << run.err;
    }
}

TEST(CrashReport, TwoProgramsCrashingAtOnceWriteAPageEachAndLeaveEarlierReportsAlone)
{
    TempDir first;
    TempDir second;
    RunOptions options;
    options.runtime = first.File("shared-runtime");
    const std::string privateFolder = options.runtime + "/quillmend-" + std::to_string(getuid());
    fs::create_directories(privateFolder + "/crash-1");
    testsupport::WriteFile(privateFolder + "/bugreport.htm", "OLD REPORT");
    testsupport::WriteFile(privateFolder + "/crash-1/bugreport.htm", "KEPT REPORT");
    ChildRun runs[2];
    std::thread other([&] { runs[1] = RunChild(second, "null-write", options); });
    runs[0] = RunChild(first, "null-write", options);
    other.join();
    for (const ChildRun& run : runs) {
        EXPECT_TRUE(run.EndedWith(SIGSEGV));
        ASSERT_TRUE(run.reportProgramRan) << run.err;
        EXPECT_TRUE(run.record.starts_with("args=0\ncwd=" + run.CrashFolder() + "\n")) << run.record;
        EXPECT_TRUE(IsWholePage(run.page));
        EXPECT_EQ(run.ReportLines()[1], "Exception Code:0xc0000005");
    }
    EXPECT_NE(runs[0].CrashFolder(), runs[1].CrashFolder());
    EXPECT_EQ(ReadFile(privateFolder + "/bugreport.htm"), "OLD REPORT");
    EXPECT_EQ(ReadFile(privateFolder + "/crash-1/bugreport.htm"), "KEPT REPORT");
}
