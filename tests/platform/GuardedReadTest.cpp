#include "platform/GuardedRead.h"
#include "platform/MappedFile.h"

#include "support/CutFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <thread>

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A 64 KiB mapped file cut to its first page after mapping (on Windows
// from the Linux side under Wine: see CutFile.h).
struct ShrunkenFile {
    ShrunkenFile()
    {
        path = dir.File("shrinks.dbx");
        WriteFile(path, std::string(64 * 1024, 'm'));
        EXPECT_TRUE(file.Open(path));
        EXPECT_TRUE(testsupport::CutFile(path, 4096));
    }
    const std::uint8_t* At(std::size_t offset) const { return file.Data() + offset; }
    bool Copy(void* dst, std::size_t offset, std::size_t n) const
    {
        return platform::GuardedCopy(dst, At(offset), n, file.Data(), file.Size());
    }

    TempDir dir;
    std::string path;
    platform::MappedFile file;
};

} // namespace

TEST(GuardedRead, ReadsPastTheCutFailAndTheFileSaysWhereItEnds)
{
    SKIP_UNLESS_MAPPED_FILES_CAN_BE_CUT();
    ShrunkenFile f;
    char buffer[64];
    EXPECT_TRUE(f.Copy(buffer, 4000, sizeof buffer));
    EXPECT_FALSE(f.Copy(buffer, 4096, sizeof buffer));
    EXPECT_FALSE(f.Copy(buffer, 64 * 1024 - sizeof buffer, sizeof buffer));
    EXPECT_EQ(f.file.ReadableSize(), 4096u);
    EXPECT_EQ(f.file.Size(), 64u * 1024);
}

TEST(GuardedRead, AnInnerGuardCoversOnlyItsOwnRegion)
{
    SKIP_UNLESS_MAPPED_FILES_CAN_BE_CUT();
    ShrunkenFile f;
    // The inner guard names the vanished half: its fault ends only the inner
    // call, and the outer one goes on.
    struct Context {
        const ShrunkenFile* f;
        bool inner = true;
        bool outerContinued = false;
    } ctx{&f};
    const bool outer = platform::RunGuarded(f.file.Data(), f.file.Size(), [](void* p) {
        auto& c = *static_cast<Context*>(p);
        char buffer[16];
        c.inner = platform::GuardedCopy(buffer, c.f->At(40000), sizeof buffer, c.f->At(32768), 32768);
        c.outerContinued = true;
    }, &ctx);
    EXPECT_TRUE(outer);
    EXPECT_FALSE(ctx.inner);
    EXPECT_TRUE(ctx.outerContinued);
}

TEST(GuardedRead, EachThreadHasItsOwnGuard)
{
    SKIP_UNLESS_MAPPED_FILES_CAN_BE_CUT();
    ShrunkenFile f;
    bool results[4] = {};
    std::thread threads[4];
    for (int t = 0; t < 4; ++t) {
        threads[t] = std::thread([&f, &results, t] {
            char buffer[256];
            bool ok = true;
            for (int i = 0; i < 200; ++i) {
                ok = ok && f.Copy(buffer, 0, sizeof buffer);           // readable
                ok = ok && !f.Copy(buffer, 8192 + 512 * t, sizeof buffer); // gone
            }
            results[t] = ok;
        });
    }
    for (auto& t : threads)
        t.join();
    for (bool r : results)
        EXPECT_TRUE(r);
}

TEST(GuardedReadDeathTest, FaultsOutsideAGuardAreNotSwallowed)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SKIP_UNLESS_MAPPED_FILES_CAN_BE_CUT();
    ShrunkenFile f;
    char buffer[16];
    ASSERT_FALSE(f.Copy(buffer, 32768, sizeof buffer));  // the handler is installed now
    // An unguarded read of the vanished part still ends the program, and so
    // does a read outside the guarded region from inside a guard.
    EXPECT_DEATH(std::memcpy(buffer, f.At(32768), sizeof buffer), "");
    EXPECT_DEATH(platform::GuardedCopy(buffer, f.At(32768), sizeof buffer, f.At(0), 4096), "");
    // Only reads: a write into the (read-only) region is a fault of its own.
    EXPECT_DEATH(
        {
            auto fn = [](void* at) { *static_cast<volatile char*>(at) = 'w'; };
            platform::RunGuarded(f.file.Data(), f.file.Size(), fn, const_cast<std::uint8_t*>(f.At(0)));
        },
        "");
#ifdef SIGBUS
    // A SIGBUS that no read raised is not taken for one.
    EXPECT_DEATH(
        {
            auto fn = [](void*) { std::raise(SIGBUS); };
            platform::RunGuarded(f.file.Data(), f.file.Size(), fn, nullptr);
        },
        "");
#endif
}
