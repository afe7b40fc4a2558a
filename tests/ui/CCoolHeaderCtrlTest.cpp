#include "ui/CCoolHeaderCtrl.h"

#include "support/QtTestApp.h"
#include "ListTestSupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

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

TEST_F(HeaderTest, APressedTitleIsSunkenUntilReleasedAndThenSorts)
{
    QSignalSpy clicked(header, &QHeaderView::sectionClicked);
    const QRect subject = header->ItemRect(CMessageListModel::kColumnSubject);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, Centre(CMessageListModel::kColumnSubject));
    EXPECT_EQ(header->PressedItem(), CMessageListModel::kColumnSubject);
    QImage shot = Shot();
    EXPECT_EQ(shot.pixel(subject.left(), 4), kGrey);
    EXPECT_EQ(shot.pixel(subject.left() + 20, 0), kGrey);
    EXPECT_EQ(shot.pixel(subject.right(), 4), kWhite);
    EXPECT_EQ(clicked.count(), 0);

    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, Centre(CMessageListModel::kColumnSubject));
    EXPECT_EQ(header->PressedItem(), -1);
    shot = Shot();
    EXPECT_EQ(shot.pixel(subject.left(), 4), kWhite);
    EXPECT_EQ(shot.pixel(subject.right(), 4), kGrey);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(list->SortDirections()[CMessageListModel::kColumnSubject], CMessageListCtrl::kAscending);
}

TEST_F(HeaderTest, DraggingADividerResizesWithoutSortingOrSinking)
{
    QSignalSpy clicked(header, &QHeaderView::sectionClicked);
    const QRect from = header->ItemRect(CMessageListModel::kColumnFrom);
    const QPoint divider(from.right(), from.center().y());
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, divider);
    EXPECT_EQ(header->PressedItem(), -1);
    QTest::mouseMove(header->viewport(), divider + QPoint(40, 0));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, divider + QPoint(40, 0));
    EXPECT_EQ(header->sectionSize(CMessageListModel::kColumnFrom), 190);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(list->SortDirections()[CMessageListModel::kColumnFrom], CMessageListCtrl::kNeverSorted);
}

TEST_F(HeaderTest, ADoubleClickOnATitleIsTwoClicks)
{
    const QPoint at = Centre(CMessageListModel::kColumnSubject);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, at);
    // Ascending after the first click, descending after the second.
    EXPECT_EQ(list->SortDirections()[CMessageListModel::kColumnSubject], CMessageListCtrl::kDescending);
    EXPECT_EQ(listtest::Order(*list), (std::vector<int>{3, 1, 5, 4, 0, 2}));
}
