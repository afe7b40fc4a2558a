#include "ui/CProgressWnd.h"

#include "dbx/DbxFile.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DbxImage.h"

#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

namespace {

// Records every percentage sent to the bar, with the position that sent it.
class RecordingWnd : public CProgressWnd {
public:
    std::vector<int> sent;
    std::vector<std::pair<int, int>> sentAt;  // (position, percentage)
    int pos = 0;

    void Pos(int p)
    {
        pos = p;
        SetPos(p);
    }

protected:
    void SendPos(int percent) override
    {
        sent.push_back(percent);
        sentAt.emplace_back(pos, percent);
        CProgressWnd::SendPos(percent);
    }
};

} // namespace

// --- the percentage rule ------------------------------------------------------------

// One call to the window: SetTotal(a), SetPos(a) or SetPosRange(a, b).
enum CallKind { kTotal, kPos, kRange };
struct Call {
    CallKind what;
    int a;
    int b = 0;
};

TEST(ProgressWnd, SendsEachChangedPercentageUntilTheFirstAbove100)
{
    const struct {
        const char* name;
        std::vector<Call> calls;
        std::vector<int> sent;  // every percentage sent to the bar, the reset to 0 too
        int bar;                // what the bar shows at the end
    } cases[] = {
        // 0.5 % is 0, as shown: not sent again.
        {"only a changed percentage", {{kTotal, 200}, {kPos, 1}, {kPos, 2}}, {0, 1}, 1},
        // The first percentage above 100 is sent, and nothing after it.
        {"a run that starts above 100", {{kTotal, 10}, {kRange, 12, 40}}, {0, 120}, 100},
        {"no total",
         {{kTotal, 0}, {kPos, 0}, {kPos, 1}, {kPos, 5}, {kPos, 100}, {kPos, INT_MAX}, {kPos, -3}, {kRange, 0, 1000}},
         {0},
         0},
        {"a negative total",
         {{kTotal, -5}, {kPos, 0}, {kPos, 1}, {kPos, 5}, {kPos, 100}, {kPos, INT_MAX}, {kPos, -3}, {kRange, 0, 1000}},
         {0},
         0},
        {"a second total starts over",
         {{kTotal, 100}, {kPos, 150}, {kPos, 160}, {kTotal, 100}, {kPos, 50}},
         {0, 150, 0, 50},
         50},
        // A run sends at most once and costs no more for more positions (one
        // call per position would take seconds); an empty run sends nothing,
        // nor does any run after 100 %.
        {"long runs",
         {{kTotal, INT_MAX}, {kRange, 0, INT_MAX - 1}, {kTotal, 1000}, {kRange, 0, INT_MAX}, {kRange, 5, 4},
          {kRange, 0, 10}},
         {0, 99, 0, 101},
         100},
    };
    for (const auto& c : cases) {
        RecordingWnd w;
        for (const Call& call : c.calls) {
            if (call.what == kTotal)
                w.SetTotal(call.a);
            else if (call.what == kPos)
                w.Pos(call.a);
            else
                w.SetPosRange(call.a, call.b);
        }
        EXPECT_EQ(w.sent, c.sent) << c.name;
        EXPECT_EQ(w.ProgressBar()->value(), c.bar) << c.name;
    }
}

