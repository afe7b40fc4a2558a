#pragma once
// The program's string table: texts by the ids of resource.h.

#include <QString>
#include <QStringList>

#include <vector>

namespace res {

// The text of string `id`, passed through Qt's translation (context
// "Strings"). An id without a string gives an empty text, never a failure.
QString Text(int id);

// The id of every entry of the table, in its order (for checks).
std::vector<int> TableIds();

// True when the table has a string for `id` (an empty entry counts as none).
bool HasText(int id);

// The text of string `id` with its printf directives (%s, %d) filled with
// `args` in order; directives beyond the arguments stay as they are. Done by
// hand, so that a translation with other directives cannot misread them.
QString Format(int id, const QStringList& args);

} // namespace res
