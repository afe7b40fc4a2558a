#include "Icons.h"

#include "Drawing.h"
#include "Palette.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace artwork {
namespace {

// The main dialog draws a 32 x 32 icon at (3, -3) on a 25 px high button and
// its caption from x = 28, so only this part of the icon shows beside the text.
const QRectF kContent(1, 5, 22, 22);

// Puts a soft shadow under a drawing so that it stands off the blue band.
QImage WithShadow(const QImage& drawing) {
    QImage shadow = drawing;
    {
        QPainter p(&shadow);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(shadow.rect(), QColor(10, 30, 60, 80));
    }
    QImage out = TransparentImage(drawing.width(), drawing.height());
    QPainter p(&out);
    p.drawImage(QPointF(1, 1), shadow);
    p.drawImage(QPointF(0, 0), drawing);
    return out;
}

QPen OutlinePen(qreal width = 1.3) {
    return QPen(kNavy, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

} // namespace

QImage ProgramIcon(int size) {
    QImage image = TransparentImage(size, size);
    QPainter p(&image);
    DrawEmblem(p, QRectF(0, 0, size, size));
    return image;
}

QImage SaveIcon() {
    QImage image = TransparentImage(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF c = kContent;
    // An open tray ...
    QPainterPath tray;
    tray.moveTo(c.left() + 1, c.top() + 12);
    tray.lineTo(c.left() + 1, c.bottom() - 1);
    tray.lineTo(c.right() - 1, c.bottom() - 1);
    tray.lineTo(c.right() - 1, c.top() + 12);
    tray.lineTo(c.right() - 5, c.top() + 12);
    tray.lineTo(c.right() - 5, c.top() + 16);
    tray.lineTo(c.left() + 5, c.top() + 16);
    tray.lineTo(c.left() + 5, c.top() + 12);
    tray.closeSubpath();
    QLinearGradient trayFill(c.topLeft() + QPointF(0, 12), c.bottomLeft());
    trayFill.setColorAt(0, QColor(236, 242, 250));
    trayFill.setColorAt(1, QColor(176, 196, 222));
    p.setPen(OutlinePen());
    p.setBrush(trayFill);
    p.drawPath(tray);
    // ... and a green arrow going down into it.
    QPainterPath arrow;
    const qreal mx = c.center().x();
    arrow.moveTo(mx - 3.5, c.top());
    arrow.lineTo(mx + 3.5, c.top());
    arrow.lineTo(mx + 3.5, c.top() + 7);
    arrow.lineTo(mx + 8, c.top() + 7);
    arrow.lineTo(mx, c.top() + 15);
    arrow.lineTo(mx - 8, c.top() + 7);
    arrow.lineTo(mx - 3.5, c.top() + 7);
    arrow.closeSubpath();
    QLinearGradient arrowFill(c.topLeft(), c.topLeft() + QPointF(0, 15));
    arrowFill.setColorAt(0, QColor(120, 220, 120));
    arrowFill.setColorAt(1, kGreen);
    p.setPen(QPen(QColor(18, 92, 36), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(arrowFill);
    p.drawPath(arrow);
    p.end();
    return WithShadow(image);
}

QImage LoadIcon() {
    QImage image = TransparentImage(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF c = kContent;
    // Back of the folder with its tab.
    QPainterPath back;
    back.moveTo(c.left() + 1, c.bottom() - 1);
    back.lineTo(c.left() + 1, c.top() + 3);
    back.lineTo(c.left() + 8, c.top() + 3);
    back.lineTo(c.left() + 10, c.top() + 5);
    back.lineTo(c.right() - 2, c.top() + 5);
    back.lineTo(c.right() - 2, c.bottom() - 1);
    back.closeSubpath();
    p.setPen(QPen(kFolderDark.darker(130), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kFolderDark);
    p.drawPath(back);
    // A mail file sticking out of it.
    DrawEnvelope(p, QRectF(c.left() + 5, c.top() + 4, 12, 9), kPaper, kOutline);
    // The front flap, tilted open.
    QPainterPath front;
    front.moveTo(c.left() + 1, c.bottom() - 1);
    front.lineTo(c.left() + 4, c.top() + 10);
    front.lineTo(c.right() + 0.5, c.top() + 10);
    front.lineTo(c.right() - 2, c.bottom() - 1);
    front.closeSubpath();
    QLinearGradient frontFill(c.topLeft() + QPointF(0, 10), c.bottomLeft());
    frontFill.setColorAt(0, kFolder.lighter(112));
    frontFill.setColorAt(1, kFolder);
    p.setPen(QPen(kFolderDark.darker(130), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(frontFill);
    p.drawPath(front);
    p.end();
    return WithShadow(image);
}

QImage SearchIcon() {
    QImage image = TransparentImage(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF c = kContent;
    DrawEnvelope(p, QRectF(c.left() + 6, c.top() + 1, 16, 12), kPaper, kOutline);
    // The lens over the mail, glass slightly tinted, and its handle.
    const QPointF lens(c.left() + 8, c.top() + 10);
    const qreal radius = 6.5;
    p.setPen(QPen(QColor(70, 50, 30), 3.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(lens + QPointF(4.5, 4.5), QPointF(c.right() - 3, c.bottom() - 1));
    QRadialGradient glass(lens - QPointF(2, 2), radius * 1.4);
    glass.setColorAt(0, QColor(255, 255, 255, 230));
    glass.setColorAt(1, QColor(170, 210, 245, 200));
    p.setBrush(glass);
    p.setPen(QPen(kNavy, 2.2));
    p.drawEllipse(lens, radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, 200), 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(lens.x() - 4, lens.y() - 4, 8, 8), 100 * 16, 70 * 16);
    p.end();
    return WithShadow(image);
}

QImage DisksIcon() {
    QImage image = TransparentImage(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF c = kContent;
    // A hard disk seen from above: its case, the platter and the arm ...
    const QRectF body(c.left() + 2, c.top() + 1, c.width() - 5, c.height() - 3);
    QLinearGradient metal(body.topLeft(), body.bottomRight());
    metal.setColorAt(0, QColor(236, 238, 242));
    metal.setColorAt(1, QColor(150, 158, 170));
    p.setPen(QPen(QColor(70, 76, 88), 1.2));
    p.setBrush(metal);
    p.drawRoundedRect(body, 2.5, 2.5);
    const QPointF hub(body.center().x(), body.top() + 8.5);
    QRadialGradient platter(hub - QPointF(2, 2), 8);
    platter.setColorAt(0, QColor(250, 250, 252));
    platter.setColorAt(1, QColor(168, 178, 194));
    p.setPen(QPen(QColor(90, 98, 112), 1));
    p.setBrush(platter);
    p.drawEllipse(hub, 6.5, 6.5);
    p.setBrush(QColor(90, 98, 112));
    p.drawEllipse(hub, 1.3, 1.3);
    p.setPen(QPen(QColor(60, 64, 72), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(body.right() - 3, body.bottom() - 3), hub + QPointF(2.5, 3));
    // ... and the mail found on it.
    DrawEnvelope(p, QRectF(c.left() + 0.5, c.bottom() - 8.5, 10, 7.5), kPaper, kOutline);
    p.end();
    return WithShadow(image);
}

QImage HelpIcon() {
    QImage image = TransparentImage(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc = kContent.adjusted(1, 1, -1, -1);
    QRadialGradient fill(disc.center() - QPointF(3, 4), disc.width() * 0.7);
    fill.setColorAt(0, QColor(255, 255, 255));
    fill.setColorAt(1, QColor(206, 224, 246));
    p.setPen(QPen(kNavy, 1.4));
    p.setBrush(fill);
    p.drawEllipse(disc);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(15);
    p.setFont(font);
    p.setPen(QColor(30, 92, 176));
    p.drawText(disc.translated(0, 0.5), Qt::AlignCenter, QStringLiteral("?"));
    p.end();
    return WithShadow(image);
}

} // namespace artwork
