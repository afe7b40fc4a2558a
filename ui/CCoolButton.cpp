#include "CCoolButton.h"

#include "ButtonSkin.h"
#include "CBitmapDC.h"
#include "PostedMessage.h"
#include "res/Images.h"

#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int kIconSize = 32;
constexpr int kIconLeft = 3;
constexpr int kTextLeftWithIcon = 28;

} // namespace

CCoolButton::CCoolButton(ButtonSkin* skin, QWidget* parent)
    : QPushButton(parent),
      skin_(skin),
      stateTextColors_{QColor(0, 0, 0), QColor(0, 0, 0), QColor(0, 0, 0), QColor(128, 128, 128)} {
    // The face covers the whole button, so nothing is erased before painting.
    setAttribute(Qt::WA_OpaquePaintEvent, skin_ != nullptr);
    setAttribute(Qt::WA_NoSystemBackground, skin_ != nullptr);
    // Moves without a pressed button are needed to see the pointer come in.
    setMouseTracking(true);
    setAutoDefault(false);
}

CCoolButton::~CCoolButton() = default;

void CCoolButton::SetStateTextColor(int state, const QColor& colour) {
    if (state >= 0 && state < static_cast<int>(stateTextColors_.size()))
        stateTextColors_[static_cast<std::size_t>(state)] = colour;
}

QColor CCoolButton::StateTextColor(int state) const {
    if (state >= 0 && state < static_cast<int>(stateTextColors_.size()))
        return stateTextColors_[static_cast<std::size_t>(state)];
    return QColor(0, 0, 0);
}

void CCoolButton::SetIconId(int id) {
    SetIconPixmap(res::LoadIconPixmap(id));
}

void CCoolButton::SetIconPixmap(const QPixmap& icon) {
    icon_ = icon;
    update();
}

int CCoolButton::ChooseState(unsigned itemState) const {
    const bool leftDown = leftHeld_ || (QGuiApplication::mouseButtons() & Qt::LeftButton);
    if (tracking_ && !leftDown)
        return kHover;
    if (itemState & kItemSelected)
        return kPressed;
    if (itemState & kItemDisabled)
        return kDisabled;
    return kNormal;
}

void CCoolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    unsigned itemState = 0;
    if (isDown())
        itemState |= kItemSelected;
    if (!isEnabled())
        itemState |= kItemDisabled;
    if (hasFocus())
        itemState |= kItemFocus;
    DrawItem(DrawItemStruct{&painter, itemState, kActionDrawEntire});
}

