#pragma once
// The program's private window messages, delivered as posted Qt events so
// that they stay asynchronous: the receiver sees them only once the event
// loop runs, never inside the sender's handler.

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <cstdint>

namespace ui {

// A skinned button tells its owner which hint to show (-1: none).
inline constexpr unsigned WM_BUTTONHINT = 0x465;
// The message list tells the browse window that a tick changed.
inline constexpr unsigned WM_TICKCHANGED = 0x467;

// One posted private message: type QEvent::User + message, carrying the two
// parameter values unchanged.
class PostedMessage : public QEvent {
public:
    PostedMessage(unsigned message, std::intptr_t wParam, std::intptr_t lParam)
        : QEvent(TypeOf(message)), message_(message), wParam_(wParam), lParam_(lParam) {}

    // The event type that carries `message`.
    static QEvent::Type TypeOf(unsigned message) {
        return static_cast<QEvent::Type>(QEvent::User + static_cast<int>(message));
    }

    // The PostedMessage behind `event` when it is one carrying `message`,
    // else nullptr.
    static const PostedMessage* As(const QEvent* event, unsigned message) {
        return event && event->type() == TypeOf(message) ? static_cast<const PostedMessage*>(event) : nullptr;
    }

    unsigned Message() const { return message_; }
    std::intptr_t WParam() const { return wParam_; }
    std::intptr_t LParam() const { return lParam_; }

private:
    unsigned message_;
    std::intptr_t wParam_;
    std::intptr_t lParam_;
};

// Posts `message` to `receiver`; it arrives when the event loop next runs.
// Does nothing when the receiver is null.
inline void PostPrivateMessage(QObject* receiver, unsigned message, std::intptr_t wParam, std::intptr_t lParam) {
    if (receiver)
        QCoreApplication::postEvent(receiver, new PostedMessage(message, wParam, lParam));
}

} // namespace ui
