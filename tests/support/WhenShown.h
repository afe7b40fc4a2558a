#pragma once
// Answering modal windows in Qt tests: a handler runs on the first window of
// a type that shows up while the test blocks in a nested event loop.

#include <QApplication>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace testsupport {

// Owns the watches WhenShown has started and not yet ended.
inline QObject& WhenShownWatches()
{
    static QObject watches;
    return watches;
}

// Runs `handle` on the first visible top-level widget of type T that shows
// up within 5 s; after that the watch ends without running it.
template <typename T>
void WhenShown(std::function<void(T*)> handle)
{
    auto* timer = new QTimer(&WhenShownWatches());
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, handle] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<T*>(w); found && found->isVisible()) {
                timer->stop();
                timer->deleteLater();
                handle(found);
                return;
            }
        }
        if (++*tries > 500) {  // give up rather than hang
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

// Ends every watch still waiting, so that it cannot answer a later test's
// window.
inline void EndWhenShownWatches()
{
    qDeleteAll(WhenShownWatches().findChildren<QTimer*>(Qt::FindDirectChildrenOnly));
}

} // namespace testsupport
