#pragma once
// The program's string table: texts by the ids of resource.h.

#include <QString>

namespace res {

// The text of string `id`, passed through Qt's translation (context
// "Strings"). An id without a string gives an empty text, never a failure.
QString Text(int id);

// True when the table has a string for `id` (an empty entry counts as none).
bool HasText(int id);

} // namespace res
