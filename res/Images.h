#pragma once
// The program's images (icons and bitmaps) by the ids of resource.h, and the
// mask-colour convention of the image lists.

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace res {

// Magenta: pixels of exactly this colour are transparent in image lists.
inline constexpr QRgb kMaskColour = 0xFFFF00FF;

// Bitmap `id` as stored (magenta pixels included); a null pixmap when the
// program has no such bitmap.
QPixmap LoadBitmap(int id);

// Icon `id` as a 32 x 32 pixmap with alpha, as a button shows it; a null
// pixmap when there is no such icon.
QPixmap LoadIconPixmap(int id);

// Icon `id` with every size the program has for it (the program icon comes
// in 16, 32 and 48 px); an empty icon when there is none.
QIcon LoadIcon(int id);

// A copy of `image` in which every pixel of exactly the mask colour is fully
// transparent and every other pixel is unchanged and opaque.
QImage MaskedImage(const QImage& image);

// The same for a pixmap: what an image list built with the magenta mask draws.
QPixmap MaskedPixmap(const QPixmap& pixmap);

} // namespace res
