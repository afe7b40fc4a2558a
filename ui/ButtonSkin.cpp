#include "ButtonSkin.h"

#include "res/Images.h"

bool ButtonSkin::LoadSkin(int bitmapId, int cellWidth, int cellHeight, int cornerWidth, int cornerHeight) {
    return SetSkin(res::LoadBitmap(bitmapId), cellWidth, cellHeight, cornerWidth, cornerHeight);
}

bool ButtonSkin::SetSkin(const QPixmap& strip, int cellWidth, int cellHeight, int cornerWidth, int cornerHeight) {
    const bool drawable = !strip.isNull() && cornerWidth >= 0 && cornerHeight >= 0 && cellWidth > 2 * cornerWidth &&
                          cellHeight > 2 * cornerHeight;
    if (!drawable) {
        bitmap_ = QPixmap();
        return false;
    }
    bitmap_ = strip;
    cellWidth_ = cellWidth;
    cellHeight_ = cellHeight;
    cornerWidth_ = cornerWidth;
    cornerHeight_ = cornerHeight;
    return true;
}