TEST(ProgressWnd, StopsAfterTheFirstPercentageAbove100)
{
    RecordingWnd w;
    w.SetTotal(1000);
    for (int p = 0; p <= 1300; ++p)
        w.Pos(p);
    ASSERT_EQ(w.sent.size(), 102u);  // 0, then 1 .. 101 once each
    for (int i = 0; i <= 101; ++i)
        EXPECT_EQ(w.sent[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(w.sentAt[100], std::make_pair(1000, 100));
    EXPECT_EQ(w.sentAt[101], std::make_pair(1010, 101));
    EXPECT_EQ(w.LastPercent(), 101);
    EXPECT_EQ(w.ProgressBar()->value(), 100);  // the bar shows a full bar, not 101
}

TEST(ProgressWnd, PercentTruncatesTowardZeroAndSaturates)
{
    const int cases[][3] = {{1, 3, 33}, {2, 3, 66}, {-1, 3, -33},  // toward zero
                            {INT_MAX, 1, INT_MAX}, {INT_MIN, 1, INT_MIN}, {5, 0, 0}};
    for (const auto& [pos, total, percent] : cases)
        EXPECT_EQ(CProgressWnd::Percent(pos, total), percent) << pos << " of " << total;
}

// --- runs of positions ------------------------------------------------------------------

// SetPosRange leaves the window as the calls one position at a time would.
TEST(ProgressWnd, RangesEndWhereSinglePositionsEnd)
{
    const int totals[] = {1, 3, 7, 99, 200, 1000, 12345, 65536 * 3, INT_MAX};
    const int chunks[] = {1, 2, 5, 64, 1000, 65536};
    for (int total : totals) {
        for (int chunk : chunks) {
            RecordingWnd fast;
            RecordingWnd slow;
            fast.SetTotal(total);
            slow.SetTotal(total);
            const std::int64_t end = std::min<std::int64_t>(static_cast<std::int64_t>(total) * 13 / 10 + 3, 400000);
            for (std::int64_t first = 0; first < end; first += chunk) {
                const auto a = static_cast<std::int32_t>(first);
                const auto b = static_cast<std::int32_t>(std::min<std::int64_t>(first + chunk - 1, end - 1));
                fast.SetPosRange(a, b);
                slow.dbx::IProgressSink::SetPosRange(a, b);  // one SetPos per position
                ASSERT_EQ(fast.LastPercent(), slow.LastPercent()) << "total " << total << " chunk " << chunk
                                                                  << " at " << b;
                ASSERT_EQ(fast.ProgressBar()->value(), slow.ProgressBar()->value());
                ASSERT_EQ(fast.sent.back(), slow.sent.back());
            }
            // Never more sends than one position at a time makes.
            EXPECT_LE(fast.sent.size(), slow.sent.size());
        }
    }
}

// --- the window ------------------------------------------------------------------------

TEST(ProgressWnd, IsAPanelCentredInItsOwnersWindowAndIgnoresHelp)
{
    QWidget owner;
    owner.setGeometry(100, 80, 800, 600);
    auto* pane = new QWidget(&owner);  // the browse window, say
    pane->setGeometry(0, 135, 800, 400);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    CProgressWnd w(pane);
    w.ShowNow();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isWindow());  // no window of its own to wait for
    EXPECT_EQ(w.parentWidget(), &owner);
    EXPECT_LE((w.geometry().center() - owner.rect().center()).manhattanLength(), 1);
    EXPECT_EQ(owner.childAt(owner.rect().center()), w.ProgressBar());  // in front of the panes
    QTest::keyClick(&w, Qt::Key_F1);
    EXPECT_TRUE(w.isVisible());
}

// --- painting during a scan (runs under offscreen and, via ctest, under Xvfb) --------

namespace {

// The fraction of the bar's middle row that shows the bar's fill colour.
double FilledFraction(const QImage& shot, const QRect& bar, QRgb fill)
{
    const int y = bar.center().y();
    int filled = 0;
    for (int x = bar.left() + 2; x < bar.right() - 1; ++x)
        filled += qGray(shot.pixel(x, y)) < qGray(fill) + 20 && shot.pixel(x, y) != qRgb(255, 255, 255) ? 1 : 0;
    return static_cast<double>(filled) / (bar.width() - 3);
}

// A progress window that looks at the screen after every run of positions,
// while the scan still holds the thread.
class WatchingWnd : public CProgressWnd {
public:
    using CProgressWnd::CProgressWnd;
    struct Look {
        int percent;
        bool screenMatches;
        double filled;
    };
    std::vector<Look> looks;
    QImage midScan;

    void SetPosRange(std::int32_t first, std::int32_t last) override
    {
        CProgressWnd::SetPosRange(first, last);
        const QPoint at = mapToGlobal(QPoint(0, 0));
        const QImage onScreen =
            screen()->grabWindow(0, at.x(), at.y(), width(), height()).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage expected = grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRgb fill = palette().color(QPalette::Highlight).rgb();
        looks.push_back({LastPercent(), onScreen == expected, FilledFraction(onScreen, ProgressBar()->geometry(), fill)});
        if (midScan.isNull() && LastPercent() >= 45)
            midScan = onScreen;
    }
};

} // namespace

TEST(ProgressWndScreen, TheScreenShowsEachPercentageDuringTheScan)
{
    // A 16 MB file: the scan reports a run of positions 64 times.
    dbxgen::DbxImage image(16u << 20);
    image.PutLiveBlock(0x1000, "From: a@b\r\nSubject: hello\r\n\r\nbody", 0);
    testsupport::TempDir dir;
    const std::string path = dir.File("scan.dbx");
    ASSERT_TRUE(image.WriteTo(path));
    dbx::DbxFile file;
    ASSERT_TRUE(file.Open(path));

    QWidget owner;
    owner.resize(700, 500);
    owner.show();
    // The user clicked in the window: it is on the screen.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    WatchingWnd w(&owner);
    w.ShowNow();
    file.Scan(w);

    ASSERT_GE(w.looks.size(), 32u);
    int previous = 0;
    for (const WatchingWnd::Look& look : w.looks) {
        EXPECT_TRUE(look.screenMatches) << "at " << look.percent << " % (" << QGuiApplication::platformName().toStdString() << ")";
        EXPECT_NEAR(look.filled, std::min(look.percent, 100) / 100.0, 0.03) << "at " << look.percent << " %";
        EXPECT_GE(look.percent, previous);
        previous = look.percent;
    }
    EXPECT_GE(w.LastPercent(), 80);  // the total allows for more steps than a scan takes
    ASSERT_FALSE(w.midScan.isNull());
    EXPECT_FALSE(testsupport::SaveScreenshot(w.midScan, "progress_mid_scan_" + QGuiApplication::platformName()).isEmpty());
    EXPECT_EQ(file.GetCount(), 1);
}
