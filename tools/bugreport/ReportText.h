#pragma once
// The text of a crash report page: what its text area holds.

#include <QByteArray>

// The bytes between the text area's opening and closing tags of `page`, as
// written (CR LF line ends); false when the page has no text area.
bool ExtractReportText(const QByteArray& page, QByteArray& text);
