// The file layer's rules, on both systems (on Windows against the real
// Windows functions, under Wine in the cross build).

#include "platform/Files.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(Files, DeleteRefusesReadOnlyAndMissingFiles)
{
    TempDir dir;
    const std::string writable = dir.File("a.mht");
    const std::string readOnly = dir.File("default.htm");
    WriteFile(writable, "x");
    WriteFile(readOnly, "start page");
    ASSERT_TRUE(platform::SetReadOnly(readOnly));

    EXPECT_TRUE(platform::DeleteFile(writable));
    EXPECT_FALSE(std::filesystem::exists(writable));
    EXPECT_FALSE(platform::DeleteFile(writable));  // already gone
    EXPECT_FALSE(platform::DeleteFile(readOnly));  // as the start page needs
    EXPECT_EQ(ReadFile(readOnly), "start page");
    EXPECT_FALSE(platform::DeleteFile(dir.Path().string()));  // never a directory
}

TEST(Files, ExclusiveFileNeverOverwritesAndRemovesWhatIsNotCommitted)
{
    TempDir dir;
    const std::string path = dir.File("mail.eml");
    platform::ExclusiveFile file;
    ASSERT_TRUE(file.Create(path));
    ASSERT_TRUE(file.Write("hello ", 6));
    ASSERT_TRUE(file.Write("world", 5));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(ReadFile(path), "hello world");
    platform::ExclusiveFile again;
    EXPECT_FALSE(again.Create(path));
    EXPECT_EQ(ReadFile(path), "hello world");

    const std::string discarded = dir.File("gone.eml");
    {
        platform::ExclusiveFile partial;
        ASSERT_TRUE(partial.Create(discarded));
        ASSERT_TRUE(partial.Write("partial", 7));
    }
    EXPECT_FALSE(std::filesystem::exists(discarded));
    EXPECT_TRUE(platform::SyncFolder(dir.Path().string()));
    EXPECT_FALSE(platform::SyncFolder(dir.File("missing")));
}

#ifndef _WIN32
TEST(Files, AFailedWriteRemovesTheFile)
{
    // A write that hits the file-size limit fails like a full disk would.
    TempDir dir;
    const std::string full = dir.File("full.eml");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool wrote = true;
    {
        platform::ExclusiveFile file;
        ASSERT_TRUE(file.Create(full));
        const std::string block(1000, 'x');
        for (int i = 0; i < 10 && wrote; ++i)
            wrote = file.Write(block.data(), block.size());
        EXPECT_FALSE(file.Commit());
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(wrote);
    EXPECT_FALSE(std::filesystem::exists(full));
}

// --- file times ---------------------------------------------------------------

TEST(Files, ModifiedTimeIsSetToTheTickBeforeAndAfter1970)
{
    TempDir dir;
    const std::string path = dir.File("dated.eml");
    WriteFile(path, "x");
    struct Case {
        std::uint64_t fileTime;
        std::int64_t seconds;  // since 1970
        long nanoseconds;
    };
    const Case cases[] = {
        {128448624301234567ull, 1200388830, 123456700},  // 2008-01-15 09:20:30.1234567
        {116444736000000000ull, 0, 0},                   // the Unix epoch
        {116444735995000000ull, -1, 500000000},          // half a second before it
        {110133216000000000ull, -631152000, 0},  // 1950-01-01
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(platform::SetModifiedTime(path, c.fileTime)) << c.fileTime;
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, c.seconds) << c.fileTime;
        EXPECT_EQ(st.st_mtim.tv_nsec, c.nanoseconds) << c.fileTime;
    }
    EXPECT_FALSE(platform::SetModifiedTime(dir.File("missing"), 116444736000000000ull));
}
#endif
