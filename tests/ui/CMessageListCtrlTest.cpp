#include "ui/CMessageListCtrl.h"
#include "ui/CCoolHeaderCtrl.h"

#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DemoMailbox.h"
#include "ListTestSupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

using namespace listtest;

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

TEST_F(ListTest, AttachmentRowsShowTheOtherIcon)
{
    const QImage shot = testsupport::Grab(*Viewport());
    auto icon = [&](int row) { return shot.copy(16, list->rowViewportPosition(row), 26, list->rowHeight(row)); };
    EXPECT_EQ(icon(1), icon(3));  // both with attachment
    EXPECT_EQ(icon(2), icon(4));  // both without
    EXPECT_NE(icon(1), icon(2));
}

// --- ticking ------------------------------------------------------------------------------------

// Clicks in rows at x: only the 16 px tick box ticks (and selects); its
// notification to the parent is posted, not sent.
TEST_F(ListTest, AClickOnTheTickBoxTicksAndAnyClickSelects)
{
    struct Click {
        int row, x;
        bool twice = false;  // a double click as the window system delivers it
    };
    const struct {
        const char* name;
        std::vector<Click> clicks;
        int ticked;  // the row ticked at the end, -1 for none
        int selected, notified;
    } cases[] = {
        {"a click on the box", {{2, 8}}, 2, 2, 1},
        {"its last pixel unticks", {{2, 8}, {2, 15}}, -1, 2, 2},
        {"right of the box, one row at a time", {{4, 16}, {1, 300}}, -1, 1, 0},
        {"a double click is two clicks", {{3, 4, true}}, -1, 3, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        listtest::Fill(*list, records);
        parent.ticks = 0;
        for (const Click& click : c.clicks) {
            ClickAt(InRow(click.row, click.x));
            if (click.twice) {
                QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, InRow(click.row, click.x));
                QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, InRow(click.row, click.x));
            }
        }
        EXPECT_EQ(parent.ticks, 0);
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(parent.ticks, c.notified);
        EXPECT_EQ(SelectedRow(), c.selected);
        EXPECT_EQ(list->GetTickedCount(), c.ticked < 0 ? 0 : 1);
        const QImage shot = testsupport::Grab(*Viewport());
        for (int row = 0; row < 6; ++row) {
            EXPECT_EQ(list->IsTicked(row), row == c.ticked ? 1 : 0) << row;
            EXPECT_EQ(GreenPixels(shot, row) > 3, row == c.ticked) << row;
        }
    }
}

TEST_F(ListTest, KeysReachEveryRowAndSpaceTicksWithoutAMouse)
{
    list->setFocus();
    ClickAt(InRow(2, 450));  // the subject
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int selected, ticked;
    } keys[] = {{Qt::Key_End, {}, 5, 0},   {Qt::Key_Space, {}, 5, 1}, {Qt::Key_Home, {}, 0, 1},
                {Qt::Key_Space, {}, 0, 2}, {Qt::Key_Down, {}, 1, 2},  {Qt::Key_Space, {}, 1, 3},
                {Qt::Key_Space, {}, 1, 2},  // and off again
                {Qt::Key_End, Qt::ControlModifier, 5, 2}};
    for (const auto& k : keys) {
        QTest::keyClick(list, k.key, k.modifiers);
        EXPECT_EQ(SelectedRow(), k.selected) << k.key;
        EXPECT_EQ(list->GetTickedCount(), k.ticked) << k.key;
        EXPECT_EQ(list->currentIndex().column(), kSubject);  // no sideways scrolling
    }
    EXPECT_EQ(list->IsTicked(0) + list->IsTicked(5), 2);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(parent.ticks, 4);  // the status line hears of each

    listtest::Fill(*list, {});
    QTest::keyClick(list, Qt::Key_Space);
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(list->GetTickedCount(), 0);
}

