#include "Bitmaps.h"

#include "Drawing.h"
#include "Palette.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace artwork {
namespace {

// The header's background depends on y only, so that its middle part can be
// repeated sideways without a seam.
QColor HeaderGround(int y) {
    const qreal t = y / 101.0;
    auto mix = [t](int a, int b) { return static_cast<int>(a + (b - a) * t + 0.5); };
    return QColor(mix(kHeaderTop.red(), kHeaderBottom.red()), mix(kHeaderTop.green(), kHeaderBottom.green()),
                  mix(kHeaderTop.blue(), kHeaderBottom.blue()));
}

QFont Font(int pixels, bool bold = false, bool italic = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setItalic(italic);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

void FillCell(QImage& image, int cell, const QColor& colour) {
    for (int y = 0; y < 22; ++y)
        for (int x = 0; x < 22; ++x)
            image.setPixel(cell * 22 + x, y, colour.rgb());
}

} // namespace

QImage HeaderBitmap() {
    QImage image(800, 102, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, HeaderGround(y).rgb());
    // A light rule along the bottom meets the button band.
    for (int x = 0; x < image.width(); ++x) {
        image.setPixel(x, 100, QColor(136, 184, 232).rgb());
        image.setPixel(x, 101, QColor(168, 204, 240).rgb());
    }

    // Logo part (x 0 to 403). Everything here fades out before x 400, so the
    // repeated middle part joins it without an edge.
    QImage logo = TransparentImage(404, 100);
    {
        QPainter p(&logo);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        // Two wide, faint swoops behind the name.
        QPainterPath swoop;
        swoop.moveTo(-20, 92);
        swoop.cubicTo(120, 40, 260, 110, 420, 30);
        p.setPen(QPen(QColor(255, 255, 255, 28), 16, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(swoop);
        p.setPen(QPen(QColor(255, 255, 255, 18), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(swoop.translated(0, 14));

        DrawEmblem(p, QRectF(16, 12, 78, 78));

        p.setFont(Font(38, true));
        p.setPen(QColor(8, 28, 64, 110));
        p.drawText(QPointF(108 + 2, 55 + 2), QStringLiteral("Quillmend"));
        p.setPen(kHeaderText);
        p.drawText(QPointF(108, 55), QStringLiteral("Quillmend"));
        p.setFont(Font(13));
        p.setPen(kHeaderSoftText);
        p.drawText(QPointF(111, 78), QStringLiteral("E-mail recovery for Outlook Express"));

        // Fade the right end of the decoration to nothing.
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        QLinearGradient fade(QPointF(330, 0), QPointF(398, 0));
        fade.setColorAt(0, QColor(0, 0, 0, 255));
        fade.setColorAt(1, QColor(0, 0, 0, 0));
        p.fillRect(QRectF(330, 0, 74, 100), fade);
    }
    QPainter p(&image);
    p.drawImage(0, 0, logo);

    // Right part (x 644 to 799): a short line, right-aligned.
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QString line = QStringLiteral("Lost mail, found again.");
    QFont font = Font(12, false, true);
    while (QFontMetricsF(font).horizontalAdvance(line) > 140 && font.pixelSize() > 8)
        font.setPixelSize(font.pixelSize() - 1);
    p.setFont(font);
    p.setPen(kHeaderSoftText);
    p.drawText(QRectF(644, 60, 148, 24), Qt::AlignRight | Qt::AlignVCenter, line);
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    p.drawLine(QPointF(700, 58.5), QPointF(792, 58.5));
    return image;
}

QImage ButtonSkinBitmap() {
    // Cell 0 normal and 3 disabled: flat band blue, a grey and a white column
    // at the right end (they separate neighbouring buttons).
    // Cell 1 pointer over: orange, light top/left, near-black bottom/right.
    // Cell 2 pressed: band blue, black top/left, white bottom/right.
    QImage image(88, 22, QImage::Format_RGB32);
    const QColor face(108, 163, 218);
    const QColor grey(128, 128, 128);
    for (int cell : {0, 3}) {
        FillCell(image, cell, face);
        for (int y = 0; y < 22; ++y) {
            image.setPixel(cell * 22 + 20, y, grey.rgb());
            image.setPixel(cell * 22 + 21, y, QColor(Qt::white).rgb());
        }
    }
    const QColor dark(10, 7, 1);
    FillCell(image, 1, kAmber);
    FillCell(image, 2, face);
    for (int i = 0; i < 22; ++i) {
        image.setPixel(22 + i, 0, kAmberLight.rgb());
        image.setPixel(22, i, kAmberLight.rgb());
        image.setPixel(22 + i, 21, dark.rgb());
        image.setPixel(22 + 21, i, dark.rgb());
        image.setPixel(44 + i, 0, QColor(Qt::black).rgb());
        image.setPixel(44, i, QColor(Qt::black).rgb());
        image.setPixel(44 + i, 21, QColor(Qt::white).rgb());
        image.setPixel(44 + 21, i, QColor(Qt::white).rgb());
    }
    // The corners where a light and a dark edge meet belong to the dark edge.
    image.setPixel(22 + 21, 0, dark.rgb());
    image.setPixel(22, 21, dark.rgb());
    image.setPixel(44 + 21, 0, QColor(Qt::white).rgb());
    image.setPixel(44, 21, QColor(Qt::white).rgb());
    return image;
}

QImage StatusBitmap() {
    QImage image(338, 23, QImage::Format_RGB32);
    const QColor top(232, 241, 251);
    const QColor bottom(200, 221, 244);
    for (int y = 0; y < 23; ++y) {
        const qreal t = (y - 1) / 21.0;
        QColor c = y == 0 ? QColor(Qt::white)
                          : QColor(static_cast<int>(top.red() + (bottom.red() - top.red()) * t),
                                   static_cast<int>(top.green() + (bottom.green() - top.green()) * t),
                                   static_cast<int>(top.blue() + (bottom.blue() - top.blue()) * t));
        for (int x = 0; x < 338; ++x)
            image.setPixel(x, y, c.rgb());
    }
    return image;
}

QImage SortArrowsBitmap() {
    QImage drawing = TransparentImage(30, 15);
    QPainter p(&drawing);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    // 0: pointing down, 1: pointing up; both 9 px wide and 5 px high.
    p.drawPolygon(QPolygonF({QPointF(3, 5), QPointF(12, 5), QPointF(7.5, 10.5)}));
    p.drawPolygon(QPolygonF({QPointF(18, 10), QPointF(27, 10), QPointF(22.5, 4.5)}));
    p.end();
    return FlattenOnMagenta(drawing, kBand);
}

QImage SmallIconsBitmap() {
    QImage drawing = TransparentImage(52, 16);
    QPainter p(&drawing);
    p.setRenderHint(QPainter::Antialiasing);
    DrawEnvelope(p, QRectF(6, 3, 14, 10), kPaper, kOutline);
    DrawEnvelope(p, QRectF(26 + 3, 3, 14, 10), kPaper, kOutline);
    // Image 1: an exclamation mark beside the envelope: it has attachments.
    const QColor red(214, 40, 30);
    p.setPen(QPen(red.darker(130), 0.8));
    p.setBrush(red);
    p.drawRoundedRect(QRectF(26 + 19.5, 1.5, 3, 8.5), 1.2, 1.2);
    p.drawEllipse(QRectF(26 + 19.5, 11.5, 3, 3));
    p.end();
    return FlattenOnMagenta(drawing, Qt::white);
}

QImage TickStatesBitmap() {
    QImage drawing = TransparentImage(64, 13);
    QPainter p(&drawing);
    auto box = [&p](int cell, const QColor& border, const QColor& top, const QColor& bottom) {
        const QRectF r(cell * 16 + 2.5, 1.5, 11, 11);
        QLinearGradient fill(r.topLeft(), r.bottomLeft());
        fill.setColorAt(0, top);
        fill.setColorAt(1, bottom);
        p.setPen(QPen(border, 1));
        p.setBrush(fill);
        p.drawRect(r);
    };
    auto tick = [&p](int cell, const QColor& colour) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(colour, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(cell * 16 + 5, 7), QPointF(cell * 16 + 7.5, 9.5),
                                  QPointF(cell * 16 + 11.5, 4)}));
        p.setRenderHint(QPainter::Antialiasing, false);
    };
    // 0 blank: left transparent.
    box(1, kOutline, Qt::white, kPaperShade);
    box(2, QColor(128, 128, 128), QColor(224, 224, 224), QColor(192, 192, 192));
    tick(2, QColor(112, 112, 112));
    box(3, kOutline, Qt::white, kPaperShade);
    tick(3, kGreen);
    p.end();
    return FlattenOnMagenta(drawing, Qt::white);
}

QImage TreeBitmap() {
    QImage drawing = TransparentImage(48, 16);
    QPainter p(&drawing);
    p.setRenderHint(QPainter::Antialiasing);
    // 0: folder.
    QPainterPath folder;
    folder.moveTo(1.5, 13.5);
    folder.lineTo(1.5, 3.5);
    folder.lineTo(6, 3.5);
    folder.lineTo(7.5, 5);
    folder.lineTo(14.5, 5);
    folder.lineTo(14.5, 13.5);
    folder.closeSubpath();
    QLinearGradient fill(QPointF(0, 3), QPointF(0, 14));
    fill.setColorAt(0, kFolder.lighter(115));
    fill.setColorAt(1, kFolder);
    p.setPen(QPen(kFolderDark, 1));
    p.setBrush(fill);
    p.drawPath(folder);
    p.setPen(QPen(QColor(255, 255, 255, 160), 1));
    p.drawLine(QPointF(2.5, 6.5), QPointF(13.5, 6.5));
    // 1 and 2: a mail file (a page with an envelope on it); 2 lights up.
    auto page = [&p](qreal x, bool selected) {
        QPainterPath sheet;
        sheet.moveTo(x + 2.5, 0.5);
        sheet.lineTo(x + 10, 0.5);
        sheet.lineTo(x + 13.5, 4);
        sheet.lineTo(x + 13.5, 15.5);
        sheet.lineTo(x + 2.5, 15.5);
        sheet.closeSubpath();
        p.setPen(QPen(selected ? QColor(176, 104, 8) : QColor(110, 122, 140), 1));
        p.setBrush(selected ? kAmberLight : QColor(255, 255, 255));
        p.drawPath(sheet);
        DrawEnvelope(p, QRectF(x + 4, 7, 8, 6), selected ? kAmber : kPaperShade,
                     selected ? QColor(150, 80, 0) : kOutline);
    };
    page(16, false);
    page(32, true);
    p.end();
    return FlattenOnMagenta(drawing, Qt::white);
}

} // namespace artwork
