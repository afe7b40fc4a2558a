#include "CCoolHeaderCtrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyleOptionHeader>

#include <algorithm>

const QColor CCoolHeaderCtrl::kBandColour(106, 160, 216);
const QColor CCoolHeaderCtrl::kLightColour(255, 255, 255);
const QColor CCoolHeaderCtrl::kShadeColour(128, 128, 128);

namespace {

// A frame one pixel wide just inside `r`: `topLeft` along the top and left
// edges (not their last pixel), `bottomRight` along the right and bottom.
void Draw3dRect(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    const int x = r.x();
    const int y = r.y();
    const int cx = r.width();
    const int cy = r.height();
    p.fillRect(x, y, cx - 1, 1, topLeft);
    p.fillRect(x, y, 1, cy - 1, topLeft);
    p.fillRect(x + cx - 1, y, 1, cy, bottomRight);
    p.fillRect(x, y + cy - 1, cx, 1, bottomRight);
}

// Titles are read as a native header hands them out: at most 255 characters.
constexpr int kTitleBuffer = 256;

} // namespace

CCoolHeaderCtrl::CCoolHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setSectionsMovable(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setHighlightSections(false);
    setStretchLastSection(false);
    setDefaultAlignment(Qt::AlignCenter);
    // Painting covers the whole band; nothing is erased first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
}

CCoolHeaderCtrl::~CCoolHeaderCtrl() = default;

QSize CCoolHeaderCtrl::sizeHint() const {
    // Room for a title line or the 15 px arrow one pixel down, whichever is
    // taller, and the frame lines.
    QSize hint = QHeaderView::sizeHint();
    const QFont f = parentWidget() ? parentWidget()->font() : font();
    hint.setHeight(std::max({QFontMetrics(f).height() + 6, 15 + 4}));
    return hint;
}

QRect CCoolHeaderCtrl::ItemRect(int logicalIndex) const {
    if (logicalIndex < 0 || logicalIndex >= count() || isSectionHidden(logicalIndex))
        return {};
    return QRect(sectionViewportPosition(logicalIndex), 0, sectionSize(logicalIndex), viewport()->height());
}

int CCoolHeaderCtrl::PressedItem() const {
    // The view's own press tracking decides; it marks the pressed section
    // sunken in the style option it builds for painting.
    for (int i = 0; i < count(); ++i) {
        QStyleOptionHeader option;
        initStyleOptionForIndex(&option, i);
        if (option.state & QStyle::State_Sunken)
            return i;
    }
    return -1;
}

void CCoolHeaderCtrl::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QRect client = viewport()->rect();
    p.fillRect(client, kBandColour);
    // Widened left, up and right: of this frame only its grey bottom line
    // falls inside the band.
    Draw3dRect(p, client.adjusted(-1, -1, 1, 0), kLightColour, kShadeColour);

    const int pressed = PressedItem();
    int lastIndex = -1;
    for (int i = 0; i < count(); ++i) {
        const QRect item = ItemRect(i);
        if (item.isEmpty())
            continue;
        lastIndex = i;
        PaintItem(p, i, item);
        if (i == pressed)
            Draw3dRect(p, item, kShadeColour, kLightColour);
        else
            Draw3dRect(p, item, kLightColour, kShadeColour);
    }
    // The band right of the last column gets one more frame; its grey right
    // line falls just outside the header.
    if (lastIndex >= 0) {
        const QRect last = ItemRect(lastIndex);
        const int end = last.x() + last.width();
        if (end < client.width())
            Draw3dRect(p, QRect(end, last.y(), client.width() + 1 - end, last.height()), kLightColour,
                       kShadeColour);
    }
}

void CCoolHeaderCtrl::PaintItem(QPainter& p, int logicalIndex, const QRect& item) const {
    QAbstractItemModel* m = model();
    if (!m)
        return;
    const QString title =
        m->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString().left(kTitleBuffer - 1);
    const unsigned format = m->headerData(logicalIndex, orientation(), kFormatRole).toUInt();
    const QVariant decoration = m->headerData(logicalIndex, orientation(), Qt::DecorationRole);

    QRect text = item.adjusted(kTextMargin, 0, -kTextMargin, 0);
    if ((format & (kHdfBitmap | kHdfBitmapOnRight)) && decoration.canConvert<QPixmap>()) {
        const QPixmap bitmap = decoration.value<QPixmap>();
        if (!bitmap.isNull()) {
            // Copied as it is, whichever flag is set, left of the title.
            p.drawPixmap(text.left(), 1, bitmap);
            text.setLeft(text.left() + bitmap.width() + kBitmapGap);
        }
    }
    p.save();
    p.setFont(parentWidget() ? parentWidget()->font() : font());
    p.setPen(Qt::black);
    const QString shown = p.fontMetrics().elidedText(title, Qt::ElideRight, std::max(0, text.width()));
    p.setClipRect(item);
    p.drawText(text, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    p.restore();
}

void CCoolHeaderCtrl::mousePressEvent(QMouseEvent* event) {
    // The view starts its click or resize tracking and repaints the pressed
    // title, which then shows sunken.
    QHeaderView::mousePressEvent(event);
    viewport()->update();
}

void CCoolHeaderCtrl::mouseReleaseEvent(QMouseEvent* event) {
    // The view completes the click (the list sorts); then everything is
    // painted raised again.
    QHeaderView::mouseReleaseEvent(event);
    viewport()->update();
}

void CCoolHeaderCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a double click is a click of its own, so a double
    // click on a title sorts twice. (Handled here rather than posted, so that
    // its release can never overtake it.)
    QHeaderView::mouseDoubleClickEvent(event);
    mousePressEvent(event);
}
