#include "ui/CMessageListCtrl.h"

#include "dbx/DbxFile.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DemoMailbox.h"
#include "ui/CCoolHeaderCtrl.h"
#include "ui/CMessageListModel.h"
#include "ui/PostedMessage.h"
#include "ListTestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using listtest::Order;
using listtest::Record;
using listtest::Time;

namespace {

// The list's parent: counts the tick notifications that reach it.
class TickCounter : public QWidget {
public:
    int ticks = 0;

protected:
    bool event(QEvent* e) override
    {
        if (const auto* m = ui::PostedMessage::As(e, ui::WM_TICKCHANGED)) {
            EXPECT_EQ(m->WParam(), 0);
            EXPECT_EQ(m->LParam(), 0);
            ++ticks;
            return true;
        }
        return QWidget::event(e);
    }
};

constexpr int kFrom = CMessageListModel::kColumnFrom;
constexpr int kTo = CMessageListModel::kColumnTo;
constexpr int kSubject = CMessageListModel::kColumnSubject;
constexpr int kDate = CMessageListModel::kColumnDate;
constexpr int kStatus = CMessageListModel::kColumnStatus;

class ListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // index: from, to, subject, date, attachment, deleted
        records = {
            Record("carol@example.com", "me", "Zebra crossing", Time(2008, 3, 5, 9, 7, 2), false, true),
            Record("alice@example.com", "me", "apple pie", 0, true, false),
            Record("bob@example.com", "team", "Meeting", Time(2007, 12, 31, 23, 59, 59)),
            Record("dave@example.com", "me", "\xE9t\xE9", Time(2009, 1, 1), true, true),  // Windows-1252
            Record("eve@example.com", "you", "abc", 0),
            Record("frank@example.com", "me", "abcd", Time(2008, 3, 5, 9, 7, 2), false, true),
        };
        parent.resize(900, 300);
        list = new CMessageListCtrl(&parent);
        list->setGeometry(0, 0, 900, 300);
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
        listtest::Fill(*list, records);
    }

    QWidget* Viewport() const { return list->viewport(); }
    QPoint InRow(int index, int x) const { return QPoint(x, list->rowViewportPosition(index) + list->rowHeight(index) / 2); }
    void ClickAt(QPoint p) { QTest::mouseClick(Viewport(), Qt::LeftButton, {}, p); }
    void ClickTitle(int column)
    {
        QTest::mouseClick(list->Header()->viewport(), Qt::LeftButton, {}, list->Header()->ItemRect(column).center());
    }
    int SelectedRow() const
    {
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.front().row() : -1;
    }
    QString Cell(int row, int column, int role = Qt::DisplayRole) const
    {
        return list->model()->index(row, column).data(role).toString();
    }
    // Flags of every title that shows a bitmap.
    std::vector<int> ColumnsWithArrow() const
    {
        std::vector<int> columns;
        for (int c = 0; c < CMessageListModel::kColumnCount; ++c)
            if (list->model()->headerData(c, Qt::Horizontal, CCoolHeaderCtrl::kFormatRole).toUInt() &
                (CCoolHeaderCtrl::kHdfBitmap | CCoolHeaderCtrl::kHdfBitmapOnRight))
                columns.push_back(c);
        return columns;
    }
    QImage HeaderBitmap(int column) const
    {
        return list->model()->headerData(column, Qt::Horizontal, Qt::DecorationRole).value<QPixmap>().toImage();
    }
    // Pixels of `row` (in the text columns) that are pure red.
    int RedPixels(const QImage& shot, int row) const
    {
        int red = 0;
        const int top = list->rowViewportPosition(row);
        for (int y = top; y < top + list->rowHeight(row); ++y)
            for (int x = list->columnViewportPosition(kFrom); x < shot.width(); ++x) {
                const QColor c(shot.pixel(x, y));
                red += c.red() > 200 && c.green() < 90 && c.blue() < 90;
            }
        return red;
    }
    // Pixels of the tick strip of `row` that are clearly green.
    int GreenPixels(const QImage& shot, int row) const
    {
        int green = 0;
        const QRect strip = list->TickBoxRect(row);
        for (int y = strip.top(); y <= strip.bottom(); ++y)
            for (int x = strip.left(); x <= strip.right(); ++x) {
                const QColor c(shot.pixel(x, y));
                green += c.green() > 120 && c.red() < 100 && c.blue() < 100;
            }
        return green;
    }

    std::vector<dbx::EmailRecord> records;
    dbx::DbxFile file;  // a mail file to list, when a test opens one: outlives the list
    TickCounter parent;
    CMessageListCtrl* list = nullptr;
};

} // namespace

