#include "Drawing.h"

#include "Palette.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace artwork {

QImage TransparentImage(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void DrawEnvelope(QPainter& p, const QRectF& r, const QColor& body, const QColor& line) {
    p.save();
    const qreal pen = std::max<qreal>(1.0, r.width() / 22.0);
    const QRectF box = r.adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0.0, body);
    fill.setColorAt(1.0, body.darker(112));
    p.setPen(QPen(line, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawRoundedRect(box, pen * 1.2, pen * 1.2);

    // The two lower folds, faint, then the flap on top.
    QColor faint = line;
    faint.setAlpha(110);
    p.setPen(QPen(faint, pen * 0.8, Qt::SolidLine, Qt::RoundCap));
    const QPointF meet(box.center().x(), box.top() + box.height() * 0.52);
    p.drawLine(box.bottomLeft() + QPointF(pen, -pen), meet);
    p.drawLine(box.bottomRight() + QPointF(-pen, -pen), meet);
    QPainterPath flap;
    flap.moveTo(box.topLeft() + QPointF(pen * 0.5, pen * 0.5));
    flap.lineTo(box.center().x(), box.top() + box.height() * 0.60);
    flap.lineTo(box.topRight() + QPointF(-pen * 0.5, pen * 0.5));
    QLinearGradient flapFill(box.topLeft(), QPointF(box.left(), meet.y()));
    flapFill.setColorAt(0.0, body.darker(104));
    flapFill.setColorAt(1.0, body.darker(118));
    p.setBrush(flapFill);
    p.setPen(QPen(line, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(flap);
    p.restore();
}

void DrawQuill(QPainter& p, QPointF nib, qreal length, qreal angleDegrees) {
    const qreal L = length;
    p.save();
    p.translate(nib);
    p.rotate(angleDegrees);
    if (L < 14) {
        // Too small for a feather: a plain stroke with a dark nib.
        p.setPen(QPen(kAmber, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(L * 0.25, 0), QPointF(L, 0));
        p.setPen(QPen(kNavy, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, 0), QPointF(L * 0.25, 0));
        p.restore();
        return;
    }
    QPainterPath vane;
    vane.moveTo(L * 0.22, 0);
    vane.quadTo(L * 0.50, -L * 0.24, L, -L * 0.06);
    vane.quadTo(L * 0.72, L * 0.11, L * 0.22, 0);
    QLinearGradient fill(QPointF(L * 0.22, 0), QPointF(L, 0));
    fill.setColorAt(0.0, kAmber.darker(110));
    fill.setColorAt(0.55, kAmber);
    fill.setColorAt(1.0, kAmberLight);
    const qreal pen = std::max<qreal>(1.0, L / 40.0);
    p.setPen(QPen(QColor(176, 104, 8), pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPath(vane);
    if (L >= 40) {
        // A few barbs so that it reads as a feather at header size.
        QColor barb(255, 255, 255, 120);
        p.setPen(QPen(barb, pen * 0.8, Qt::SolidLine, Qt::RoundCap));
        for (int i = 1; i <= 4; ++i) {
            const qreal x = L * (0.35 + 0.13 * i);
            p.drawLine(QPointF(x, -L * 0.02), QPointF(x - L * 0.06, -L * 0.13 + L * 0.012 * i));
        }
    }
    p.setPen(QPen(QColor(140, 80, 10), pen * 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(L * 0.10, 0), QPointF(L * 0.97, -L * 0.045));
    QPainterPath tip;
    tip.moveTo(0, 0);
    tip.lineTo(L * 0.14, -L * 0.04);
    tip.lineTo(L * 0.14, L * 0.04);
    tip.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kNavy);
    p.drawPath(tip);
    p.restore();
}

void DrawEmblem(QPainter& p, const QRectF& r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = r.width();
    const qreal h = r.height();
    if (w < 24) {
        DrawEnvelope(p, QRectF(r.x() + 0.02 * w, r.y() + 0.26 * h, 0.80 * w, 0.58 * h), kPaper, kOutline);
        DrawQuill(p, QPointF(r.x() + 0.50 * w, r.y() + 0.94 * h), 0.92 * w, -58);
        p.restore();
        return;
    }
    // A soft round backdrop keeps the emblem readable on any background.
    QRadialGradient glow(r.center(), w * 0.5);
    glow.setColorAt(0.0, QColor(255, 255, 255, 70));
    glow.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(r);
    DrawEnvelope(p, QRectF(r.x() + 0.04 * w, r.y() + 0.30 * h, 0.78 * w, 0.54 * h), kPaper, kOutline);
    DrawQuill(p, QPointF(r.x() + 0.48 * w, r.y() + 0.86 * h), 0.90 * w, -60);
    p.restore();
}

QImage FlattenOnMagenta(const QImage& drawing, const QColor& ground) {
    QImage in = drawing.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(in.size(), QImage::Format_RGB32);
    for (int y = 0; y < in.height(); ++y) {
        for (int x = 0; x < in.width(); ++x) {
            const QRgb c = in.pixel(x, y);
            const int a = qAlpha(c);
            if (a < 110) {
                out.setPixel(x, y, kMagenta.rgb());
                continue;
            }
            // Premultiplied colour plus the ground showing through.
            const int r = qRed(c) + ground.red() * (255 - a) / 255;
            const int g = qGreen(c) + ground.green() * (255 - a) / 255;
            const int b = qBlue(c) + ground.blue() * (255 - a) / 255;
            out.setPixel(x, y, qRgb(std::min(r, 255), std::min(g, 255), std::min(b, 255)));
        }
    }
    return out;
}

} // namespace artwork
