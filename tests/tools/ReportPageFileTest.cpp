// The report program owns the page a crash hands it: it deletes the page (and
// the crash's folder) when it ends, and keeps it, saying where, when it
// cannot show it.

#include "ReportPageFile.h"
#include "crash/ReportPage.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testsupport::ReadFile;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string kPage = std::string(crash::kReportHead) + "Version 1.1 Building Date:080127\r\n"
    + "Exception Code:0xc0000005\r\n" + std::string(crash::kReportTail);

// A folder `name` in `dir` holding the page; its path.
fs::path FolderWithPage(const TempDir& dir, const std::string& name)
{
    const fs::path folder = dir.Path() / name;
    fs::create_directories(folder);
    testsupport::WriteFile((folder / "bugreport.htm").string(), kPage);
    return folder;
}

// Runs quillmend-bugreport with no arguments in `folder` with `env` added;
// `whenStarted` is called with its process id once it handles SIGTERM.
// Returns its wait status; its standard error goes to `err`.
int RunReportProgram(const fs::path& folder, const std::vector<std::string>& extraEnv, std::string& err,
                     void (*whenStarted)(pid_t) = nullptr)
{
    std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + folder.string()};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = BUGREPORT_PROGRAM;
    char* argv[] = {exe.data(), nullptr};
    const std::string errFile = (folder.parent_path() / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    if (whenStarted) {
        // Bit 15 of SigCgt: SIGTERM has a handler.
        for (int i = 0; i < 500; ++i) {
            const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
            const auto at = status.find("SigCgt:");
            if (at != std::string::npos && (std::stoull(status.substr(at + 7), nullptr, 16) >> 14) & 1)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        whenStarted(pid);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    err = ReadFile(errFile);
    return status;
}

} // namespace

TEST(ReportPageFile, AnOwnedPageGoesWithItsCrashFolderANamedOneStays)
{
    struct Case {
        const char* folder;
        bool otherFile;  // something else in the folder
        bool owned;
        bool pageGone;
        bool folderGone;
    } cases[] = {
        {"crash-123", false, true, true, true},
        {"crash-124-2 caf\xe9", false, true, true, true},  // the system's bytes, not UTF-8
        {"crash-123-2", true, true, true, false},  // a folder is removed only when empty
        {"reports", false, true, true, false},     // not a crash's own folder
        {"crash-123", false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + (c.owned ? " owned" : " named"));
        TempDir dir;
        const fs::path folder = FolderWithPage(dir, c.folder);
        if (c.otherFile)
            testsupport::WriteFile((folder / "notes.txt").string(), "mine");
        {
            ReportPageFile page = c.owned ? ReportPageFile::Owned(folder)
                                          : ReportPageFile::Named(folder / "bugreport.htm");
            EXPECT_EQ(page.Bytes().toStdString(), kPage);
            EXPECT_EQ(page.IsOwned(), c.owned);
        }
        EXPECT_EQ(!fs::exists(folder / "bugreport.htm"), c.pageGone);
        EXPECT_EQ(!fs::exists(folder), c.folderGone);
    }
}

TEST(ReportPageFile, TheReportProgramDeletesItsPageWhenEndedBySignal)
{
    TempDir dir;
    const fs::path folder = FolderWithPage(dir, "crash-77");
    std::string err;
    const int status = RunReportProgram(folder, {"QT_QPA_PLATFORM=offscreen"}, err,
                                        [](pid_t pid) { kill(pid, SIGTERM); });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status << err;
    EXPECT_FALSE(fs::exists(folder));
}

TEST(ReportPageFile, WithoutADisplayTheReportProgramKeepsThePageAndPrintsIt)
{
    TempDir dir;
    const fs::path folder = FolderWithPage(dir, "crash-78");
    std::string err;
    const int status =
        RunReportProgram(folder, {"QT_QPA_PLATFORM=xcb", "DISPLAY=:9999", "WAYLAND_DISPLAY="}, err);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFile((folder / "bugreport.htm").string()), kPage);
    EXPECT_NE(err.find("the window of its crash report could not open.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("The report is kept in " + (folder / "bugreport.htm").string() +
                       ":\n\nVersion 1.1 Building Date:080127\nException Code:0xc0000005\n"),
              std::string::npos)
        << err;
}