// --- columns and cells ---------------------------------------------------------------------

TEST_F(ListTest, SixColumnsShowTheRecordSafely)
{
    const QHeaderView* header = list->horizontalHeader();
    ASSERT_EQ(header, list->Header());
    ASSERT_EQ(header->count(), 6);
    const int widths[] = {60, 150, 150, 200, 140, 60};
    const char* titles[] = {"", "From", "To", "Subject", "Date", "Status"};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(header->sectionSize(c), widths[c]) << "column " << c;
        EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString(), QString::fromLatin1(titles[c]));
    }
    EXPECT_EQ(list->GetItemCount(), 6);
    EXPECT_EQ(Cell(0, kFrom), "carol@example.com");
    EXPECT_EQ(Cell(2, kTo), "team");
    EXPECT_EQ(Cell(0, kSubject), "Zebra crossing");
    EXPECT_EQ(Cell(3, kSubject), QString::fromUtf8("\xC3\xA9t\xC3\xA9"));  // 1252 bytes shown as text
    EXPECT_EQ(Cell(0, kDate), "2008-3-5 9:7:2");  // no leading zeros, no zone
    EXPECT_EQ(Cell(2, kDate), "2007-12-31 23:59:59");
    EXPECT_EQ(Cell(1, kDate), "");  // no date
    EXPECT_EQ(Cell(1, CMessageListModel::kColumnTick), "");
    EXPECT_EQ(list->model()->index(1, 0).data(CMessageListModel::kIconRole).toInt(), 1);
    EXPECT_EQ(list->model()->index(2, 0).data(CMessageListModel::kIconRole).toInt(), 0);

    // UTF-8 texts, and a date beyond the calendar.
    std::vector<dbx::EmailRecord> more = {
        Record("J\xC3\xBCrgen <j@x>", "", "\xE2\x82\xAC 5", 0x8000000000000000ull),
    };
    listtest::Fill(*list, more);
    EXPECT_EQ(Cell(0, kFrom), QString::fromUtf8("J\xC3\xBCrgen <j@x>"));
    EXPECT_EQ(Cell(0, kSubject), QString::fromUtf8("\xE2\x82\xAC 5"));
    EXPECT_EQ(Cell(0, kDate), "");  // beyond the calendar: nothing rather than garbage
    EXPECT_EQ(CMessageListModel::DateText(0), "");
}

TEST_F(ListTest, DeletedRowsAreRedInEveryTextColumn)
{
    for (int c = kFrom; c <= kStatus; ++c) {
        EXPECT_EQ(list->model()->index(0, c).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
        EXPECT_FALSE(list->model()->index(1, c).data(Qt::ForegroundRole).isValid());
    }
    const QImage shot = testsupport::Grab(*Viewport());
    EXPECT_GT(RedPixels(shot, 0), 20);
    EXPECT_GT(RedPixels(shot, 3), 20);
    EXPECT_EQ(RedPixels(shot, 1), 0);
    EXPECT_EQ(RedPixels(shot, 2), 0);
}

TEST_F(ListTest, AttachmentRowsShowTheOtherIcon)
{
    const QImage shot = testsupport::Grab(*Viewport());
    auto icon = [&](int row) {
        return shot.copy(16, list->rowViewportPosition(row), 26, list->rowHeight(row));
    };
    EXPECT_EQ(icon(1), icon(3));  // both with attachment
    EXPECT_EQ(icon(2), icon(4));  // both without
    EXPECT_NE(icon(1), icon(2));
}

// --- ticking ------------------------------------------------------------------------------------

TEST_F(ListTest, AClickOnTheTickBoxTicksSelectsAndNotifiesLater)
{
    ClickAt(InRow(2, 8));
    EXPECT_EQ(list->IsTicked(2), 1);
    EXPECT_EQ(SelectedRow(), 2);
    EXPECT_EQ(list->GetTickedCount(), 1);
    EXPECT_EQ(parent.ticks, 0);  // posted, not sent
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(parent.ticks, 1);
    EXPECT_GT(GreenPixels(testsupport::Grab(*Viewport()), 2), 3);
    EXPECT_EQ(GreenPixels(testsupport::Grab(*Viewport()), 1), 0);

    ClickAt(InRow(2, 15));  // the strip's last pixel: unticks
    EXPECT_EQ(list->IsTicked(2), 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(parent.ticks, 2);
}

TEST_F(ListTest, AClickRightOfTheTickBoxOnlySelects)
{
    ClickAt(InRow(4, 16));
    EXPECT_EQ(SelectedRow(), 4);
    ClickAt(InRow(1, 300));
    EXPECT_EQ(SelectedRow(), 1);  // one row at a time
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 1);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(list->GetTickedCount(), 0);
    EXPECT_EQ(parent.ticks, 0);
}

TEST_F(ListTest, ADoubleClickOnTheTickBoxIsTwoClicks)
{
    const QPoint box = InRow(3, 4);
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, box);
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, box);
    QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, box);
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, box);
    EXPECT_EQ(list->IsTicked(3), 0);
    EXPECT_EQ(SelectedRow(), 3);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(parent.ticks, 2);
}

