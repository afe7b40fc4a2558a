#include "ui/CBitmapDC.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

// 20 x 4: the left half red, the right half blue.
QPixmap TwoHalves()
{
    QImage image(20, 4, QImage::Format_RGB32);
    image.fill(qRgb(255, 0, 0));
    QPainter(&image).fillRect(10, 0, 10, 4, QColor(0, 0, 255));
    return QPixmap::fromImage(image);
}

} // namespace

// --- window origin ------------------------------------------------------------

TEST(CBitmapDC, WindowOriginMapsLogicalPointsForReadingCopyingAndDrawing)
{
    QPixmap pixmap = TwoHalves();
    CBitmapDC dc(pixmap, -10, 0);  // logical (0, 0) is pixel (10, 0)
    ASSERT_TRUE(dc.IsValid());
    EXPECT_EQ(dc.GetPixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(dc.GetPixel(-10, 3), qRgb(255, 0, 0));
    EXPECT_EQ(dc.GetPixel(10, 0), 0u);   // right of the bitmap
    EXPECT_EQ(dc.GetPixel(-11, 0), 0u);  // left of it

    QImage target(4, 1, QImage::Format_RGB32);
    target.fill(Qt::white);
    {
        QPainter p(&target);
        dc.BitBlt(p, 1, 0, 2, 1, -1, 0);  // one red, one blue pixel
    }
    EXPECT_EQ(target.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(1, 0), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(2, 0), qRgb(0, 0, 255));
    EXPECT_EQ(target.pixel(3, 0), qRgb(255, 255, 255));

    // Drawing uses the origin too, and lasts until the DC goes.
    {
        CBitmapDC drawn(pixmap, 5, 1);
        drawn.Painter().fillRect(QRect(5, 1, 1, 1), QColor(0, 255, 0));
    }
    EXPECT_EQ(pixmap.toImage().pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_FALSE(pixmap.paintingActive());
}

TEST(CBitmapDC, CopiesReplaceAlphaAndStretchWithoutBlending)
{
    QPixmap pixmap = TwoHalves();
    CBitmapDC dc(pixmap, 0, 0);
    QImage target(40, 2, QImage::Format_ARGB32);
    target.fill(Qt::transparent);
    {
        QPainter p(&target);
        dc.StretchBlt(p, 0, 0, 40, 2, 0, 0, 20, 4);
    }
    EXPECT_EQ(target.pixel(19, 0), qRgba(255, 0, 0, 255));
    EXPECT_EQ(target.pixel(20, 1), qRgba(0, 0, 255, 255));
}

TEST(CBitmapDC, NullBitmapDrawsNothing)
{
    QPixmap none;
    CBitmapDC dc(none, 0, 0);
    EXPECT_FALSE(dc.IsValid());
    QImage target(2, 2, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter p(&target);
    dc.BitBlt(p, 0, 0, 2, 2, 0, 0);
    dc.StretchBlt(p, 0, 0, 2, 2, 0, 0, 1, 1);
    p.end();
    EXPECT_EQ(target.pixel(1, 1), qRgb(255, 255, 255));
    EXPECT_EQ(dc.GetPixel(0, 0), 0u);
}
