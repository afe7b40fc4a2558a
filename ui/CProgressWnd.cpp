#include "CProgressWnd.h"

#include "res/resource.h"

#include <QKeyEvent>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>
#include <limits>

CProgressWnd::CProgressWnd(QWidget* owner)
    : QWidget(owner ? owner->window() : nullptr, owner ? Qt::Widget : Qt::Dialog | Qt::FramelessWindowHint),
      progress_(new QProgressBar(this)) {
    setObjectName(QStringLiteral("progress_window"));
    setFixedSize(kClientWidth + 2 * kFrame, kClientHeight + 2 * kFrame);
    progress_->setObjectName(QStringLiteral("progress_%1").arg(IDC_PROGRESS));
    progress_->setGeometry(kFrame, kFrame + kBarTop, kClientWidth, kBarHeight);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);  // a smooth bar and nothing else
}

CProgressWnd::~CProgressWnd() = default;

int CProgressWnd::Percent(std::int32_t pos, std::int32_t total) {
    if (total <= 0)
        return 0;
    const double percent = static_cast<double>(pos) / static_cast<double>(total) * 100.0;
    // A tiny total can put the quotient beyond int; saturate rather than
    // convert out of range.
    constexpr double kMax = std::numeric_limits<int>::max();
    constexpr double kMin = std::numeric_limits<int>::min();
    return static_cast<int>(std::trunc(std::clamp(percent, kMin, kMax)));
}

void CProgressWnd::SetTotal(std::int32_t total) {
    progress_->setRange(0, 100);
    total_ = total;
    lastPercent_ = 0;
    SendPos(0);
}

void CProgressWnd::SetPos(std::int32_t pos) {
    // Without a usable total there is no percentage to show.
    if (total_ <= 0)
        return;
    const int percent = Percent(pos, total_);
    if (percent == lastPercent_ || lastPercent_ > 100)
        return;
    lastPercent_ = percent;
    SendPos(percent);
}

void CProgressWnd::SetPosRange(std::int32_t first, std::int32_t last) {
    if (last < first || total_ <= 0 || lastPercent_ > 100)
        return;
    // For a positive total the percentage never falls as the position rises,
    // so the run ends where its last position leaves it...
    if (Percent(last, total_) <= 100) {
        SetPos(last);
        return;
    }
    // ...unless it passes 100 %: then the first position above 100 % is the
    // last one that shows anything. Found by bisection (at most 32 probes).
    std::int64_t lo = first;
    std::int64_t hi = last;  // Percent(hi) > 100 holds throughout
    if (Percent(first, total_) > 100) {
        hi = first;
    } else {
        while (hi - lo > 1) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            if (Percent(static_cast<std::int32_t>(mid), total_) > 100)
                hi = mid;
            else
                lo = mid;
        }
    }
    SetPos(static_cast<std::int32_t>(hi));
}

void CProgressWnd::SendPos(int percent) {
    // QProgressBar ignores a value outside its range where the native bar
    // would clamp it; clamp here so that 101 % shows a full bar.
    progress_->setValue(std::clamp(percent, 0, 100));
    // The scan pumps no events: paint the bar now, not at the next loop.
    if (progress_->isVisible())
        progress_->repaint();
}

void CProgressWnd::ShowNow() {
    CenterWindow();
    show();
    raise();
    UpdateWindow();
}

void CProgressWnd::CenterWindow() {
    QRect area;
    if (!isWindow())
        area = parentWidget()->rect();  // a panel: over its window's client area
    else if (QScreen* s = screen())
        area = s->availableGeometry();
    if (area.isEmpty())
        return;
    QRect frame = isWindow() ? frameGeometry() : geometry();
    frame.moveCenter(area.center());
    move(frame.topLeft());
}

void CProgressWnd::UpdateWindow() {
    if (isVisible())
        repaint();
}

void CProgressWnd::keyPressEvent(QKeyEvent* event) {
    // A help request (F1) does nothing here.
    if (event->key() == Qt::Key_F1) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CProgressWnd::paintEvent(QPaintEvent*) {
    // The dialog frame: a raised edge around the face.
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    qDrawWinPanel(&p, rect(), palette(), false);
}
