#pragma once
// Showing a window while the user-interface thread stays busy: the window
// must be placed and painted before the long work starts, since no event
// loop will run to do it.

class QWidget;

namespace ui {

// Centres the top-level `window` over its owner's window, or over the screen
// when it has no owner.
void CenterWindow(QWidget& window);

// Paints the shown `window` now. A window that the window system has not put
// on the screen yet is waited for (at most about a second, handling no user
// input), since paints before that are lost.
void UpdateWindow(QWidget& window);

// Centres `window`, shows it and paints it at once.
void ShowNow(QWidget& window);

} // namespace ui
