#pragma once
// Display texts of a listed mail file's From, To and Subject, each made the
// first time it is asked for and kept: a list shows a few rows at a time,
// and sorting by a column needs that column's text of every row once.

#include "dbx/DbxFile.h"
#include "dbx/HeaderFields.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mailtext {

class HeaderTextCache {
public:
    // Forgets every text. From now on texts come from the messages of `file`
    // (which must outlive its use here), or, with nullptr or for a record
    // that is not the file's, from the records' own fields.
    void Reset(const dbx::DbxFile* file);

    // The display text of `field` (From, To or Subject) of `record`, listed
    // as message `messageIndex`. For an index >= 0 the text stays where it
    // is until Reset; for a negative one only until the next call.
    std::string_view Text(const dbx::EmailRecord& record, int messageIndex, dbx::HeaderField field);

private:
    static constexpr std::size_t kFields = 3;  // From, To, Subject
    static constexpr std::size_t kChunk = 1 << 20;

    struct Slot {
        const char* text = nullptr;  // nullptr: not made yet
        std::uint32_t size = 0;
    };

    std::string Make(const dbx::EmailRecord& record, int messageIndex, dbx::HeaderField field) const;
    std::string_view Keep(const std::string& text);

    const dbx::DbxFile* file_ = nullptr;
    std::array<std::vector<Slot>, kFields> slots_;
    // Texts in chunks that never move, so that the views stay valid.
    std::vector<std::unique_ptr<char[]>> chunks_;
    std::size_t chunkUsed_ = kChunk;
    std::string scratch_;
};

} // namespace mailtext
