#include "CDbxBrowseWindow.h"

#include "ui/PostedMessage.h"

#include <QPalette>

#include <algorithm>

namespace {

// Height of the main dialog's status line.
constexpr int kStatusStripHeight = 23;

} // namespace

CDbxBrowseWindow::CDbxBrowseWindow(QWidget* parent) : QWidget(parent), messageList_(this) {
    // The band colour also shows in the gaps between the panes.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(106, 160, 216));
    setPalette(pal);
    setAutoFillBackground(true);
    messageList_.setObjectName(QStringLiteral("message_list"));
}

CDbxBrowseWindow::~CDbxBrowseWindow() = default;

void CDbxBrowseWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutPanes();
}

void CDbxBrowseWindow::LayoutPanes() {
    // The list fills the top half right of the tree's place, leaving the
    // 3 px splitter gap and 1 px at the right edge.
    const QRect client = rect();
    const int b2 = (client.bottom() + 1) / 2;
    const int x = kSplitX + 3;
    messageList_.setGeometry(x, client.top(), std::max(0, client.right() - x), std::max(0, b2 - client.top()));
}

void CDbxBrowseWindow::InvalidateParentStatusStrip() {
    if (QWidget* parent = parentWidget()) {
        QRect strip = parent->rect();
        strip.setTop(strip.bottom() + 1 - kStatusStripHeight);
        parent->update(strip);
    }
}

bool CDbxBrowseWindow::event(QEvent* event) {
    if (ui::PostedMessage::As(event, ui::WM_TICKCHANGED)) {
        InvalidateParentStatusStrip();
        return true;
    }
    return QWidget::event(event);
}
