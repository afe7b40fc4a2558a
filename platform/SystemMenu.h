#pragma once
// The window's system menu (the title-bar menu), where the window system
// lets a program extend it.

#include <string>

namespace platform {

// Appends a separator and an item with `id` and `text` (UTF-8) to the system
// menu of the native window `window`. False where the window manager owns
// that menu (everywhere but Windows) or the window has none.
bool AppendSystemMenuItem(void* window, unsigned id, const std::string& text);

// True when the native event `message` (as Qt hands it to nativeEvent) is the
// system-menu command `id`, comparing with the low four bits cleared. Always
// false where AppendSystemMenuItem is.
bool IsSystemCommand(const void* message, unsigned id);

} // namespace platform