TEST_F(ListTest, KeysReachEveryRowAndSpaceTicksWithoutAMouse)
{
    list->setFocus();
    ClickAt(InRow(2, 450));  // the subject
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(SelectedRow(), 5);
    EXPECT_EQ(list->currentIndex().column(), kSubject);  // no sideways scrolling
    QTest::keyClick(list, Qt::Key_Space);
    QTest::keyClick(list, Qt::Key_Home);
    EXPECT_EQ(SelectedRow(), 0);
    QTest::keyClick(list, Qt::Key_Space);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Space);
    QTest::keyClick(list, Qt::Key_Space);  // and off again
    QTest::keyClick(list, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(SelectedRow(), 5);
    EXPECT_EQ(list->IsTicked(0), 1);
    EXPECT_EQ(list->IsTicked(1), 0);
    EXPECT_EQ(list->IsTicked(5), 1);
    EXPECT_EQ(list->GetTickedCount(), 2);
    EXPECT_EQ(SelectedRow(), 5);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(parent.ticks, 4);  // the status line hears of each

    listtest::Fill(*list, {});
    QTest::keyClick(list, Qt::Key_Space);
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(list->GetTickedCount(), 0);
}

TEST_F(ListTest, TheFourTickCommands)
{
    ClickAt(InRow(2, 300));
    list->TickAll();
    EXPECT_EQ(list->GetTickedCount(), 6);
    list->TickExisting();  // after "Select all": the deleted ones lose their tick
    EXPECT_EQ(list->GetTickedCount(), 3);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(list->IsTicked(i), records[static_cast<std::size_t>(i)].isDeleted ? 0 : 1) << i;
    list->TickDeleted();
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(list->IsTicked(i), records[static_cast<std::size_t>(i)].isDeleted ? 1 : 0) << i;
    list->UntickAll();
    EXPECT_EQ(list->GetTickedCount(), 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(parent.ticks, 0);  // the commands' caller repaints the counts
    EXPECT_EQ(SelectedRow(), 2);
}

// E-mails found in moved blocks say so; the deleted kind is red like any
// deleted e-mail, and the tick commands take each by its kind.
TEST_F(ListTest, MovedEmailsSayWhereTheyWereFoundAndGoWithTheirKind)
{
    std::vector<dbx::EmailRecord> found = {
        Record("a@x", "me", "moved, deleted", 0, false, true), Record("b@x", "me", "deleted", 0, false, true),
        Record("c@x", "me", "moved", 0), Record("d@x", "me", "existing", 0)};
    found[0].moved = found[2].moved = true;
    listtest::Fill(*list, found);
    const char* const status[] = {"Moved, deleted", "Deleted", "Moved", "Existing"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Cell(i, kStatus), status[i]);
        EXPECT_EQ(list->model()->index(i, kFrom).data(Qt::ForegroundRole).isValid(), found[i].isDeleted) << i;
    }
    list->TickExisting();
    EXPECT_EQ(list->IsTicked(2) + list->IsTicked(3), 2);
    EXPECT_EQ(list->GetTickedCount(), 2);
    list->TickDeleted();
    EXPECT_EQ(list->IsTicked(0) + list->IsTicked(1), 2);
    EXPECT_EQ(list->GetTickedCount(), 2);
    // By status: existing, moved, deleted, moved and deleted.
    ClickTitle(kStatus);
    EXPECT_EQ(Order(*list), (std::vector<int>{3, 2, 1, 0}));
}

