// Carving images whose mail files are gone: file systems with mail files
// deleted, files in pieces shuffled into random data, a file whose start is
// overwritten, a mail file with an e-mail's blocks moved, unreadable
// sectors. Recall is the share of the e-mails a scan of the original files
// lists that the carver finds with identical fields and text; e-mails it
// finds that no original holds are counted as made up.

#include "dbx/Carver.h"
#include "support/TempDir.h"
#include "tools/dbxgen/CarveImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <tuple>

namespace {

using Key = std::tuple<std::string, std::string, std::string, std::uint64_t, bool, bool, std::string>;

Key KeyOf(const dbx::DbxFile& file, int index)
{
    const dbx::EmailRecord& r = *file.GetAt(index);
    std::string text;
    file.ReadMessage(index, text);
    return {r.from, r.to, r.subject, r.date, r.hasAttachment, r.isDeleted, text};
}

// The e-mails a scan of `bytes`, an original file, lists: into `lost` those
// with a block that `isLost` names, the others into `kept`.
void Sort(const std::string& bytes, const std::string& path, std::multiset<Key>& kept, std::multiset<Key>& lost,
          const std::function<bool(const dbx::BlockRef&)>& isLost)
{
    testsupport::WriteFile(path, bytes);
    dbx::DbxFile file;
    ASSERT_TRUE(file.Open(path));
    dbx::NullProgressSink quiet;
    file.Scan(quiet);
    for (int i = 0; i < file.GetCount(); ++i) {
        const auto& blocks = file.GetAt(i)->blocks;
        (std::any_of(blocks.begin(), blocks.end(), isLost) ? lost : kept).insert(KeyOf(file, i));
    }
}

// The e-mails a scan of each original file lists.
std::multiset<Key> ListedKeys(const std::vector<dbxgen::MailFile>& files, const testsupport::TempDir& dir)
{
    std::multiset<Key> keys, none;
    for (const auto& f : files)
        Sort(f.bytes, dir.File("original-" + f.name), keys, none, [](const dbx::BlockRef&) { return false; });
    return keys;
}

struct Recall {
    std::size_t expected = 0;
    std::size_t found = 0;
    std::size_t madeUp = 0;   // found, but no original has its From, To and Subject
    std::size_t files = 0;
};

// Carves `carver`'s image and measures what it found of `expected` (every
// one of them unless `all` is false); every other original e-mail
// (`others`) may be found or not, but none may be made up.
Recall Measure(dbx::Carver& carver, std::multiset<Key> expected, const std::multiset<Key>& others,
               const char* layout, bool all = true)
{
    dbx::ICarveProgress quiet;
    carver.Run(quiet);
    Recall r;
    r.expected = expected.size();
    r.files = carver.Files().size();
    std::set<std::tuple<std::string, std::string, std::string>> fields;
    for (const std::multiset<Key>* keys : {static_cast<const std::multiset<Key>*>(&expected), &others})
        for (const Key& k : *keys)
            fields.insert({std::get<0>(k), std::get<1>(k), std::get<2>(k)});
    for (const auto& carved : carver.Files()) {
        const dbx::DbxFile& file = carved->File();
        for (int i = 0; i < file.GetCount(); ++i) {
            const Key key = KeyOf(file, i);
            if (const auto it = expected.find(key); it != expected.end()) {
                expected.erase(it);
                ++r.found;
            } else if (!fields.count({std::get<0>(key), std::get<1>(key), std::get<2>(key)})) {
                ++r.madeUp;
            }
        }
    }
    for (const Key& missing : all ? expected : std::multiset<Key>{})
        ADD_FAILURE() << layout << ": not found: " << std::get<2>(missing) << " from " << std::get<0>(missing);
    EXPECT_EQ(r.madeUp, 0u) << layout;
    std::printf("recall %s: %zu of %zu e-mails (%.1f %%), %zu made up, %zu former files\n", layout, r.found,
                r.expected, r.expected ? 100.0 * static_cast<double>(r.found) / static_cast<double>(r.expected) : 100.0,
                r.madeUp, r.files);
    return r;
}

bool HaveTool(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

TEST(CarveRecall, Fat32WithDeletedAndFragmentedFiles)
{
    if (!HaveTool("mformat"))
        GTEST_SKIP() << "mtools is not installed (scripts/setup-debian.sh)";
    testsupport::TempDir dir;
    const auto files = dbxgen::MakeMailFiles(4, 120 * 1024, 21);
    // Folder1 is deleted first and Folder3 written after it, into its space
    // and beyond; Folder0 is deleted last and stays whole on the disk.
    const std::vector<dbxgen::FsStep> steps = {{false, files[0].name}, {false, files[1].name}, {false, files[2].name},
                                               {true, files[1].name},  {false, files[3].name}, {true, files[0].name}};
    const std::string image = dir.File("fat32.img");
    ASSERT_EQ(dbxgen::MakeFat32Image(image, 40u << 20, files, steps), "");
    dbx::Carver carver;
    ASSERT_TRUE(carver.Open(image));
    Measure(carver, ListedKeys({files[0], files[2], files[3]}, dir), ListedKeys({files[1]}, dir), "FAT32");
}

TEST(CarveRecall, Ext4WithADeletedFile)
{
    if (!HaveTool("mke2fs") || !HaveTool("debugfs"))
        GTEST_SKIP() << "e2fsprogs is not installed (scripts/setup-debian.sh)";
    testsupport::TempDir dir;
    const auto files = dbxgen::MakeMailFiles(3, 150 * 1024, 22);
    const std::vector<dbxgen::FsStep> steps = {
        {false, files[0].name}, {false, files[1].name}, {false, files[2].name}, {true, files[1].name}};
    const std::string image = dir.File("ext4.img");
    ASSERT_EQ(dbxgen::MakeExt4Image(image, 8u << 20, files, steps), "");
    dbx::Carver carver;
    ASSERT_TRUE(carver.Open(image));
    Measure(carver, ListedKeys(files, dir), {}, "ext4");
}

TEST(CarveRecall, FilesInPiecesShuffledIntoRandomData)
{
    for (std::uint64_t seed = 31; seed <= 34; ++seed) {
        SCOPED_TRACE(seed);
        testsupport::TempDir dir;
        const auto files = dbxgen::MakeMailFiles(4, 160 * 1024, seed);
        const auto fragmented = dbxgen::MakeFragmentedImage(files, 4096, seed);
        const std::string image = dir.File("pieces.img");
        testsupport::WriteFile(image, fragmented.bytes);
        dbx::Carver carver;
        ASSERT_TRUE(carver.Open(image));
        const std::string name = "pieces (seed " + std::to_string(seed) + ", " +
                                 std::to_string(fragmented.pieces.size()) + " pieces)";
        // Where two files were cut at the same offset and the texts on both
        // sides tell nothing, a chain ends instead of going on by a guess.
        const Recall r = Measure(carver, ListedKeys(files, dir), {}, name.c_str(), false);
        EXPECT_GE(r.found * 100, r.expected * 98);
    }
}

TEST(CarveRecall, AFileWhoseFirst64KiBAreOverwritten)
{
    testsupport::TempDir dir;
    const auto files = dbxgen::MakeMailFiles(1, 300 * 1024, 23);
    dbxgen::MailFile damaged = files[0];
    dbxgen::OverwriteStart(damaged, 64 * 1024, 23);
    // The e-mails whose blocks all lie behind the damage must come back.
    std::multiset<Key> surviving, lost;
    Sort(files[0].bytes, dir.File("original.dbx"), surviving, lost,
         [](const dbx::BlockRef& b) { return b.offset < 64 * 1024; });
    ASSERT_GT(surviving.size(), 10u);
    const std::string image = dir.File("damaged.img");
    testsupport::WriteFile(image, std::string(8192, '\x5A') + damaged.bytes + std::string(4096, '\0'));
    dbx::Carver carver;
    ASSERT_TRUE(carver.Open(image));
    Measure(carver, surviving, lost, "first 64 KiB overwritten");
}

TEST(CarveRecall, AnEmailMovedInsideAMailFile)
{
    testsupport::TempDir dir;
    const auto moved = dbxgen::MakeMovedEmailFile(24);
    const std::string path = dir.File("Moved.dbx");
    testsupport::WriteFile(path, moved.file.bytes);
    // The scan no longer lists it ...
    for (const Key& listed : ListedKeys({moved.file}, dir))
        EXPECT_NE(std::get<2>(listed), moved.movedSubject);
    // ... the carver finds every e-mail of the file as it was, the moved
    // one in a piece of its own that lies below the offsets it names.
    dbx::Carver carver;
    ASSERT_TRUE(carver.Open(path));
    Measure(carver, ListedKeys({moved.original}, dir), {}, "moved e-mail");
    ASSERT_EQ(carver.Files().size(), 2u);
    EXPECT_EQ(carver.Files()[0]->Start(), 0);
    const dbx::CarvedFile& piece = *carver.Files()[1];
    ASSERT_EQ(piece.File().GetCount(), 1);
    EXPECT_EQ(piece.File().GetAt(0)->subject, moved.movedSubject);
    EXPECT_LT(piece.Locate(0).shifts.at(0), 0);
}

TEST(CarveRecall, UnreadableSectorsLoseOnlyTheEmailsInThem)
{
    testsupport::TempDir dir;
    const auto files = dbxgen::MakeMailFiles(2, 120 * 1024, 25);
    const std::uint64_t starts[] = {8192, 8192 + 192 * 1024};
    std::string bytes(starts[1] + files[1].bytes.size() + 4096, '\0');
    for (int f = 0; f < 2; ++f)
        bytes.replace(starts[f], files[f].bytes.size(), files[f].bytes);
    const std::string image = dir.File("bad.img");
    testsupport::WriteFile(image, bytes);
    // Three bad sectors in the second file's blocks.
    const std::set<std::uint64_t> bad = {(starts[1] + 20000) / 512, (starts[1] + 60000) / 512, (starts[1] + 60512) / 512};
    std::multiset<Key> whole, hit;
    for (int f = 0; f < 2; ++f)
        Sort(files[f].bytes, dir.File("original" + std::to_string(f) + ".dbx"), whole, hit,
             [&](const dbx::BlockRef& b) {
                 for (std::uint64_t at = starts[f] + b.offset; at < starts[f] + b.offset + 528; at += 4)
                     if (bad.count(at / 512))
                         return true;
                 return false;
             });
    ASSERT_FALSE(hit.empty());
    dbx::Carver carver;
    ASSERT_TRUE(carver.Open(image));
    carver.FailSectorsForTesting([&](std::uint64_t sector) { return bad.count(sector) > 0; });
    Measure(carver, whole, hit, "unreadable sectors");
    EXPECT_EQ(carver.Counts().unreadableSectors, bad.size());
}

TEST(CarveRecall, StoppedEarlyItKeepsWhatItFound)
{
    testsupport::TempDir dir;
    const auto files = dbxgen::MakeMailFiles(2, 100 * 1024, 26);
    std::string bytes = files[0].bytes;
    bytes.resize(12u << 20, '\0');
    bytes += files[1].bytes;
    const std::string image = dir.File("two.img");
    testsupport::WriteFile(image, bytes);
    struct StopHalfway : dbx::ICarveProgress {
        bool Stopped() override { return ++asked > 2; }  // asked before each piece of reading
        int asked = 0;
    } progress;
    dbx::Carver carver;
    ASSERT_TRUE(carver.Open(image));
    carver.Run(progress);
    EXPECT_TRUE(carver.Counts().stopped);
    EXPECT_LT(carver.Counts().bytesRead, bytes.size());
    ASSERT_EQ(carver.Files().size(), 1u);
    EXPECT_EQ(carver.Files()[0]->Start(), 0);
    EXPECT_EQ(static_cast<std::size_t>(carver.Files()[0]->File().GetCount()), ListedKeys({files[0]}, dir).size());
}
