// E-mails whose blocks were moved inside their mail file: found, read through
// the file itself exactly as before the move, listed after the scan's own
// records without changing theirs; copies and untouched files add nothing.

#include "DbxTestSupport.h"

#include "dbx/MovedEmails.h"
#include "tools/dbxgen/CarveImages.h"

using dbxtest::ScannedFile;

TEST(MovedEmails, FoundReadThroughTheFileAndListedAfterTheScansOwn)
{
    struct Case {
        const char* name;
        dbxgen::MoveOptions options;
        std::size_t found;   // moved e-mails listed
        std::uint64_t copies;
    } const cases[] = {
        {"moved, its old place overwritten", {false, false}, 1, 0},
        {"a deleted e-mail moved", {true, false}, 1, 0},
        {"copied, the original still in place", {false, true}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto moved = dbxgen::MakeMovedEmailFile(24, c.options);
        ScannedFile s(moved.file.bytes), original(moved.original.bytes);
        const std::vector<dbx::EmailRecord> before = s.file.Records();

        dbx::ICarveProgress quiet;
        dbx::MovedSearch search = dbx::FindMovedEmails(s.path, s.file, quiet);
        EXPECT_FALSE(search.stopped);
        EXPECT_EQ(search.notPlaced, 0u);
        EXPECT_EQ(search.copies, c.copies);
        ASSERT_EQ(search.records.size(), c.found);
        s.file.AddMovedRecords(std::move(search.records));

        // The scan's records are where they were; the moved ones follow.
        ASSERT_EQ(s.file.ScanCount(), static_cast<int>(before.size()));
        for (std::size_t i = 0; i < before.size(); ++i)
            EXPECT_EQ(*s.file.GetAt(static_cast<int>(i)), before[i]);
        if (c.found == 0)
            continue;
        const dbx::EmailRecord& added = *s.file.GetAt(s.file.ScanCount());
        EXPECT_TRUE(added.moved);
        EXPECT_EQ(added.subject, moved.movedSubject);
        EXPECT_EQ(added.isDeleted, c.options.deleted);
        // Its fields and text are those of the e-mail before the move.
        const int was = original.IndexOf(moved.movedSubject);
        ASSERT_GE(was, 0);
        const dbx::EmailRecord& old = *original.file.GetAt(was);
        EXPECT_EQ(added.from, old.from);
        EXPECT_EQ(added.date, old.date);
        EXPECT_EQ(added.hasAttachment, old.hasAttachment);
        EXPECT_EQ(s.Text(s.file.ScanCount()), original.Text(was));
        EXPECT_EQ(s.file.MessageSize(s.file.ScanCount()), original.file.MessageSize(was));
        // Its blocks are named by where they lie now: below where they say.
        EXPECT_LT(added.blocks.front().offset, old.blocks.front().offset);
    }
}

TEST(MovedEmails, NothingForAnUntouchedFileAStoppedSearchOrAChangedFile)
{
    const auto moved = dbxgen::MakeMovedEmailFile(31);
    ScannedFile untouched(moved.original.bytes);
    dbx::ICarveProgress quiet;
    EXPECT_TRUE(dbx::FindMovedEmails(untouched.path, untouched.file, quiet).records.empty());

    ScannedFile s(moved.file.bytes);
    struct : dbx::ICarveProgress {
        bool Stopped() override { return true; }
    } stop;
    const dbx::MovedSearch stopped = dbx::FindMovedEmails(s.path, s.file, stop);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(stopped.records.empty());

    // The path holds other bytes than the mapping (a file replaced since it
    // was opened; Windows refuses to change a mapped file in place, so the
    // other bytes lie at another path): nothing from them.
    const std::string other = s.dir.File("Replaced.dbx");
    testsupport::WriteFile(other, moved.file.bytes + std::string(4096, '\0'));
    const dbx::MovedSearch changed = dbx::FindMovedEmails(other, s.file, quiet);
    EXPECT_TRUE(changed.fileChanged);
    EXPECT_TRUE(changed.records.empty());

    // A file not scanned takes no moved records.
    dbx::DbxFile unscanned;
    ASSERT_TRUE(unscanned.Open(untouched.path));
    unscanned.AddMovedRecords({dbx::EmailRecord{}});
    EXPECT_EQ(unscanned.GetCount(), 0);
}