// E-mails found in moved blocks say so; deleted ones of either kind are red,
// and the tick commands take each by its kind.
TEST_F(ListTest, TheTickCommandsTakeEmailsByTheirKindAndMovedOnesSaySo)
{
    std::vector<dbx::EmailRecord> found = {
        Record("a@x", "me", "moved, deleted", 0, false, true), Record("b@x", "me", "deleted", 0, false, true),
        Record("c@x", "me", "moved", 0), Record("d@x", "me", "existing", 0)};
    found[0].moved = found[2].moved = true;
    listtest::Fill(*list, found);
    const char* const status[] = {"Moved, deleted", "Deleted", "Moved", "Existing"};
    const QImage shot = testsupport::Grab(*Viewport());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Cell(i, kStatus), status[i]);
        EXPECT_EQ(RedPixels(shot, i) > 20, found[static_cast<std::size_t>(i)].isDeleted) << i;
    }
    ClickAt(InRow(2, 300));
    const auto ticked = [&] {
        std::vector<int> rows;
        for (int i = 0; i < 4; ++i)
            if (list->IsTicked(i))
                rows.push_back(i);
        return rows;
    };
    list->TickAll();
    EXPECT_EQ(ticked(), (std::vector<int>{0, 1, 2, 3}));
    list->TickExisting();  // after "Select all": the deleted ones lose their tick
    EXPECT_EQ(ticked(), (std::vector<int>{2, 3}));
    list->TickDeleted();
    EXPECT_EQ(ticked(), (std::vector<int>{0, 1}));
    list->UntickAll();
    EXPECT_EQ(list->GetTickedCount(), 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(parent.ticks, 0);  // the commands' caller repaints the counts
    EXPECT_EQ(SelectedRow(), 2);
    // By status: existing, moved, deleted, moved and deleted.
    ClickTitle(kStatus);
    EXPECT_EQ(Order(*list), (std::vector<int>{3, 2, 1, 0}));
}

// Indexes out of range, and rows whose records are gone.
TEST_F(ListTest, RowsThatAreNotThereAnswerNothingAndNeverReadDroppedRecords)
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

// Each click on a title sorts what the click before left, stably; the
// clicked title alone shows the arrow of its direction.
TEST_F(ListTest, TitleClicksSortStablyAndFlipTheDirection)
{
    const struct {
        int column;
        std::vector<int> order;
    } clicks[] = {
        {kDate, {1, 4, 2, 0, 5, 3}},    // undated first, then oldest first
        {kDate, {3, 0, 5, 2, 1, 4}},    // reversed; equal dates keep their order
        {kStatus, {2, 1, 4, 3, 0, 5}},  // existing first
        // Texts by their bytes, unsigned and case-sensitive: "Meeting" <
        // "Zebra crossing" < "abc" < "abcd" < "apple pie" < 0xE9...
        {kSubject, {2, 0, 4, 5, 1, 3}},
        {kFrom, {1, 2, 0, 3, 4, 5}},
        {kTo, {1, 0, 3, 5, 2, 4}},                         // "me" x4 in the From order
        {CMessageListModel::kColumnTick, {0, 5, 2, 4, 1, 3}},  // without attachment first
    };
    std::map<int, int> times;
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.column);
        ClickTitle(click.column);
        EXPECT_EQ(Order(*list), click.order);
        for (int row = 0; row < 6; ++row)
            EXPECT_EQ(Cell(row, kFrom).toStdString(), records[static_cast<std::size_t>(click.order[row])].from);
        const bool ascending = ++times[click.column] % 2 == 1;
        EXPECT_EQ(list->SortDirections()[click.column],
                  ascending ? CMessageListCtrl::kAscending : CMessageListCtrl::kDescending);
        EXPECT_EQ(ColumnsWithArrow(), std::vector<int>{click.column});
        EXPECT_EQ(HeaderBitmap(click.column),
                  (ascending ? list->AscendingArrow() : list->DescendingArrow()).toImage());
        EXPECT_EQ(list->SortColumn(), -1);
    }
    // A refill starts every column unsorted.
    listtest::Fill(*list, records);
    EXPECT_EQ(list->SortDirections(), std::vector<std::uint8_t>(6, CMessageListCtrl::kNeverSorted));
    EXPECT_TRUE(ColumnsWithArrow().empty());
    EXPECT_TRUE(HeaderBitmap(CMessageListModel::kColumnTick).isNull());
    ClickTitle(kSubject);
    EXPECT_EQ(list->SortDirections()[kSubject], CMessageListCtrl::kAscending);
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

