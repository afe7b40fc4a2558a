#pragma once
// Shapes shared by the program icon, the header logo and the small images.

#include <QImage>
#include <QRectF>

class QPainter;

namespace artwork {

// The product emblem (an envelope with a quill across it) filling r.
// Simplifies itself below 24 px so that the 16 px icon stays legible.
void DrawEmblem(QPainter& p, const QRectF& r);

// A closed envelope with its flap lines, filling r.
void DrawEnvelope(QPainter& p, const QRectF& r, const QColor& body, const QColor& line);

// A quill from the nib at `nib` towards the tip, `length` px long.
void DrawQuill(QPainter& p, QPointF nib, qreal length, qreal angleDegrees);

// Makes an antialiased drawing on a transparent image fit for a magenta-keyed
// image list: pixels more than about half covered are blended over `ground`
// and made opaque, all others become magenta.
QImage FlattenOnMagenta(const QImage& drawing, const QColor& ground);

// A transparent ARGB image of the given size.
QImage TransparentImage(int width, int height);

} // namespace artwork
