// The Win32 branches of the file layer against the real Windows functions
// (under Wine in the cross build): file times, names outside ASCII, drives,
// the program's own path and the directory walk. Deleting and exclusive
// creation: FilesTest, on both systems.

#include "platform/Directory.h"
#include "platform/FileTime.h"
#include "platform/Files.h"
#include "platform/FsPath.h"
#include "platform/MappedFile.h"
#include "platform/Mounts.h"
#include "platform/ProgramPaths.h"

#include "support/TempDir.h"
#include "support/Times.h"

#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef DeleteFile

#include <algorithm>
#include <cerrno>
#include <cstdio>

using testsupport::MakeSystemTime;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::wstring Wide(const std::string& path)
{
    return platform::ToFsPath(path).native();
}

// A name with Latin-1, a Euro sign and a character beyond U+FFFF (a
// surrogate pair in UTF-16): UTF-8 inside the program.
const std::string kWideName = "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9D\x84\x9E.dbx";
const std::wstring kWideNameUtf16 = L"Z\u00FCrich \u20AC \U0001D11E.dbx";

} // namespace

// --- names outside ASCII ------------------------------------------------------------

TEST(Win32Files, NamesAreTheUtf8OfTheirUtf16FormEverywhere)
{
    TempDir dir;
    const std::string path = platform::ChildPath(dir.Path().string(), kWideName);
    platform::ExclusiveFile file;
    ASSERT_TRUE(file.Create(path));
    ASSERT_TRUE(file.Write("mail", 4));
    ASSERT_TRUE(file.Commit());

    // Windows sees the name in UTF-16, with its surrogate pair.
    WIN32_FIND_DATAW found;
    const std::wstring pattern = dir.Path().native() + L"\\Z*.dbx";
    HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::wstring(found.cFileName), kWideNameUtf16);
    FindClose(find);

    // Every way in reads it back as the same UTF-8.
    platform::DirectoryHandle folder;
    ASSERT_EQ(folder.Open(dir.Path().string(), false), 0);
    platform::DirectoryListing listing;
    ASSERT_EQ(folder.Read(nullptr, listing), 0);
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(listing.entries[0].name, kWideName);
    EXPECT_EQ(listing.entries[0].kind, platform::EntryKind::kFile);
    EXPECT_EQ(listing.entries[0].fileSize, 4u);
    EXPECT_EQ(platform::RegularFileSize(path), 4u);

    platform::MappedFile mapped;
    ASSERT_TRUE(mapped.Open(path));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped.Data()), mapped.Size()), "mail");
    std::FILE* in = platform::OpenForReading(path);
    ASSERT_NE(in, nullptr);
    std::fclose(in);
    EXPECT_EQ(platform::FromFsPath(platform::ToFsPath(path).filename()), kWideName);
}

// --- file times ------------------------------------------------------------------------

// Dates both take; what Windows refuses, FileTimeTest checks that we refuse
// (Wine takes some of it: February 29 of any year, years past 30827).
TEST(Win32FileTime, CalendarConversionsAgreeWithWindows)
{
    const platform::SystemTime cases[] = {
        MakeSystemTime(1601, 1, 1), MakeSystemTime(1970, 1, 1), MakeSystemTime(2000, 2, 29, 23, 59, 59, 999),
        MakeSystemTime(2008, 1, 15, 9, 20, 30, 250), MakeSystemTime(2100, 3, 1, 12),
        MakeSystemTime(30827, 12, 31, 23, 59, 59, 999),
    };
    for (const platform::SystemTime& st : cases) {
        SCOPED_TRACE(std::to_string(st.year) + "-" + std::to_string(st.month) + "-" + std::to_string(st.day));
        SYSTEMTIME windows{st.year, st.month, st.dayOfWeek, st.day, st.hour, st.minute, st.second, st.milliseconds};
        FILETIME expected{};
        ASSERT_TRUE(::SystemTimeToFileTime(&windows, &expected));
        platform::FileTime ours = 0;
        ASSERT_TRUE(platform::SystemTimeToFileTime(st, ours));
        EXPECT_EQ(ours, (std::uint64_t{expected.dwHighDateTime} << 32) | expected.dwLowDateTime);
        SYSTEMTIME back{};
        platform::SystemTime ourBack;
        ASSERT_TRUE(::FileTimeToSystemTime(&expected, &back));
        ASSERT_TRUE(platform::FileTimeToSystemTime(ours, ourBack));
        EXPECT_EQ(ourBack.dayOfWeek, back.wDayOfWeek);
        EXPECT_EQ(ourBack.milliseconds, back.wMilliseconds);
    }
}

