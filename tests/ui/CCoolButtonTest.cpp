#include "ui/CCoolButton.h"

#include "res/resource.h"
#include "support/QtTestApp.h"
#include "ui/ButtonSkin.h"
#include "ui/PostedMessage.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <utility>
#include <vector>

namespace {

constexpr int W = 10, H = 8, CW = 2, CH = 2;

// A strip of four 10 x 8 cells in which every pixel tells its cell and place.
QRgb Coded(int cell, int x, int y)
{
    return qRgb(40 + cell * 50, 5 + x * 20, 5 + y * 25);
}

// Four flat cells: normal, hover, pressed, disabled.
const QRgb kFlat[4] = {qRgb(100, 150, 200), qRgb(250, 170, 20), qRgb(20, 40, 60), qRgb(90, 90, 160)};

// A strip of four `w` x `h` cells, each pixel coloured by `colour`(cell, x, y).
QPixmap Strip(int w, int h, QRgb (*colour)(int cell, int x, int y))
{
    QImage image(4 * w, h, QImage::Format_RGB32);
    for (int cell = 0; cell < 4; ++cell)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.setPixel(cell * w + x, y, colour(cell, x, y));
    return QPixmap::fromImage(image);
}

// Records every private message of one kind posted to it (hints by default).
class Recipient : public QObject {
public:
    explicit Recipient(unsigned kind = ui::WM_BUTTONHINT) : kind_(kind) {}
    bool event(QEvent* e) override
    {
        if (const auto* m = ui::PostedMessage::As(e, kind_)) {
            posted.push_back({m->WParam(), m->LParam()});
            return true;
        }
        return QObject::event(e);
    }
    std::vector<std::pair<std::intptr_t, std::intptr_t>> posted;

private:
    unsigned kind_;
};

class CoolButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.setGeometry(200, 200, 300, 120);
        QCursor::setPos(QPoint(5, 5));  // well away from the host
        QCoreApplication::processEvents();
        ASSERT_TRUE(skin.SetSkin(Strip(22, 22, [](int cell, int, int) { return kFlat[cell]; }), 22, 22, 4, 4));
    }

    // A button on the host at `geometry`; a `hintId` other than -1 posts
    // hints with it to `owner`.
    CCoolButton& Button(QRect geometry, int hintId = -1)
    {
        auto* button = new CCoolButton(&skin, &host);
        button->setGeometry(geometry);
        if (hintId != -1) {
            button->SetHintOwner(&owner);
            button->SetHintId(hintId);
        }
        return *button;
    }

    // Shows the host with `button` on it and waits until it is on screen.
    void Show()
    {
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    }

    // Moves the pointer to `pos` of `widget` and lets posted events run.
    static void MoveTo(QWidget& widget, QPoint pos)
    {
        QTest::mouseMove(&widget, pos);
        QCoreApplication::processEvents();
    }

    // The host goes first: its buttons paint with the skin and post to the owner.
    ButtonSkin skin;
    Recipient owner;
    QWidget host;
};

} // namespace

// --- the skin -----------------------------------------------------------------------------

// The program's skin loads; missing bitmaps and sizes that could never be
// drawn are refused.
TEST(ButtonSkin, LoadsTheProgramSkinAndRefusesWhatCannotBeDrawn)
{
    ButtonSkin skin;
    EXPECT_FALSE(skin.LoadSkin(999, 22, 22, 4, 4));
    EXPECT_FALSE(skin.IsLoaded());
    ASSERT_TRUE(skin.LoadSkin(IDB_BUTTON_SKIN, 22, 22, 4, 4));
    EXPECT_TRUE(skin.IsLoaded());
    EXPECT_EQ(skin.Bitmap().size(), QSize(88, 22));  // the program's four 22 x 22 cells

    QPixmap strip(40, 10);
    strip.fill(Qt::red);
    // Edges are repeated in steps of cell - 2 * corner: zero or less would
    // never end.
    for (const auto& [x, y] : {std::pair(5, 2), std::pair(2, 5), std::pair(6, 2), std::pair(-1, 2)})
        EXPECT_FALSE(skin.SetSkin(strip, 10, 10, x, y)) << x << ", " << y;
    EXPECT_FALSE(skin.IsLoaded());
    EXPECT_TRUE(skin.SetSkin(strip, 10, 10, 4, 4));
    // A later bad load leaves the skin unloaded rather than half-changed.
    EXPECT_FALSE(skin.SetSkin(strip, 10, 10, 5, 5));
    EXPECT_FALSE(skin.IsLoaded());
}

// --- cutting the face from the skin ---------------------------------------------

