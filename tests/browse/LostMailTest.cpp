// Mail the scan of a file does not place, in the browse window: e-mails in
// moved blocks added after the scan's rows once a search behind the list
// finds them, and the mail files found in a disk image under its node.

#include "BrowseTest.h"
#include "dbx/Carver.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "support/QtTestApp.h"
#include "tools/dbxgen/CarveImages.h"
#include "ui/CMessageListModel.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class LostMailTest : public browsetest::BrowseTest {
protected:
    // Writes `bytes` as the mail file `name` and adds it.
    QTreeWidgetItem* AddFile(const std::string& name, const std::string& bytes)
    {
        testsupport::WriteFile(dir.File(name), bytes);
        return BrowseTest::AddFile(dir.File(name));
    }
    // Waits until no search for moved e-mails runs and its end is handled.
    void SearchesEnded()
    {
        QTRY_COMPARE_WITH_TIMEOUT(Browse().MovedSearch().Running(), -1, 20000);
        QCoreApplication::processEvents();
    }
    QString Status(int row) { return List().Model()->CellText(*List().GetRow(row), CMessageListModel::kColumnStatus); }
};

} // namespace

TEST_F(LostMailTest, MovedEmailsFollowTheScansRowsOnceKeepingTicksAndSelection)
{
    for (const bool deleted : {false, true}) {
        SCOPED_TRACE(deleted ? "deleted kind" : "live kind");
        const auto moved = dbxgen::MakeMovedEmailFile(51, {deleted, false});
        QTreeWidgetItem* node = AddFile(deleted ? "MovedDeleted.dbx" : "Moved.dbx", moved.file.bytes);
        QSignalSpy added(&Browse(), &CDbxBrowseWindow::movedEmailsAdded);
        // Held, as while a save reads the file: the rows wait.
        Browse().HoldChanges(true);
        Select(node);
        const int scanned = List().GetItemCount();
        List().ToggleTick(0);
        List().setCurrentIndex(List().model()->index(1, 1));
        SearchesEnded();
        EXPECT_EQ(added.count(), 0);
        EXPECT_EQ(List().GetItemCount(), scanned);
        Browse().HoldChanges(false);
        ASSERT_EQ(added.count(), 1);
        EXPECT_EQ(added.front().at(1).toInt(), 1);

        ASSERT_EQ(List().GetItemCount(), scanned + 1);
        EXPECT_EQ(Browse().GetCurrentDbxFile()->ScanCount(), scanned);
        EXPECT_EQ(List().IsTicked(0), 1);
        EXPECT_EQ(List().currentIndex().row(), 1);
        EXPECT_EQ(List().GetRow(scanned)->record->subject, moved.movedSubject);
        EXPECT_EQ(Status(scanned), res::Text(deleted ? IDS_STATUS_MOVED_DELETED : IDS_STATUS_MOVED));
        for (int i = 0; i <= scanned; ++i)
            EXPECT_EQ(List().GetRow(i)->record, Browse().GetCurrentDbxFile()->GetAt(i)) << i;

        // Shown again: listed at once, not looked for again.
        Select(folder);
        Select(node);
        EXPECT_EQ(List().GetItemCount(), scanned + 1);
        EXPECT_EQ(Browse().MovedSearch().Running(), -1);
        SearchesEnded();
        EXPECT_EQ(added.count(), 1);
    }
}

TEST_F(LostMailTest, AnotherFilesFirstScanStopsTheSearchWhichRunsAgainWhenTheFileIsShown)
{
    const auto moved = dbxgen::MakeMovedEmailFile(52);
    QTreeWidgetItem* a = AddFile("Moved.dbx", moved.file.bytes);
    QTreeWidgetItem* b = BrowseTest::AddFile(Demo());
    QSignalSpy added(&Browse(), &CDbxBrowseWindow::movedEmailsAdded);

    Tree().setCurrentItem(a);
    const int scanned = List().GetItemCount();
    EXPECT_EQ(Browse().MovedSearch().Running(), 0);
    Tree().setCurrentItem(b);  // its first scan: the search of a stops
    SearchesEnded();
    EXPECT_EQ(added.count(), 0);  // nothing moved in b, and a's search was stopped

    Select(a);
    SearchesEnded();
    ASSERT_EQ(added.count(), 1);
    EXPECT_EQ(added.front().at(0).toInt(), 0);
    EXPECT_EQ(List().GetItemCount(), scanned + 1);
}

TEST_F(LostMailTest, AnImagesMailFilesAreListedUnderItsNodeAndReadFromIt)
{
    const auto files = dbxgen::MakeMailFiles(2, 60 * 1024, 53);
    std::string bytes(8192, '\0');
    bytes += files[0].bytes;
    bytes.resize(1u << 20, '\0');
    bytes += files[1].bytes;
    const std::string image = dir.File("disk.img");
    testsupport::WriteFile(image, bytes);
    auto carver = std::make_unique<dbx::Carver>();
    ASSERT_TRUE(carver->Open(image));
    dbx::ICarveProgress quiet;
    carver->Run(quiet);
    ASSERT_EQ(carver->Files().size(), 2u);
    std::vector<const dbx::DbxFile*> found;
    for (const auto& f : carver->Files())
        found.push_back(&f->File());

    const int before = Browse().FileCount();
    QTreeWidgetItem* node = Browse().AddCarvedImage(QStringLiteral("disk.img"), image, std::move(carver));
    ASSERT_EQ(node->childCount(), 2);
    EXPECT_EQ(Browse().FileCount(), before + 2);
    QSignalSpy scans(&Browse(), &CDbxBrowseWindow::scanStarted);
    const char* const where[] = {"at 8.0 kB \u2014 ", "at 1.0 MB \u2014 "};
    for (int n = 0; n < 2; ++n) {
        QTreeWidgetItem* file = node->child(n);
        const int count = found[static_cast<std::size_t>(n)]->GetCount();
        EXPECT_EQ(file->text(0), QString::fromUtf8(where[n]) + QString::number(count) + QStringLiteral(" emails, 2002"));
        EXPECT_TRUE(file->toolTip(0).contains(QStringLiteral("disk.img")));
        EXPECT_EQ(Browse().FilePath(before + n), image);
        Select(file);
        EXPECT_EQ(Browse().GetCurrentDbxFile(), found[static_cast<std::size_t>(n)]);
        EXPECT_EQ(List().GetItemCount(), count);
    }
    EXPECT_EQ(scans.count(), 0);  // read when the image was: nothing to scan
    SearchesEnded();              // and nothing to look for in moved blocks
    EXPECT_EQ(List().GetItemCount(), found[1]->GetCount());
}
