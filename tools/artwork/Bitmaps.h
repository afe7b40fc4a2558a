#pragma once
// The bitmaps of the main dialog and of the list and tree images.

#include <QImage>

namespace artwork {

QImage HeaderBitmap();      // 129: 800 x 102
QImage ButtonSkinBitmap();  // 130: 88 x 22, four cells
QImage StatusBitmap();      // 132: 338 x 23
QImage SortArrowsBitmap();  // 141: 2 x 15 x 15, magenta keyed
QImage SmallIconsBitmap();  // 142: 2 x 26 x 16, magenta keyed
QImage TickStatesBitmap();  // 144: 4 x 16 x 13, magenta keyed
QImage TreeBitmap();        // 145: 3 x 16 x 16, magenta keyed

} // namespace artwork
