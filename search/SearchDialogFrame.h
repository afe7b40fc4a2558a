#pragma once
// What the two search dialogs share: their caption, the dialog font, a
// fixed size given in dialog units, and a help key (F1) that opens nothing.

class QDialog;
class QKeyEvent;

namespace search {

// Sets up `dialog` as a search dialog named `objectName`, `widthDlu` x
// `heightDlu` dialog units.
void SetUpSearchDialog(QDialog& dialog, const char* objectName, int widthDlu, int heightDlu);

// Accepts and so ends a help request (F1); false for any other key.
bool SwallowHelpKey(QKeyEvent* event);

} // namespace search
