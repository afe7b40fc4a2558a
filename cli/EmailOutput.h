#pragma once
// One e-mail as list and carve print it: a table row for people, a JSON
// object for scripts. Internal to the command line.

#include "dbx/DbxFile.h"
#include "dbx/HeaderFields.h"

#include <string>

namespace cli {

// The heading of the e-mail table.
void PrintEmailHeading();
// The table row of e-mail `index` of `file` (From, To and Subject decoded).
void PrintEmailRow(const dbx::DbxFile& file, int index);
// The same appended to `out`.
void AppendEmailRow(std::string& out, const dbx::DbxFile& file, int index);
// Appends e-mail `index` of `file` as one JSON object, `extra` (",\"name\":
// value" pairs) before its closing brace.
void AppendEmailJson(std::string& out, const dbx::DbxFile& file, int index, const std::string& extra = {});

} // namespace cli
