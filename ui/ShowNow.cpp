#include "ui/ShowNow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <QWindow>

namespace ui {

namespace {

// How long UpdateWindow waits for the window system to show a new window.
constexpr int kExposeWaitMs = 1000;

} // namespace

void CenterWindow(QWidget& window)
{
    QRect area;
    if (QWidget* owner = window.parentWidget())
        area = owner->window()->frameGeometry();
    else if (QScreen* s = window.screen())
        area = s->availableGeometry();
    if (area.isEmpty())
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(area.center());
    window.move(frame.topLeft());
}

void UpdateWindow(QWidget& window)
{
    if (!window.isVisible())
        return;
    // A new top-level window reaches the screen asynchronously; paints before
    // the window system reports it shown are discarded. Wait for that report,
    // taking no user input meanwhile.
    if (QWindow* handle = window.windowHandle(); handle && !handle->isExposed()) {
        QElapsedTimer waited;
        waited.start();
        while (!handle->isExposed() && waited.elapsed() < kExposeWaitMs) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            if (!handle->isExposed())
                QThread::msleep(1);
        }
    }
    window.repaint();
}

void ShowNow(QWidget& window)
{
    CenterWindow(window);
    window.show();
    UpdateWindow(window);
}

} // namespace ui
