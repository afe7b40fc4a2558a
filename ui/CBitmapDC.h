#pragma once
// A pixmap selected for drawing with a window origin, for the lifetime of the
// object: logical point (x, y) of the window origin is the pixmap's pixel
// (0, 0). Used both as a source of copies and as a target.

#include <QPainter>
#include <QPixmap>
#include <QPoint>
#include <QRect>

#include <memory>

class CBitmapDC {
public:
    // Selects `bitmap` with window origin (x, y). The bitmap must outlive this
    // object. A null bitmap gives an object that is not valid.
    CBitmapDC(QPixmap& bitmap, int x, int y);
    ~CBitmapDC();
    CBitmapDC(const CBitmapDC&) = delete;
    CBitmapDC& operator=(const CBitmapDC&) = delete;

    // False when there is nothing to draw from or on (a null bitmap).
    bool IsValid() const { return !bitmap_.isNull(); }

    // The painter on the bitmap, with the window origin applied; opened on
    // first use and ended when this object goes. Only for a valid object.
    QPainter& Painter();

    // Copies w x h pixels from logical (sx, sy) of this bitmap to (dx, dy) of
    // `target`, replacing what was there (alpha included).
    void BitBlt(QPainter& target, int dx, int dy, int w, int h, int sx, int sy) const;

    // Scales the sw x sh pixels at logical (sx, sy) onto the dw x dh rectangle
    // at (dx, dy) of `target`, replacing what was there.
    void StretchBlt(QPainter& target, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh) const;

    // The pixel at logical (x, y); 0 outside the bitmap.
    QRgb GetPixel(int x, int y) const;

    // The device rectangle (in pixmap pixels) of a logical rectangle.
    QRect ToDevice(const QRect& logical) const { return logical.translated(-origin_); }

private:
    QPixmap& bitmap_;
    QPoint origin_;
    std::unique_ptr<QPainter> painter_;
};
