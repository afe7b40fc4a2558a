#pragma once
// The program's string table: texts by the ids of resource.h.

#include <QString>
#include <QStringList>

namespace res {

// The text of string `id`, passed through Qt's translation (context
// "Strings"). An id without a string gives an empty text, never a failure.
QString Text(int id);

// True when the table has a string for `id` (an empty entry counts as none).
bool HasText(int id);

// The text of string `id` with its printf directives (%s, %d) filled with
// `args` in order; directives beyond the arguments stay as they are. Done by
// hand, so that a translation with other directives cannot misread them.
QString Format(int id, const QStringList& args);

} // namespace res