// --- the header ----------------------------------------------------------------------------

namespace {

const QRgb kBand = qRgb(106, 160, 216);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGrey = qRgb(128, 128, 128);

class HeaderTest : public listtest::ListTest {
protected:
    void SetUp() override
    {
        ListTest::SetUp();
        header = list->Header();
    }

    QImage Shot() { return testsupport::Grab(*header); }
    QPoint Centre(int column) const { return header->ItemRect(column).center(); }

    // The box around the black title pixels inside item `column`.
    QRect TitleBox(const QImage& shot, int column) const
    {
        const QRect item = header->ItemRect(column);
        QRect box;
        for (int y = 1; y < item.height() - 1; ++y)
            for (int x = item.left() + 1; x < item.right(); ++x)
                if (qGray(shot.pixel(x, y)) < 60)
                    box |= QRect(x, y, 1, 1);
        return box;
    }

    CCoolHeaderCtrl* header = nullptr;
};

} // namespace

// --- painting ----------------------------------------------------------------------------

TEST_F(HeaderTest, PaintsTheBandAndARaisedFramePerTitleAndRightOfThem)
{
    const QImage shot = Shot();
    const int h = shot.height();
    ASSERT_GE(h, 17);  // room for the 15 px arrow one pixel down
    for (int x = 0; x < shot.width(); x += 7)
        EXPECT_EQ(shot.pixel(x, h - 1), kGrey) << "bottom line at x " << x;
    const QRect from = header->ItemRect(CMessageListModel::kColumnFrom);
    EXPECT_EQ(from, QRect(60, 0, 150, h));
    EXPECT_EQ(shot.pixel(from.left(), 4), kWhite);
    EXPECT_EQ(shot.pixel(from.left() + 20, 0), kWhite);
    EXPECT_EQ(shot.pixel(from.right(), 4), kGrey);
    EXPECT_EQ(shot.pixel(from.left() + 3, h / 2), kBand);
    // Title "From", black, centred.
    const QRect title = TitleBox(shot, CMessageListModel::kColumnFrom);
    ASSERT_FALSE(title.isEmpty());
    EXPECT_NEAR(title.center().x(), from.center().x(), 3);
    // Column 0 has no title.
    EXPECT_TRUE(TitleBox(shot, CMessageListModel::kColumnTick).isEmpty());

    // The band right of the columns gets a frame without a right line.
    const QRect last = header->ItemRect(CMessageListModel::kColumnStatus);
    const int end = last.x() + last.width();  // 760
    ASSERT_EQ(end, 760);
    ASSERT_GT(shot.width(), end + 10);
    EXPECT_EQ(shot.pixel(end, 4), kWhite);
    EXPECT_EQ(shot.pixel(end + 10, 0), kWhite);
    EXPECT_EQ(shot.pixel(shot.width() - 1, 4), kBand);
    EXPECT_EQ(shot.pixel(shot.width() - 1, shot.height() - 1), kGrey);
}