// Each state's face is cut from its cell: corners as they are, edges repeated
// in pieces of cell - 2 * corner, the inside stretched; at exactly the cell's
// size, the cell itself and no icon.
TEST_F(CoolButtonTest, FacesKeepCornersRepeatEdgesAndStretchTheInside)
{
    ASSERT_TRUE(skin.SetSkin(Strip(W, H, Coded), W, H, CW, CH));
    // The cell's column (or row) an edge pixel at `at` of `size` shows.
    const auto source = [](int at, int size, int cell, int corner) {
        if (at < corner || at >= size - corner)
            return at < corner ? at : cell - (size - at);
        return corner + (at - corner) % (cell - 2 * corner);
    };
    QPixmap icon(32, 32);
    icon.fill(Qt::black);
    for (const QSize size : {QSize(W, H), QSize(31, 21), QSize(W + 1, H + 3), QSize(60, 25)}) {
        const int w = size.width(), h = size.height();
        const bool exact = size == QSize(W, H);
        CCoolButton& button = Button({0, 0, w, h});
        if (exact)
            button.SetIconPixmap(icon);
        for (bool enabled : {true, false}) {
            button.setEnabled(enabled);
            const int cell = enabled ? CCoolButton::kNormal : CCoolButton::kDisabled;
            const QImage face = testsupport::Grab(button);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const QColor shown(face.pixel(x, y));
                    const bool edge = exact || x < CW || x >= w - CW || y < CH || y >= h - CH;
                    const int sx = edge ? source(x, w, W, CW) : (shown.green() - 5) / 20;
                    const int sy = edge ? source(y, h, H, CH) : (shown.blue() - 5) / 25;
                    ASSERT_EQ(shown.rgb(), Coded(cell, sx, sy)) << w << "x" << h << " at " << x << "," << y;
                    ASSERT_TRUE(edge || (sx >= CW && sx < W - CW && sy >= CH && sy < H - CH)) << x << "," << y;
                }
            }
        }
    }
}

TEST_F(CoolButtonTest, WithoutSkinNothingIsDrawn)
{
    CCoolButton button(nullptr, &host);
    button.setGeometry(0, 0, 40, 20);
    button.setText(QStringLiteral("Text"));
    QImage canvas(40, 20, QImage::Format_RGB32);
    canvas.fill(qRgb(1, 2, 3));
    button.render(&canvas, QPoint(), QRegion(), QWidget::RenderFlags());
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(canvas.pixel(x, y), qRgb(1, 2, 3));
}

// --- icon and caption -------------------------------------------------------------

TEST_F(CoolButtonTest, DisabledIconIsGreyAndLeavesMagentaPixelsOut)
{
    CCoolButton& button = Button({0, 0, 60, 25});
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    icon.setPixel(5, 10, qRgba(255, 0, 0, 255));
    icon.setPixel(6, 10, qRgba(255, 0, 255, 255));  // comes out as the key
    icon.setPixel(7, 10, qRgba(30, 200, 100, 255));
    button.SetIconPixmap(QPixmap::fromImage(icon));
    const int top = (25 - 32) / 2;  // -3: truncated toward zero
    auto at = [top](const QImage& face, int x, int y) { return face.pixel(3 + x, top + y); };

    const QImage enabled = testsupport::Grab(button);
    EXPECT_EQ(at(enabled, 5, 10), qRgb(255, 0, 0));
    EXPECT_EQ(at(enabled, 6, 10), qRgb(255, 0, 255));
    EXPECT_EQ(at(enabled, 7, 10), qRgb(30, 200, 100));
    EXPECT_EQ(at(enabled, 8, 10), kFlat[0]);

    button.setEnabled(false);
    const QImage disabled = testsupport::Grab(button);
    EXPECT_EQ(at(disabled, 5, 10), qRgb(85, 85, 85));
    EXPECT_EQ(at(disabled, 6, 10), kFlat[3]);
    EXPECT_EQ(at(disabled, 7, 10), qRgb(110, 110, 110));
    EXPECT_EQ(at(disabled, 8, 10), kFlat[3]);
    testsupport::SaveScreenshot(disabled, QStringLiteral("ui_disabled_icon_button"));
}

TEST_F(CoolButtonTest, CaptionUsesTheColourOfTheState)
{
    CCoolButton& button = Button({0, 0, 120, 25});
    QFont bold = button.font();
    bold.setBold(true);
    bold.setPixelSize(16);
    button.setFont(bold);
    button.setText(QStringLiteral("MMMM"));
    button.SetStateTextColor(CCoolButton::kNormal, QColor(0, 255, 0));
    button.SetStateTextColor(CCoolButton::kDisabled, QColor(0, 0, 255));
    button.SetStateTextColor(7, QColor(255, 255, 255));  // no such state: ignored
    EXPECT_EQ(button.StateTextColor(7), QColor(0, 0, 0));

    auto count = [](const QImage& image, QRgb colour) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == colour;
        return n;
    };
    const QImage normal = testsupport::Grab(button);
    EXPECT_GT(count(normal, qRgb(0, 255, 0)), 10);
    EXPECT_EQ(count(normal, qRgb(0, 0, 255)), 0);
    button.setEnabled(false);
    const QImage disabled = testsupport::Grab(button);
    EXPECT_GT(count(disabled, qRgb(0, 0, 255)), 10);
    EXPECT_EQ(count(disabled, qRgb(0, 255, 0)), 0);
}

