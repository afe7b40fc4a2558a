#include "ui/ButtonSkin.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <utility>

TEST(ButtonSkin, FreshSkinHasNoBitmapAndLoadsTheProgramSkin)
{
    ButtonSkin skin;
    EXPECT_FALSE(skin.IsLoaded());
    ASSERT_TRUE(skin.LoadSkin(IDB_BUTTON_SKIN, 22, 22, 4, 4));
    EXPECT_TRUE(skin.IsLoaded());
    EXPECT_EQ(skin.Bitmap().size(), QSize(88, 22));  // the program's four 22 x 22 cells
}

TEST(ButtonSkin, RefusesMissingBitmapsAndSizesThatCouldNeverBeDrawn)
{
    ButtonSkin skin;
    EXPECT_FALSE(skin.LoadSkin(999, 22, 22, 4, 4));
    EXPECT_FALSE(skin.IsLoaded());

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