TEST_F(HeaderTest, TheSortArrowStandsLeftOfTheSortedTitleOnly)
{
    list->OnColumnClick(CMessageListModel::kColumnDate);
    const QImage shot = Shot();
    const QRect date = header->ItemRect(CMessageListModel::kColumnDate);
    const QImage arrow = list->AscendingArrow().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(arrow.size(), QSize(15, 15));
    EXPECT_EQ(shot.copy(date.left() + 5, 1, 15, 15), arrow);
    // The title is centred in the room right of the arrow.
    const QRect title = TitleBox(shot, CMessageListModel::kColumnDate);
    ASSERT_FALSE(title.isEmpty());
    const int roomLeft = date.left() + 5 + 15 + 2;
    const int roomRight = date.right() - 5;
    EXPECT_GE(title.left(), roomLeft);
    EXPECT_NEAR(title.center().x(), (roomLeft + roomRight) / 2, 3);
    // No other title has an arrow.
    for (int c = 0; c < CMessageListModel::kColumnCount; ++c) {
        if (c == CMessageListModel::kColumnDate)
            continue;
        const QRect item = header->ItemRect(c);
        EXPECT_NE(shot.copy(item.left() + 5, 1, 15, 15), arrow) << "column " << c;
    }
    const QRect untitled = header->ItemRect(CMessageListModel::kColumnTick);
    EXPECT_EQ(shot.pixel(untitled.left() + 5 + 7, 8), kBand);
}

TEST_F(HeaderTest, ATitleWiderThanItsColumnEndsInAnEllipsis)
{
    list->Model()->setHeaderData(CMessageListModel::kColumnTo, Qt::Horizontal,
                                QStringLiteral("Recipients of this message, all of them"), Qt::DisplayRole);
    const QRect to = header->ItemRect(CMessageListModel::kColumnTo);
    const QImage shot = Shot();
    const QRect title = TitleBox(shot, CMessageListModel::kColumnTo);
    ASSERT_FALSE(title.isEmpty());
    EXPECT_GE(title.left(), to.left() + 5);
    EXPECT_LE(title.right(), to.right() - 5);
    // The last few pixels are the three dots: short and on the base line.
    const int dotsBottom = title.bottom();
    int inkAboveDots = 0;
    for (int y = title.top(); y < dotsBottom - 3; ++y)
        for (int x = title.right() - 2; x <= title.right(); ++x)
            inkAboveDots += qGray(shot.pixel(x, y)) < 60;
    EXPECT_EQ(inkAboveDots, 0);
}

// --- mouse ----------------------------------------------------------------------------------

// A pressed title is sunken until released and then sorts; a double click is
// two clicks; a drag of a divider only resizes.
TEST_F(HeaderTest, PressReleaseDoubleClickAndDividerDrags)
{
    QSignalSpy clicked(header, &QHeaderView::sectionClicked);
    const QRect subject = header->ItemRect(CMessageListModel::kColumnSubject);
    const QPoint at = Centre(CMessageListModel::kColumnSubject);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(header->PressedItem(), CMessageListModel::kColumnSubject);
    QImage shot = Shot();
    EXPECT_EQ(shot.pixel(subject.left(), 4), kGrey);
    EXPECT_EQ(shot.pixel(subject.left() + 20, 0), kGrey);
    EXPECT_EQ(shot.pixel(subject.right(), 4), kWhite);
    EXPECT_EQ(clicked.count(), 0);

    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(header->PressedItem(), -1);
    shot = Shot();
    EXPECT_EQ(shot.pixel(subject.left(), 4), kWhite);
    EXPECT_EQ(shot.pixel(subject.right(), 4), kGrey);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(list->SortDirections()[CMessageListModel::kColumnSubject], CMessageListCtrl::kAscending);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(list->SortDirections()[CMessageListModel::kColumnSubject], CMessageListCtrl::kDescending);
    EXPECT_EQ(listtest::Order(*list), (std::vector<int>{3, 1, 5, 4, 0, 2}));

    const qsizetype clicks = clicked.count();
    const QRect from = header->ItemRect(CMessageListModel::kColumnFrom);
    const QPoint divider(from.right(), from.center().y());
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, divider);
    EXPECT_EQ(header->PressedItem(), -1);
    QTest::mouseMove(header->viewport(), divider + QPoint(40, 0));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, divider + QPoint(40, 0));
    EXPECT_EQ(header->sectionSize(CMessageListModel::kColumnFrom), 190);
    EXPECT_EQ(clicked.count(), clicks);
    EXPECT_EQ(list->SortDirections()[CMessageListModel::kColumnFrom], CMessageListCtrl::kNeverSorted);
}
