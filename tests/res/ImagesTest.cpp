#include "res/Images.h"
#include "res/resource.h"

#include <gtest/gtest.h>

namespace {

QImage Bitmap(int id)
{
    return res::LoadBitmap(id).toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

// --- sizes ----------------------------------------------------------------------

TEST(Images, BitmapsAndIconsHaveTheirSizes)
{
    const struct {
        int id;
        QSize size;
    } bitmaps[] = {
        {IDB_HEADER, {800, 102}},     {IDB_BUTTON_SKIN, {88, 22}}, {IDB_STATUS, {338, 23}},
        {IDB_SORT_ARROWS, {30, 15}},  {IDB_SMALL_ICONS, {52, 16}}, {IDB_TICK_STATES, {64, 13}},
        {IDB_TREE, {48, 16}},
    };
    for (const auto& b : bitmaps)
        EXPECT_EQ(res::LoadBitmap(b.id).size(), b.size) << "bitmap " << b.id;
    EXPECT_TRUE(res::LoadBitmap(131).isNull());
    EXPECT_TRUE(res::LoadBitmap(IDI_SAVE).isNull());  // an icon, not a bitmap

    for (int id : {IDI_SEARCH, IDI_SAVE, IDI_LOAD, IDI_HELP, IDI_DISKS, IDR_MAINFRAME}) {
        const QPixmap icon = res::LoadIconPixmap(id);
        EXPECT_EQ(icon.size(), QSize(32, 32)) << "icon " << id;
        EXPECT_TRUE(icon.hasAlphaChannel()) << "icon " << id;
    }
    const QList<QSize> sizes = res::LoadIcon(IDR_MAINFRAME).availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(48, 48)));
    EXPECT_TRUE(res::LoadIconPixmap(IDB_HEADER).isNull());
    EXPECT_TRUE(res::LoadIcon(999).isNull());
}

// --- looks the windows rely on ----------------------------------------------------

TEST(Images, SkinCellsLookAsTheButtonsExpect)
{
    const QImage skin = Bitmap(IDB_BUTTON_SKIN);
    const QRgb face = qRgb(108, 163, 218);
    // Cells 0 and 3: flat face, grey and white column at the right end.
    for (int cell : {0, 3}) {
        const int x0 = cell * 22;
        for (int y = 0; y < 22; ++y) {
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(skin.pixel(x0 + x, y), face) << cell << " " << x << "," << y;
            EXPECT_EQ(skin.pixel(x0 + 20, y), qRgb(128, 128, 128));
            EXPECT_EQ(skin.pixel(x0 + 21, y), qRgb(255, 255, 255));
        }
    }
    // Cell 1: orange with a light top and left edge, a near-black bottom and right.
    EXPECT_EQ(skin.pixel(22 + 10, 10), qRgb(255, 173, 24));
    EXPECT_EQ(skin.pixel(22 + 10, 0), qRgb(255, 236, 202));
    EXPECT_EQ(skin.pixel(22, 10), qRgb(255, 236, 202));
    EXPECT_EQ(skin.pixel(22 + 10, 21), qRgb(10, 7, 1));
    EXPECT_EQ(skin.pixel(22 + 21, 10), qRgb(10, 7, 1));
    // Cell 2: face with a black top and left edge, a white bottom and right.
    EXPECT_EQ(skin.pixel(44 + 10, 10), face);
    EXPECT_EQ(skin.pixel(44 + 10, 0), qRgb(0, 0, 0));
    EXPECT_EQ(skin.pixel(44, 10), qRgb(0, 0, 0));
    EXPECT_EQ(skin.pixel(44 + 10, 21), qRgb(255, 255, 255));
    EXPECT_EQ(skin.pixel(44 + 21, 10), qRgb(255, 255, 255));
}

TEST(Images, RepeatedPartsTileWithoutSeams)
{
    // The status strip: a white top line, light blue below, the same in every column.
    const QImage status = Bitmap(IDB_STATUS);
    for (int y = 0; y < status.height(); ++y)
        for (int x = 1; x < status.width(); ++x)
            ASSERT_EQ(status.pixel(x, y), status.pixel(0, y)) << x << "," << y;
    EXPECT_EQ(status.pixel(0, 0), qRgb(255, 255, 255));
    const QColor below(status.pixel(0, 10));
    EXPECT_GT(below.blue(), below.red());
    EXPECT_GT(below.lightness(), 180);

    // The header's middle part is repeated from x 404 and the right part is
    // drawn after it: both joins must be invisible, so the columns around them
    // and the whole middle part are alike.
    const QImage header = Bitmap(IDB_HEADER);
    for (int y = 0; y < header.height(); ++y) {
        for (int x = 403; x <= 644; ++x)
            ASSERT_EQ(header.pixel(x, y), header.pixel(404, y)) << x << "," << y;
    }
}

TEST(Images, ImageListStripsUseMagentaForTransparency)
{
    for (int id : {IDB_SORT_ARROWS, IDB_SMALL_ICONS, IDB_TICK_STATES, IDB_TREE}) {
        const QImage image = Bitmap(id);
        EXPECT_EQ(image.pixel(0, 0), res::kMaskColour) << "bitmap " << id;
        // No half-magenta fringe: a blended edge would show pink on any ground.
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c(image.pixel(x, y));
                if (c.rgb() == res::kMaskColour)
                    continue;
                ASSERT_FALSE(c.red() > 200 && c.blue() > 200 && c.green() < 60) << id << " " << x << "," << y;
            }
        }
    }
    // Tick-box image 0 is blank.
    const QImage ticks = Bitmap(IDB_TICK_STATES);
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(ticks.pixel(x, y), res::kMaskColour);
}

// --- the mask colour --------------------------------------------------------------

TEST(Images, MaskedImageMakesOnlyExactMagentaTransparent)
{
    QImage image(3, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 255));
    image.setPixel(1, 0, qRgb(254, 0, 255));  // near magenta stays
    image.setPixel(2, 0, qRgb(10, 20, 30));
    const QImage masked = res::MaskedImage(image);
    EXPECT_EQ(qAlpha(masked.pixel(0, 0)), 0);
    EXPECT_EQ(masked.pixel(1, 0), qRgba(254, 0, 255, 255));
    EXPECT_EQ(masked.pixel(2, 0), qRgba(10, 20, 30, 255));

    const QPixmap pixmap = res::MaskedPixmap(res::LoadBitmap(IDB_TREE));
    EXPECT_TRUE(pixmap.hasAlphaChannel());
    EXPECT_EQ(qAlpha(pixmap.toImage().pixel(0, 0)), 0);
    EXPECT_TRUE(res::MaskedPixmap(QPixmap()).isNull());
}