void CCoolButton::DrawItem(const DrawItemStruct& item) {
    if (!skin_)
        return;
    QPainter& p = *item.painter;
    const int state = ChooseState(item.itemState);
    DrawSkin(p, state);

    p.save();
    p.setPen(StateTextColor(state));
    p.setFont(font());
    QRect textRect = rect();
    int flags = Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
    if (icon_.isNull()) {
        flags |= Qt::AlignHCenter;
    } else {
        textRect.setLeft(kTextLeftWithIcon);
        flags |= Qt::AlignLeft;
    }
    p.drawText(textRect, flags, text());

    const bool focus = (item.itemState & kItemFocus) || (item.itemAction & kActionFocus);
    if (noFocusRect_ == 0 && focus) {
        // A dotted rectangle inverted over the face, inside the corners.
        const QRect r = rect().adjusted(skin_->CornerWidth(), skin_->CornerHeight(), -skin_->CornerWidth(),
                                        -skin_->CornerHeight());
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        QPen pen(Qt::white, 0, Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
    p.restore();
}

void CCoolButton::DrawSkin(QPainter& target, int cell) {
    if (!skin_ || !skin_->IsLoaded())
        return;
    const int W = skin_->CellWidth();
    const int H = skin_->CellHeight();
    const int cw = skin_->CornerWidth();
    const int ch = skin_->CornerHeight();
    const int w = width();
    const int h = height();

    CBitmapDC source(skin_->Bitmap(), -cell * W, 0);
    if (!source.IsValid())
        return;
    if (w == W && h == H) {
        // Exactly the cell's size: copied as it is, without an icon.
        source.BitBlt(target, 0, 0, W, H, 0, 0);
        return;
    }

    QPixmap image(w, h);
    if (image.isNull())
        return;
    {
        CBitmapDC face(image, 0, 0);
        QPainter& p = face.Painter();
        const int innerW = W - 2 * cw;  // > 0: ButtonSkin refuses other sizes
        const int innerH = H - 2 * ch;
        source.StretchBlt(p, 0, 0, w, h, cw, ch, innerW, innerH);
        source.BitBlt(p, 0, 0, cw, ch, 0, 0);
        source.BitBlt(p, 0, h - ch, cw, ch, 0, H - ch);
        for (int x = cw; x < w; x += innerW) {
            source.BitBlt(p, x, 0, innerW, ch, cw, 0);
            source.BitBlt(p, x, h - ch, innerW, ch, cw, H - ch);
        }
        source.BitBlt(p, w - cw, 0, cw, ch, W - cw, 0);
        source.BitBlt(p, w - cw, h - ch, cw, ch, W - cw, H - ch);
        source.BitBlt(p, 0, 0, cw, ch, 0, 0);
        source.BitBlt(p, w - cw, 0, cw, ch, W - cw, 0);
        for (int y = ch; y < h; y += innerH) {
            source.BitBlt(p, 0, y, cw, innerH, 0, ch);
            source.BitBlt(p, w - cw, y, cw, innerH, W - cw, ch);
        }
        source.BitBlt(p, 0, h - ch, cw, ch, 0, H - ch);
        source.BitBlt(p, w - cw, h - ch, cw, ch, W - cw, H - ch);

        if (!icon_.isNull()) {
            const int top = (h - kIconSize) / 2;  // truncates toward zero
            if (isEnabled())
                p.drawPixmap(QRect(kIconLeft, top, kIconSize, kIconSize), icon_);
            else
                DrawGreyIcon(p, top);
        }
    }
    const auto mode = target.compositionMode();
    target.setCompositionMode(QPainter::CompositionMode_Source);
    target.drawPixmap(0, 0, image);
    target.setCompositionMode(mode);
}

void CCoolButton::DrawGreyIcon(QPainter& target, int top) {
    // The icon is drawn over magenta; every pixel that differs from that key
    // becomes grey, the others let the face show.
    QPixmap scratch(kIconSize, kIconSize);
    if (scratch.isNull())
        return;
    QRgb key = 0;
    {
        CBitmapDC dc(scratch, 0, 0);
        dc.Painter().fillRect(QRect(0, 0, kIconSize, kIconSize), QColor(255, 0, 255));
        key = dc.GetPixel(0, 0);
        dc.Painter().drawPixmap(QRect(0, 0, kIconSize, kIconSize), icon_);
    }
    const QImage drawn = scratch.toImage();
    QImage grey(kIconSize, kIconSize, QImage::Format_ARGB32);
    grey.fill(Qt::transparent);
    for (int x = 0; x < kIconSize; ++x) {
        for (int y = 0; y < kIconSize; ++y) {
            const QRgb c = drawn.pixel(x, y);
            if ((c & 0xFFFFFFu) == (key & 0xFFFFFFu))
                continue;
            const int g = (qRed(c) + qGreen(c) + qBlue(c)) / 3;
            grey.setPixel(x, y, qRgb(g, g, g));
        }
    }
    target.drawImage(kIconLeft, top, grey);
}

void CCoolButton::PostHint(int id) {
    if (hintOwner_ && hintId_ != -1)
        ui::PostPrivateMessage(hintOwner_, ui::WM_BUTTONHINT, id, id);
}

void CCoolButton::StartTracking() {
    if (tracking_ || !isEnabled())
        return;
    PostHint(hintId_);
    tracking_ = true;
    update();
}

void CCoolButton::StopTracking() {
    if (!tracking_)
        return;
    PostHint(-1);
    tracking_ = false;
    update();
}

void CCoolButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a double click is a click of its own. (Handled here
    // rather than posted, so that its release can never overtake it.)
    mousePressEvent(event);
}

void CCoolButton::mouseMoveEvent(QMouseEvent* event) {
    if (!tracking_) {
        if (rect().contains(event->position().toPoint()))
            StartTracking();
    } else if (!rect().contains(event->position().toPoint())) {
        StopTracking();
    }
    QPushButton::mouseMoveEvent(event);
}

void CCoolButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        leftHeld_ = true;
    QPushButton::mousePressEvent(event);
}

void CCoolButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        leftHeld_ = false;
    QPushButton::mouseReleaseEvent(event);
    update();
}

void CCoolButton::enterEvent(QEnterEvent* event) {
    StartTracking();
    QPushButton::enterEvent(event);
}

void CCoolButton::leaveEvent(QEvent* event) {
    StopTracking();
    QPushButton::leaveEvent(event);
}

void CCoolButton::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    PostHint(-1);
    if (tracking_) {
        tracking_ = false;
        update();
    }
}

void CCoolButton::changeEvent(QEvent* event) {
    // A button disabled under the pointer stops showing its hint.
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        StopTracking();
    QPushButton::changeEvent(event);
}
