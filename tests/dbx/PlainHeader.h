#pragma once
// The header search written the plain way, on a whole text with
// std::string::find: the yardstick for the engine's search, which reads a
// chain's text a piece at a time and looks for all labels at once.

#include "dbx/EmailRecord.h"
#include "dbx/HeaderFields.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

namespace dbxtest {

// The searchable text of a record: 512-byte zero-filled slots, four spaces
// at the start of each deleted one, ending at the first zero byte.
inline std::string PlainSearchText(std::string_view view, const dbx::EmailRecord& r)
{
    std::string text(r.blocks.size() * 512 + 1, '\0');
    for (std::size_t k = 0; k < r.blocks.size(); ++k) {
        const std::uint64_t start = std::uint64_t{r.blocks[k].offset} + 16;
        const std::uint64_t available = start < view.size() ? view.size() - start : 0;
        const auto n = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::min(r.blocks[k].dataLength, 512u), available));
        if (n > 0)
            std::memcpy(text.data() + 512 * k, view.data() + start, n);
        if (r.isDeleted)
            std::memset(text.data() + 512 * k, ' ', 4);
    }
    return text.substr(0, text.find('\0'));
}

inline bool PlainValue(std::string_view text, std::string_view label, std::string& value)
{
    value.clear();
    const std::size_t at = text.find(label);
    if (at == std::string_view::npos)
        return false;
    std::size_t i = at + label.size();
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i < text.size() && (text[i] == '\r' || text[i] == '\n'))
        return false;
    std::size_t end = text.find('\r', i);
    if (end == std::string_view::npos)
        end = text.find('\n', i);
    if (end == std::string_view::npos)
        return false;
    while (end > i && text[end - 1] == ' ')
        --end;
    value = text.substr(i, std::min<std::size_t>(end - i, 511));
    return true;
}

inline std::string PlainField(std::string_view text, std::initializer_list<std::string_view> labels)
{
    std::string value;
    for (std::string_view label : labels)
        if (PlainValue(text, label, value))
            return value;
    return {};
}

// What ExtractHeader must give for `r`, but for an encoded-word subject
// (left as the raw value here; `subjectIsRaw` tells whether to compare it).
inline dbx::EmailRecord PlainExtract(std::string_view view, const dbx::EmailRecord& r, bool& subjectIsRaw)
{
    const std::string text = PlainSearchText(view, r);
    dbx::EmailRecord e = r;
    e.hasAttachment = text.find("Content-Type: application") != std::string::npos;
    e.from = PlainField(text, {"From: ", "from: "});
    e.to = PlainField(text, {"\r\nTo: ", "To: ", "\r\nto: ", "to: "});
    const std::string date = PlainField(text, {"Date: ", "date: "});
    e.date = date.empty() ? 0 : dbx::ParseMailDate(date);
    e.subject = PlainField(text, {"Subject: ", "subject: "});
    subjectIsRaw = e.subject.rfind("=?", 0) != 0;
    return e;
}

} // namespace dbxtest
