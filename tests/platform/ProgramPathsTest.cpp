#include "platform/ProgramPaths.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

// --- the program's own place ----------------------------------------------------

TEST(ProgramPaths, ProgramFolderIsTheExecutablesFolderWithSeparator)
{
    const std::string exe = platform::ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(fs::is_regular_file(exe));
    const std::string folder = platform::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(fs::path(exe).parent_path().string() + "/", folder);
}

TEST(ProgramPaths, AssetsAreFoundBesideTheProgramThenInShare)
{
    TempDir dir;
    const fs::path bin = dir.Path() / "bin";
    const fs::path share = dir.Path() / "share" / "quillmend";
    fs::create_directories(bin);
    fs::create_directories(share);
    WriteFile((share / "help.htm").string(), "shared");
    const std::string folder = bin.string() + "/";

    EXPECT_EQ(platform::FindAssetFrom(folder, "help.htm"), (share / "help.htm").string());
    WriteFile((bin / "help.htm").string(), "beside");
    EXPECT_EQ(platform::FindAssetFrom(folder, "help.htm"), (bin / "help.htm").string());

    EXPECT_EQ(platform::FindAssetFrom(folder, "missing.htm"), "");
    fs::create_directories(bin / "dir.htm");  // a directory is no asset
    EXPECT_EQ(platform::FindAssetFrom(folder, "dir.htm"), "");
    EXPECT_EQ(platform::FindAssetFrom("", "help.htm"), "");
    EXPECT_EQ(platform::FindAssetFrom(folder, ""), "");
}

// --- where the program writes ------------------------------------------------------

TEST(ProgramPaths, PrivateDirectoryIsMadeOwnerOnlyAndNeverThroughALinkOrFile)
{
    TempDir dir;
    const std::string made = platform::PrivateDirectoryUnder(dir.Path().string());
    EXPECT_EQ(made, (dir.Path() / ("quillmend-" + std::to_string(getuid()))).string() + "/");
    struct stat st {};
    ASSERT_EQ(stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Found again; a loosened mode is tightened.
    chmod(made.c_str(), 0755);
    EXPECT_EQ(platform::PrivateDirectoryUnder(dir.Path().string()), made);
    ASSERT_EQ(stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(platform::PrivateDirectory().empty());

    TempDir other;
    TempDir elsewhere;
    const fs::path name = other.Path() / ("quillmend-" + std::to_string(getuid()));
    fs::create_directory_symlink(elsewhere.Path(), name);
    EXPECT_EQ(platform::PrivateDirectoryUnder(other.Path().string()), "");
    fs::remove(name);
    WriteFile(name.string(), "not a directory");
    EXPECT_EQ(platform::PrivateDirectoryUnder(other.Path().string()), "");
    EXPECT_EQ(platform::PrivateDirectoryUnder(""), "");
}