TEST_F(ListTest, OutOfRangeIndexesAnswerNothing)
{
    EXPECT_EQ(list->GetRow(-1), nullptr);
    EXPECT_EQ(list->GetRow(6), nullptr);
    ASSERT_NE(list->GetRow(5), nullptr);
    EXPECT_EQ(list->GetRow(5)->record, &records[5]);
    EXPECT_EQ(list->GetRow(5)->messageIndex, 5);
    list->TickAll();
    EXPECT_EQ(list->IsTicked(-1), 0);
    EXPECT_EQ(list->IsTicked(6), 0);
    list->AddRow(nullptr, 6);
    list->UpdateItemCount();
    EXPECT_EQ(list->GetItemCount(), 6);
}

TEST_F(ListTest, StaleItemsNeverReadDroppedRecords)
{
    auto owned = std::make_unique<std::vector<dbx::EmailRecord>>(records);
    listtest::Fill(*list, *owned);
    ClickAt(InRow(1, 300));
    // The rows go first, then the records; the view still counts six items
    // until it is told otherwise and may paint them meanwhile.
    list->ResetList();
    owned.reset();
    EXPECT_EQ(list->GetItemCount(), 6);
    EXPECT_EQ(SelectedRow(), -1);
    EXPECT_FALSE(list->model()->index(1, kSubject).data().isValid());
    EXPECT_FALSE(list->model()->index(1, 0).data(CMessageListModel::kTickedRole).isValid());
    (void)testsupport::Grab(*list);
    ClickAt(InRow(1, 8));  // a click on a box without a row ticks nothing
    EXPECT_EQ(list->GetTickedCount(), 0);
    list->UpdateItemCount();
    EXPECT_EQ(list->GetItemCount(), 0);
}

// --- sorting -------------------------------------------------------------------------------------

TEST_F(ListTest, DateSortsOldestFirstAfterUndatedThenReverses)
{
    ClickTitle(kDate);
    EXPECT_EQ(Order(*list), (std::vector<int>{1, 4, 2, 0, 5, 3}));
    EXPECT_EQ(list->SortDirections()[kDate], CMessageListCtrl::kAscending);
    EXPECT_EQ(ColumnsWithArrow(), (std::vector<int>{kDate}));
    EXPECT_EQ(HeaderBitmap(kDate), list->AscendingArrow().toImage());
    EXPECT_EQ(Cell(0, kDate), "");
    EXPECT_EQ(Cell(5, kDate), "2009-1-1 0:0:0");

    ClickTitle(kDate);
    EXPECT_EQ(Order(*list), (std::vector<int>{3, 0, 5, 2, 1, 4}));  // equal dates keep their order
    EXPECT_EQ(list->SortDirections()[kDate], CMessageListCtrl::kDescending);
    EXPECT_EQ(HeaderBitmap(kDate), list->DescendingArrow().toImage());
    EXPECT_EQ(list->SortColumn(), -1);

    ClickTitle(kStatus);  // the arrow moves
    EXPECT_EQ(ColumnsWithArrow(), (std::vector<int>{kStatus}));
    EXPECT_EQ(Order(*list), (std::vector<int>{2, 1, 4, 3, 0, 5}));  // existing first, stable
}

TEST_F(ListTest, TextsSortByTheirBytesUnsignedAndCaseSensitive)
{
    ClickTitle(kSubject);
    // "Meeting" < "Zebra crossing" < "abc" < "abcd" < "apple pie" < 0xE9...
    EXPECT_EQ(Order(*list), (std::vector<int>{2, 0, 4, 5, 1, 3}));
    ClickTitle(kFrom);
    EXPECT_EQ(Order(*list), (std::vector<int>{1, 2, 0, 3, 4, 5}));
    ClickTitle(kTo);
    EXPECT_EQ(Order(*list), (std::vector<int>{1, 0, 3, 5, 2, 4}));  // "me" x4 in the From order
    ClickTitle(CMessageListModel::kColumnTick);
    EXPECT_EQ(Order(*list), (std::vector<int>{0, 5, 2, 4, 1, 3}));  // without attachment first
}

TEST_F(ListTest, SortingKeepsTicksWithTheirRowsAndTheSelectedIndex)
{
    ClickAt(InRow(0, 8));  // ticks "Zebra crossing" and selects index 0
    ClickTitle(kSubject);
    EXPECT_EQ(Order(*list)[1], 0);
    EXPECT_EQ(list->IsTicked(1), 1);
    EXPECT_EQ(list->IsTicked(0), 0);
    EXPECT_EQ(list->GetTickedCount(), 1);
    EXPECT_EQ(SelectedRow(), 0);  // the same display index stays selected
    ClickAt(InRow(3, 8));
    EXPECT_EQ(list->GetTickedCount(), 2);
    parent.resize(760, 160);
    list->resize(760, 160);
    EXPECT_FALSE(testsupport::SaveScreenshot(testsupport::Grab(parent), "message_list_filled").isEmpty());
}

