#include "CBitmapDC.h"

CBitmapDC::CBitmapDC(QPixmap& bitmap, int x, int y) : bitmap_(bitmap), origin_(x, y) {}

CBitmapDC::~CBitmapDC() {
    if (painter_)
        painter_->end();
}

QPainter& CBitmapDC::Painter() {
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&bitmap_);
        painter_->translate(-origin_);
    }
    return *painter_;
}

void CBitmapDC::BitBlt(QPainter& target, int dx, int dy, int w, int h, int sx, int sy) const {
    if (!IsValid() || w <= 0 || h <= 0)
        return;
    const auto mode = target.compositionMode();
    target.setCompositionMode(QPainter::CompositionMode_Source);
    target.drawPixmap(QRect(dx, dy, w, h), bitmap_, ToDevice(QRect(sx, sy, w, h)));
    target.setCompositionMode(mode);
}

void CBitmapDC::StretchBlt(QPainter& target, int dx, int dy, int dw, int dh, int sx, int sy, int sw,
                           int sh) const {
    if (!IsValid() || dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;
    const auto mode = target.compositionMode();
    const bool smooth = target.testRenderHint(QPainter::SmoothPixmapTransform);
    target.setCompositionMode(QPainter::CompositionMode_Source);
    // Plain pixel replication, as a stretch copy does: no blending of borders.
    target.setRenderHint(QPainter::SmoothPixmapTransform, false);
    target.drawPixmap(QRect(dx, dy, dw, dh), bitmap_, ToDevice(QRect(sx, sy, sw, sh)));
    target.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    target.setCompositionMode(mode);
}

QRgb CBitmapDC::GetPixel(int x, int y) const {
    const QPoint p = QPoint(x, y) - origin_;
    if (!IsValid() || !bitmap_.rect().contains(p))
        return 0;
    return bitmap_.toImage().pixel(p);
}
