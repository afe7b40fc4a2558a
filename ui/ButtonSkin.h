#pragma once
// A skin for push buttons: a horizontal strip of equally sized cells, one per
// drawing state, with corners that are never scaled.

#include <QPixmap>

class ButtonSkin {
public:
    ButtonSkin() = default;
    virtual ~ButtonSkin() = default;
    ButtonSkin(const ButtonSkin&) = delete;
    ButtonSkin& operator=(const ButtonSkin&) = delete;

    // Loads bitmap `bitmapId` of the program's resources as the strip with the
    // given cell and corner sizes. Returns false and leaves the skin unloaded
    // when the bitmap is missing or the sizes cannot be drawn (see SetSkin).
    bool LoadSkin(int bitmapId, int cellWidth, int cellHeight, int cornerWidth, int cornerHeight);

    // The same with a strip in hand. The cells must be larger than both
    // corners together (cellWidth > 2 * cornerWidth, cellHeight > 2 *
    // cornerHeight, corners not negative), else the edges could never be
    // repeated to fill a button: false, and the skin is left unloaded.
    bool SetSkin(const QPixmap& strip, int cellWidth, int cellHeight, int cornerWidth, int cornerHeight);

    // True once a strip is loaded; a fresh skin has none.
    bool IsLoaded() const { return !bitmap_.isNull(); }

    // Forgets the strip (the skin is then as fresh).
    void Unload() { bitmap_ = QPixmap(); }

    QPixmap& Bitmap() { return bitmap_; }
    int CellWidth() const { return cellWidth_; }
    int CellHeight() const { return cellHeight_; }
    int CornerWidth() const { return cornerWidth_; }
    int CornerHeight() const { return cornerHeight_; }

private:
    QPixmap bitmap_;
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    int cornerWidth_ = 0;
    int cornerHeight_ = 0;
};