TEST_F(ListTest, ARefillStartsEveryColumnUnsorted)
{
    ClickTitle(kSubject);
    ClickTitle(kSubject);
    listtest::Fill(*list, records);
    EXPECT_EQ(list->SortDirections(), std::vector<std::uint8_t>(6, CMessageListCtrl::kNeverSorted));
    EXPECT_TRUE(ColumnsWithArrow().empty());
    EXPECT_TRUE(HeaderBitmap(kSubject).isNull());
    ClickTitle(kSubject);
    EXPECT_EQ(list->SortDirections()[kSubject], CMessageListCtrl::kAscending);
}

TEST(MessageList, AClickBeforeTheFirstResetChangesNothingAndOnAnEmptyListOnlyMovesTheArrow)
{
    CMessageListCtrl list;
    list.OnColumnClick(kSubject);
    EXPECT_TRUE(list.SortDirections().empty());
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(list.model()->headerData(c, Qt::Horizontal, CCoolHeaderCtrl::kFormatRole).toUInt(), 0u);

    list.ResetList();
    list.UpdateItemCount();
    list.OnColumnClick(kTo);
    EXPECT_EQ(list.SortDirections()[kTo], CMessageListCtrl::kAscending);
    list.OnColumnClick(kTo);
    EXPECT_EQ(list.SortDirections()[kTo], CMessageListCtrl::kDescending);
    list.OnColumnClick(99);  // no such column
    EXPECT_EQ(list.GetItemCount(), 0);
}

// --- header texts of a real mail file -------------------------------------------------------

TEST_F(ListTest, TheDemoMailboxShowsAndSortsDecodedSubjectsAndSenders)
{
    testsupport::TempDir dir;
    ASSERT_TRUE(dbxgen::MakeDemoMailbox().WriteTo(dir.File("Demo.dbx")));
    ASSERT_TRUE(file.Open(dir.File("Demo.dbx")));
    dbx::NullProgressSink quiet;
    file.Scan(quiet);
    list->ResetList();
    list->SetMailFile(&file);
    for (int i = 0; i < file.GetCount(); ++i)
        list->AddRow(file.GetAt(i), i);
    list->UpdateItemCount();

    QStringList subjects;
    for (int row = 0; row < list->GetItemCount(); ++row)
        subjects << Cell(row, kSubject);
    EXPECT_TRUE(subjects.contains(QString::fromUtf8("Отчёт за третий квартал")));          // Windows-1251, B
    EXPECT_TRUE(subjects.contains(QString::fromUtf8("Sommer in Südtirol – 20 % Rabatt ☀")));  // UTF-8, B
    EXPECT_TRUE(subjects.contains(QString::fromUtf8("Café crème et réunion de janvier")));  // ISO-8859-1, Q
    const int russian = static_cast<int>(subjects.indexOf(QString::fromUtf8("Отчёт за третий квартал")));
    EXPECT_TRUE(Cell(russian, kFrom).startsWith(QString::fromUtf8("Сергей Иванов <"))) << Cell(russian, kFrom).toStdString();

    // Sorted by the texts shown (as UTF-8 bytes), not by the raw "=?..." forms.
    list->OnColumnClick(kSubject);
    std::vector<std::string> shown, raw;
    for (int row = 0; const ListRow* r = list->GetRow(row); ++row) {
        shown.push_back(Cell(row, kSubject).toStdString());
        raw.push_back(r->record->subject);
    }
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_FALSE(std::is_sorted(raw.begin(), raw.end()));
    list->OnColumnClick(kFrom);
    list->OnColumnClick(kFrom);  // descending
    std::vector<std::string> senders;
    for (int row = 0; row < list->GetItemCount(); ++row)
        senders.push_back(Cell(row, kFrom).toStdString());
    EXPECT_TRUE(std::is_sorted(senders.rbegin(), senders.rend()));

    list->OnColumnClick(kDate);
    const QImage shot = testsupport::Grab(parent);
    EXPECT_FALSE(testsupport::SaveScreenshot(shot, "message_list_decoded_headers").isEmpty());
}
