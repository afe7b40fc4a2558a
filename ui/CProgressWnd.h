#pragma once
// The small window without a title bar that shows how far the first scan of
// a mail file has come: one smooth progress bar, 0..100 %. The scan runs on
// the user-interface thread and pumps no events, so every change of the
// percentage is painted on the spot.
//
// With an owner it is a framed panel inside the owner's window, centred
// over it. That window is on the screen already, so the panel is painted the
// moment it is shown: a new top-level window would reach the screen only
// after the window system's reply, and waiting for that reply would run
// other handlers (timers, posted events) inside the caller.

#include "dbx/IProgressSink.h"

#include <QWidget>

#include <cstdint>

class QProgressBar;

class CProgressWnd : public QWidget, public dbx::IProgressSink {
    Q_OBJECT
public:
    // Client size and bar position of dialog template 145 (310 x 17 dialog
    // units, the bar at (0, 1), 310 x 14) in pixels, and the dialog frame.
    static constexpr int kClientWidth = 465;
    static constexpr int kClientHeight = 28;
    static constexpr int kBarTop = 2;
    static constexpr int kBarHeight = 23;
    static constexpr int kFrame = 3;

    // A hidden panel in the window of `owner`; without an owner, a hidden
    // frameless top-level window. The bar is at 0.
    explicit CProgressWnd(QWidget* owner = nullptr);
    ~CProgressWnd() override;

    // Starts over: the bar shows 0 and later positions count against `total`.
    // A total of 0 or less makes every later position show nothing.
    void SetTotal(std::int32_t total) override;
    // Shows pos / total as a whole percentage (truncated). Sends nothing when
    // the percentage is the one shown, or once a percentage above 100 was sent.
    void SetPos(std::int32_t pos) override;
    // Leaves the window exactly as SetPos(first) .. SetPos(last) would, in
    // constant time; percentages in between that no one could see are skipped.
    void SetPosRange(std::int32_t first, std::int32_t last) override;

    // Centres the window over its owner's window (over the screen without an
    // owner), shows it in front and paints it at once: the usual start of a
    // scan. Handles no events: nothing else runs inside the caller.
    void ShowNow();
    // Centres the window over its owner's window, or over the screen.
    void CenterWindow();
    // Paints the shown window now, without handling any event. Reaches the
    // screen at once when the owner's window is on it (always, once the user
    // has clicked in it); a top-level window without an owner shows only
    // what it paints after the window system has put it on the screen.
    void UpdateWindow();

    // The percentage that `pos` of `total` steps make, truncated toward zero
    // and saturated to the int range; 0 for a total of 0 or less.
    static int Percent(std::int32_t pos, std::int32_t total);

    std::int32_t Total() const { return total_; }
    int LastPercent() const { return lastPercent_; }
    QProgressBar* ProgressBar() const { return progress_; }

protected:
    // Sends a percentage to the bar (shown clamped to 0..100, as a bar clamps
    // a position to its range) and paints the bar at once.
    virtual void SendPos(int percent);

    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QProgressBar* progress_;
    std::int32_t total_ = 0;
    int lastPercent_ = 0;
};
