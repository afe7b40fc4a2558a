#pragma once
// One row of the message list: which e-mail it shows and its tick.

#include "dbx/EmailRecord.h"

#include <cstdint>

struct ListRow {
    std::int32_t messageIndex = 0;            // index of the record in its DbxFile
    std::int32_t ticked = 0;                  // 0 or non-zero: the tick box
    const dbx::EmailRecord* record = nullptr; // owned by the DbxFile, never by the list
};