TEST(Win32FileTime, NowAndTheLocalZoneAreTheSystemsOwn)
{
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    FILETIME windowsNow{};
    ASSERT_TRUE(::SystemTimeToFileTime(&now, &windowsNow));
    platform::FileTime ours = 0;
    ASSERT_TRUE(platform::SystemTimeToFileTime(platform::GetSystemTime(), ours));
    const std::uint64_t theirs = (std::uint64_t{windowsNow.dwHighDateTime} << 32) | windowsNow.dwLowDateTime;
    EXPECT_LT(ours > theirs ? ours - theirs : theirs - ours, 2 * platform::kTicksPerSecond);

    FILETIME local{};
    ASSERT_TRUE(::FileTimeToLocalFileTime(&windowsNow, &local));
    platform::FileTime ourLocal = 0;
    ASSERT_TRUE(platform::FileTimeToLocalFileTime(theirs, ourLocal));
    EXPECT_EQ(ourLocal, (std::uint64_t{local.dwHighDateTime} << 32) | local.dwLowDateTime);
}

TEST(Win32FileTime, ModifiedTimesReadBackThroughWindows)
{
    TempDir dir;
    const std::string path = dir.File("dated.eml");
    WriteFile(path, "x");
    const std::uint64_t when = testsupport::FileTimeOf(2004, 11, 30, 8, 15, 2) + 1234567;
    ASSERT_TRUE(platform::SetModifiedTime(path, when));
    const std::string other = dir.File("saved.eml");
    platform::ExclusiveFile file;
    ASSERT_TRUE(file.Create(other));
    ASSERT_TRUE(file.Write("y", 1));
    ASSERT_TRUE(file.SetModifiedTime(when + 10'000'000));
    ASSERT_TRUE(file.Commit());

    for (const auto& [name, expected] : {std::pair{path, when}, std::pair{other, when + 10'000'000}}) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(GetFileAttributesExW(Wide(name).c_str(), GetFileExInfoStandard, &data));
        const std::uint64_t written =
            (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
        // Wine keeps what the Linux file system keeps: nanoseconds at best.
        EXPECT_EQ(written / 10, expected / 10) << name;
    }
}

// --- drives, the program, the walk -------------------------------------------------------------

TEST(Win32System, DrivesAreRootsWithTheirSeparatorAndTheCurrentOneIsAmongThem)
{
    const std::vector<std::string> roots = platform::LogicalDriveRoots();
    ASSERT_FALSE(roots.empty());
    for (const std::string& root : roots) {
        ASSERT_EQ(root.size(), 3u) << root;
        EXPECT_EQ(root.substr(1), ":\\") << root;
    }
    wchar_t current[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 2u);
    const std::string drive = std::string(1, static_cast<char>(current[0])) + ":\\";
    EXPECT_NE(std::find(roots.begin(), roots.end(), drive), roots.end()) << drive;
}

TEST(Win32System, TheProgramKnowsItsOwnPathAndFolder)
{
    const std::string exe = platform::ExecutablePath();
    EXPECT_TRUE(exe.ends_with("\\platform_tests.exe")) << exe;
    const std::string folder = platform::ProgramFolder();
    EXPECT_EQ(folder, exe.substr(0, exe.size() - std::string("platform_tests.exe").size()));
    EXPECT_EQ(platform::FindProgram("platform_tests"), exe);
}

TEST(Win32Directory, HandlesOpenListAndClimbLikeThePosixOnes)
{
    TempDir dir;
    const std::string root = dir.Path().string();
    CreateDirectoryW(Wide(root + "\\Sub").c_str(), nullptr);
    WriteFile(root + "\\Inbox.DBX", std::string(300, 'x'));
    WriteFile(root + "\\notes.txt", "n");
    WriteFile(root + "\\Sub\\Sent Items.dbx", std::string(7, 's'));

    platform::DirectoryHandle top;
    ASSERT_EQ(top.Open(root, false), 0);
    EXPECT_TRUE(top.Id().Known());
    platform::DirectoryListing listing;
    ASSERT_EQ(top.Read([](std::string_view name) { return name.ends_with(".DBX"); }, listing), 0);
    std::vector<std::string> seen;
    for (const auto& entry : listing.entries) {
        std::string shown = entry.name;
        if (entry.kind == platform::EntryKind::kDirectory)
            shown += '/';
        if (entry.fileSize)
            shown.append("=").append(std::to_string(*entry.fileSize));
        seen.push_back(shown);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"Inbox.DBX=300", "Sub/"}));

    platform::DirectoryHandle sub;
    ASSERT_EQ(sub.OpenChild(top, "Sub"), 0);
    EXPECT_NE(sub.Id(), top.Id());
    platform::DirectoryHandle parent;
    ASSERT_EQ(parent.OpenParentOf(sub), 0);
    EXPECT_EQ(parent.Id(), top.Id());

    platform::DirectoryHandle missing;
    EXPECT_EQ(missing.Open(root + "\\missing", false), ENOENT);
    EXPECT_EQ(missing.Open(root + "\\notes.txt", false), ENOTDIR);
    EXPECT_EQ(platform::RegularFileSize(root + "\\Sub"), std::nullopt);
}
