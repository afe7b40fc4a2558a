// quillmend-cli carve as scripts and people use it: the former mail files
// of an image and their e-mails, extracted as mail files the other commands
// read, a manifest that names the image exactly, the image left as it was,
// and clear words where an image cannot be read.

#include "CliRun.h"

#include "cli/CarveParts.h"
#include "tools/dbxgen/CarveImages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>

using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::Cli;
using testsupport::Quote;
using testsupport::TempDir;

namespace {

std::vector<std::string> All(const std::string& text, const std::string& pattern)
{
    std::vector<std::string> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
        found.push_back((*it)[1]);
    return found;
}

} // namespace

TEST(CarveCommand, ExtractedFilesListLikeTheCarveAndTheManifestNamesTheImage)
{
    TempDir dir;
    const auto files = dbxgen::MakeMailFiles(3, 100 * 1024, 41);
    const auto fragmented = dbxgen::MakeFragmentedImage(files, 4096, 41);
    const std::string image = dir.File("disk.img");
    testsupport::WriteFile(image, fragmented.bytes);
    struct stat before {};
    ASSERT_EQ(::stat(image.c_str(), &before), 0);

    const auto carved = Cli(dir, "carve " + Quote(image) + " --json --extract " + Quote(dir.File("out")));
    ASSERT_EQ(carved.status, 0) << carved.err;
    const std::vector<std::string> names = All(testsupport::ReadFile(dir.File("out/manifest.json")), "\"name\":\"([^\"]+)\"");
    ASSERT_GE(names.size(), 3u);
    // Each file's subjects in the carve's JSON, in order, are what list says
    // of the extracted file.
    std::size_t at = 0;
    for (std::size_t f = 0; f < names.size(); ++f) {
        const std::size_t next = carved.out.find("{\"index\":" + std::to_string(f + 1) + ",\"start\"", at + 1);
        const std::string part = carved.out.substr(at, next == std::string::npos ? std::string::npos : next - at);
        at = next;
        const auto listed = Cli(dir, "list --json " + Quote(dir.File("out/" + names[f])));
        ASSERT_EQ(listed.status, 0) << listed.err;
        EXPECT_EQ(All(listed.out, "\"subjectText\":\"([^\"]*)\""), All(part, "\"subjectText\":\"([^\"]*)\"")) << names[f];
    }
    // The manifest's digest is the image's; the image was not touched.
    const std::string manifest = testsupport::ReadFile(dir.File("out/manifest.json"));
    EXPECT_THAT(manifest, HasSubstr("\"sha256\":\"" + testsupport::Sha256Hex(fragmented.bytes) + "\""));
    EXPECT_THAT(manifest, HasSubstr("\"blocks\":[["));
    struct stat after {};
    ASSERT_EQ(::stat(image.c_str(), &after), 0);
    EXPECT_EQ(testsupport::ReadFile(image), fragmented.bytes);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    // Extracting again into the same folder replaces nothing.
    const auto again = Cli(dir, "carve " + Quote(image) + " --extract " + Quote(dir.File("out")));
    EXPECT_EQ(again.status, 1);
    EXPECT_THAT(again.err, HasSubstr("already exists"));
    EXPECT_EQ(testsupport::ReadFile(dir.File("out/manifest.json")), manifest);
}

TEST(CarveCommand, TheTableNamesEachFormerFileAndItsEmails)
{
    TempDir dir;
    const auto moved = dbxgen::MakeMovedEmailFile(42);
    const std::string path = dir.File("Moved.dbx");
    testsupport::WriteFile(path, moved.file.bytes);
    const auto r = Cli(dir, "carve " + Quote(path));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("File 1, at -"));  // the moved blocks lie below their offsets
    EXPECT_THAT(r.out, HasSubstr(moved.movedSubject));
    EXPECT_THAT(r.out, HasSubstr("in 2 former mail files"));
}

TEST(CarveCommand, SaysWhyAnImageCannotBeRead)
{
    TempDir dir;
    const auto missing = Cli(dir, "carve " + Quote(dir.File("nothing.img")));
    EXPECT_EQ(missing.status, 2);
    EXPECT_THAT(missing.err, HasSubstr("no such file or disk"));
    EXPECT_EQ(Cli(dir, "carve").status, 2);
    EXPECT_EQ(Cli(dir, "carve a b").status, 2);

    using E = platform::ImageFile::OpenError;
    const struct {
        E error;
        bool disk;
        std::string group, says;
    } cases[] = {
        {E::kNoPermission, true, "disk", "members of the group 'disk' have it"},
        {E::kNoPermission, true, "", "needs read permission on /dev/sdz"},
        {E::kNoPermission, false, "", "permission denied"},
        {E::kNotFileOrDisk, false, "", "not a file or a disk"},
        {E::kEmpty, false, "", "empty"},
    };
    for (const auto& c : cases) {
        const std::string text = cli::CarveOpenError("/dev/sdz", c.error, 13, c.disk, c.group);
        EXPECT_THAT(text, HasSubstr(c.says));
        EXPECT_THAT(text, Not(HasSubstr("root")));  // never a hint to run it as root
    }
}