TEST_F(CoolButtonTest, FocusRectangleOnlyWithoutTheFlagAndLosingFocusEndsTheHint)
{
    CCoolButton& button = Button({0, 0, 60, 25}, 106);
    CCoolButton& other = Button({100, 0, 60, 25});
    Show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    other.setFocus();
    const QImage unfocused = testsupport::Grab(button);
    button.setFocus();
    ASSERT_TRUE(button.hasFocus());
    const QImage focused = testsupport::Grab(button);
    EXPECT_NE(focused, unfocused);
    EXPECT_EQ(focused.pixel(30, 12), unfocused.pixel(30, 12));  // inside untouched
    button.SetNoFocusRect(1);
    EXPECT_EQ(testsupport::Grab(button), unfocused);

    QCoreApplication::processEvents();
    owner.posted.clear();  // the focus moves above posted some
    MoveTo(button, QPoint(10, 10));
    ASSERT_EQ(owner.posted.size(), 1u);
    other.setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(owner.posted.size(), 2u);
    EXPECT_EQ(owner.posted[1].first, -1);
    EXPECT_FALSE(button.IsTracking());
}

// --- hints and hover --------------------------------------------------------------

TEST_F(CoolButtonTest, HintIsPostedOnceOnEnterAndOnceOnLeaveAndHeldButtonsAreNotHovered)
{
    CCoolButton& button = Button({20, 20, 80, 25}, 107);
    Show();

    MoveTo(button, QPoint(10, 10));
    ASSERT_EQ(owner.posted.size(), 1u);
    EXPECT_EQ(owner.posted[0], (std::pair<std::intptr_t, std::intptr_t>(107, 107)));
    EXPECT_TRUE(button.IsTracking());
    EXPECT_EQ(testsupport::Grab(button).pixel(40, 12), kFlat[CCoolButton::kHover]);

    MoveTo(button, QPoint(30, 12));
    MoveTo(button, QPoint(70, 5));
    EXPECT_EQ(owner.posted.size(), 1u);

    MoveTo(host, QPoint(200, 100));
    ASSERT_EQ(owner.posted.size(), 2u);
    EXPECT_EQ(owner.posted[1], (std::pair<std::intptr_t, std::intptr_t>(-1, -1)));
    EXPECT_FALSE(button.IsTracking());
    EXPECT_EQ(testsupport::Grab(button).pixel(40, 12), kFlat[CCoolButton::kNormal]);

    // Held, it is never drawn hovered; dragged out with the button held it
    // is back to normal and no longer tracking.
    MoveTo(button, QPoint(10, 10));
    QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(testsupport::Grab(button).pixel(40, 12), kFlat[CCoolButton::kPressed]);
    MoveTo(button, QPoint(200, 80));
    EXPECT_FALSE(button.IsTracking());
    EXPECT_EQ(testsupport::Grab(button).pixel(40, 12), kFlat[CCoolButton::kNormal]);
    ASSERT_EQ(owner.posted.size(), 4u);
    EXPECT_EQ(owner.posted[3].first, -1);
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(200, 80));
}

// No hint without an owner or with id -1; a hint is posted, not sent.
TEST_F(CoolButtonTest, NoHintWithoutOwnerOrIdAndHintsArePosted)
{
    CCoolButton& noId = Button({0, 0, 80, 25});
    noId.SetHintOwner(&owner);
    CCoolButton& noOwner = Button({100, 0, 80, 25});
    noOwner.SetHintId(105);
    Show();
    for (CCoolButton* b : {&noId, &noOwner}) {
        MoveTo(*b, QPoint(10, 10));
        EXPECT_TRUE(b->IsTracking());
        MoveTo(host, QPoint(150, 100));
        b->setFocus();
        b->clearFocus();
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(owner.posted.empty());

    CCoolButton& hinted = Button({200, 0, 80, 25}, 104);
    QEnterEvent enter(QPointF(5, 5), QPointF(205, 5), QPointF(405, 205));
    QApplication::sendEvent(&hinted, &enter);
    EXPECT_TRUE(owner.posted.empty());  // still in the queue
    QCoreApplication::sendPostedEvents(&owner);
    EXPECT_EQ(owner.posted.size(), 1u);
}

TEST_F(CoolButtonTest, DoubleClickActsAsTwoClicks)
{
    CCoolButton& button = Button({0, 0, 80, 25});
    Show();
    QSignalSpy clicked(&button, &QPushButton::clicked);
    // What the window system delivers for a double click.
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseDClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_FALSE(button.isDown());
}

// --- posted private messages -------------------------------------------------------

TEST(PostedMessage, ArrivesOnlyWhenTheEventLoopRunsWithItsParameters)
{
    Recipient receiver(ui::WM_TICKCHANGED);
    ui::PostPrivateMessage(&receiver, ui::WM_TICKCHANGED, 7, -1);
    ui::PostPrivateMessage(&receiver, ui::WM_BUTTONHINT, 1, 1);  // not the one it counts
    ui::PostPrivateMessage(nullptr, ui::WM_TICKCHANGED, 1, 1);   // ignored
    EXPECT_TRUE(receiver.posted.empty());
    QCoreApplication::sendPostedEvents(&receiver);
    ASSERT_EQ(receiver.posted.size(), 1u);
    EXPECT_EQ(receiver.posted[0].first, 7);
    EXPECT_EQ(receiver.posted[0].second, -1);
}
