#include "dbx/HeaderFields.h"

#include "dbx/DbxFormat.h"
#include "dbx/TextSearch.h"
#include "platform/FileTime.h"
#include "platform/GuardedRead.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace dbx {

namespace {

constexpr std::size_t kMaxValue = EmailRecord::kMaxFieldLength;  // 511

// Every label the header search looks for, in one table, so that a single
// sweep over a long text finds them all.
enum Label : std::size_t {
    kAttachmentMark,
    kFrom, kFromLower,
    kToAfterBreak, kTo, kToLowerAfterBreak, kToLower,
    kDate, kDateLower,
    kSubject, kSubjectLower,
    kLabelCount
};
const TextSearcher kLabels[kLabelCount] = {
    TextSearcher("Content-Type: application"),
    TextSearcher("From: "), TextSearcher("from: "),
    // A To line after a line break first, so that "Reply-To: " earlier in
    // the header does not win when a line-initial To line exists.
    TextSearcher("\r\nTo: "), TextSearcher("To: "), TextSearcher("\r\nto: "), TextSearcher("to: "),
    TextSearcher("Date: "), TextSearcher("date: "),
    TextSearcher("Subject: "), TextSearcher("subject: "),
};
constexpr Label kFromLabels[] = {kFrom, kFromLower};
constexpr Label kToLabels[] = {kToAfterBreak, kTo, kToLowerAfterBreak, kToLower};
constexpr Label kDateLabels[] = {kDate, kDateLower};
constexpr Label kSubjectLabels[] = {kSubject, kSubjectLower};

using LabelPositions = std::array<std::size_t, kLabelCount>;

// The first occurrence of every label (npos when absent). The text is
// searched a stretch at a time for each label still missing, so that a text
// far larger than the processor's caches is read from memory about once,
// not once per label; labels found early cost nothing further.
void FindLabels(std::string_view text, LabelPositions& at)
{
    constexpr std::size_t kStretch = 64 * 1024;
    at.fill(std::string_view::npos);
    std::size_t missing = kLabelCount;
    for (std::size_t start = 0; start < text.size() && missing > 0; start += kStretch) {
        for (std::size_t l = 0; l < kLabelCount; ++l) {
            if (at[l] != std::string_view::npos)
                continue;
            // Occurrences that begin in this stretch, also when they end past it.
            const std::string_view window = text.substr(start, kStretch + kLabels[l].Size() - 1);
            const std::size_t hit = kLabels[l].FindIn(window);
            if (hit != std::string_view::npos) {
                at[l] = start + hit;
                --missing;
            }
        }
    }
}

// The value of a label found at `at` (of `labelSize` bytes) in `text`.
bool ValueAt(std::string_view text, std::size_t at, std::size_t labelSize, std::string& value)
{
    value.clear();
    if (at == std::string_view::npos)
        return false;
    std::size_t i = at + labelSize;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i < text.size() && (text[i] == '\r' || text[i] == '\n'))
        return false;
    const std::string_view rest = text.substr(std::min(i, text.size()));
    std::size_t lineEnd = rest.find('\r');
    if (lineEnd == std::string_view::npos)
        lineEnd = rest.find('\n');
    if (lineEnd == std::string_view::npos)
        return false;
    std::size_t end = i + lineEnd;
    while (end > i && text[end - 1] == ' ')
        --end;
    value.assign(text.substr(i, std::min(end - i, kMaxValue)));
    return true;
}

template <std::size_t N>
bool FindFirstValue(std::string_view text, const LabelPositions& at, const Label (&labels)[N], std::string& value)
{
    for (const Label label : labels)
        if (ValueAt(text, at[label], kLabels[label].Size(), value))
            return true;
    value.clear();
    return false;
}

// "=?charset?B?...?=" with a charset other than UTF-8: the only form of
// encoded word that is decoded. Its bytes are kept as they are.
bool IsDecodableEncodedWord(std::string_view value)
{
    if (value.size() < 2 || value[0] != '=' || value[1] != '?')
        return false;
    char head[8] = {};
    value.copy(head, 7);
    if (EqualsIgnoreAsciiCase(head, "=?UTF-8", 7))
        return false;
    return value.find("?B?") != std::string_view::npos;
}

std::string DecodeEncodedWord(std::string_view value)
{
    if (value.size() >= 2 && value.substr(value.size() - 2) == "?=")
        value.remove_suffix(2);
    std::string_view encoded;
    std::size_t marks = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '?' && ++marks == 3) {
            encoded = value.substr(i + 1);
            break;
        }
    }
    std::array<std::uint8_t, kMaxValue + 1> decoded{};
    std::size_t capacity = kMaxValue;
    if (!DecodeBase64(encoded.data(), encoded.size(), decoded.data(), capacity))
        return {};
    const auto* begin = reinterpret_cast<const char*>(decoded.data());
    return std::string(begin, std::find(begin, begin + kMaxValue, '\0'));
}

} // namespace

// The searchable text of a chain: the blocks' 512-byte slots one after the
// other (deleted blocks with four spaces at the start of each slot), ending
// at the first zero byte, so it stops inside the first slot that is not full.
class HeaderText {
public:
    std::string_view Assemble(std::string_view view, const EmailRecord& record)
    {
        // Plan the slots first (no reads of the file), then copy them all in
        // one guarded run: the file may shrink under the mapping meanwhile.
        pieces_.clear();
        std::size_t total = 0;
        for (const BlockRef& block : record.blocks) {
            const std::uint64_t start = std::uint64_t{block.offset} + format::kHeaderSize;
            const std::uint64_t available = start < view.size() ? view.size() - start : 0;
            const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(
                std::min(block.dataLength, format::kPayloadSize), available));
            // A block past the end contributes nothing (and no pointer past the view).
            pieces_.push_back({view.data() + std::min<std::uint64_t>(start, view.size()), length});
            total += record.isDeleted ? std::max(length, format::kDeletedClobberedBytes) : length;
            if (length < format::kPayloadSize)
                break;
        }
        Reserve(total);

        Copy copy{pieces_.data(), pieces_.size(), buffer_.get(), record.isDeleted, 0};
        if (!platform::RunGuarded(view.data(), view.size(), &Copy::Run, &copy))
            total = copy.done;  // what the blocks before the unreadable one held
        std::string_view text(buffer_.get(), total);
        const std::size_t zero = text.find('\0');
        return zero == std::string_view::npos ? text : text.substr(0, zero);
    }

    // Kept from one chain to the next: a fresh buffer for every long text
    // would cost a page fault per 4 KiB each time. Released after a scan.
    void Release()
    {
        buffer_.reset();
        capacity_ = 0;
        std::vector<Piece>().swap(pieces_);
    }

private:
    struct Piece {
        const char* source;
        std::size_t length;
    };
    // Plain data only: a fault leaves Run by a non-local jump.
    struct Copy {
        const Piece* pieces;
        std::size_t count;
        char* out;
        bool deleted;
        volatile std::size_t done;

        static void Run(void* context)
        {
            auto& c = *static_cast<Copy*>(context);
            std::size_t at = 0;
            for (std::size_t i = 0; i < c.count; ++i) {
                std::size_t length = c.pieces[i].length;
                if (length > 0)  // the buffer may not exist yet for an empty text
                    std::memcpy(c.out + at, c.pieces[i].source, length);
                if (c.deleted) {
                    length = std::max(length, format::kDeletedClobberedBytes);
                    std::memset(c.out + at, ' ', format::kDeletedClobberedBytes);
                }
                at += length;
                c.done = at;
            }
        }
    };

    void Reserve(std::size_t size)
    {
        if (size <= capacity_)
            return;
        capacity_ = std::max(size, capacity_ * 2);
        buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
    }

    std::vector<Piece> pieces_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
};

bool FindHeaderValue(std::string_view text, std::string_view label, std::string& value)
{
    const TextSearcher searcher(label);
    return ValueAt(text, searcher.FindIn(text), searcher.Size(), value);
}

namespace {
thread_local HeaderText t_assembler;
} // namespace

void ReleaseExtractBuffers()
{
    t_assembler.Release();
}

bool ExtractHeader(std::string_view view, EmailRecord& record)
{
    if (record.blocks.empty())
        return false;
    HeaderText& assembler = t_assembler;
    thread_local std::string value;
    const std::string_view text = assembler.Assemble(view, record);

    record.from.clear();
    record.to.clear();
    record.subject.clear();
    record.date = 0;
    LabelPositions at;
    FindLabels(text, at);
    record.hasAttachment = at[kAttachmentMark] != std::string_view::npos;

    if (FindFirstValue(text, at, kFromLabels, value))
        record.from = value;
    if (FindFirstValue(text, at, kToLabels, value))
        record.to = value;
    if (FindFirstValue(text, at, kDateLabels, value))
        record.date = ParseMailDate(value);
    if (FindFirstValue(text, at, kSubjectLabels, value))
        record.subject = IsDecodableEncodedWord(value) ? DecodeEncodedWord(value) : value;

    return !record.from.empty() || !record.to.empty() || !record.subject.empty();
}

bool DecodeBase64(const char* source, std::size_t length, std::uint8_t* out, std::size_t& capacity)
{
    static constexpr auto kDigits = [] {
        std::array<std::int8_t, 256> t{};
        t.fill(-1);
        for (int i = 0; i < 26; ++i) {
            t['A' + i] = static_cast<std::int8_t>(i);
            t['a' + i] = static_cast<std::int8_t>(26 + i);
        }
        for (int i = 0; i < 10; ++i)
            t['0' + i] = static_cast<std::int8_t>(52 + i);
        t['+'] = 62;
        t['/'] = 63;
        return t;
    }();

    std::size_t total = 0;
    bool storing = true;
    std::uint32_t bits = 0;
    int digits = 0;
    auto flush = [&] {
        const std::size_t bytes = static_cast<std::size_t>(digits) * 6 / 8;
        if (storing && total + bytes > capacity)
            storing = false;
        if (storing) {
            const std::uint32_t group = bits << (6 * (4 - digits));
            for (std::size_t k = 0; k < bytes; ++k)
                out[total + k] = static_cast<std::uint8_t>(group >> (16 - 8 * k));
        }
        total += bytes;
        bits = 0;
        digits = 0;
    };
    for (std::size_t i = 0; i < length; ++i) {
        const std::int8_t v = kDigits[static_cast<std::uint8_t>(source[i])];
        if (v < 0)
            continue;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if (++digits == 4)
            flush();
    }
    if (digits > 0)
        flush();
    capacity = total;
    return storing;
}

std::uint64_t ParseMailDate(std::string_view text)
{
    // A zero-terminated working copy as large as a header value can be, with
    // room for the reads a few characters past a short token.
    std::array<char, kMaxValue + 16> buf{};
    text.copy(buf.data(), std::min(text.size(), kMaxValue));
    const std::size_t len = std::strlen(buf.data());

    if (buf[3] == ',')
        std::memset(buf.data(), ' ', 4);  // a leading "Tue," is dropped

    // Every space ends a token and starts one at the next non-space, so a
    // run of k spaces gives k tokens that begin at the same word.
    constexpr std::size_t kMaxTokens = 100;
    std::array<std::size_t, kMaxTokens> tokens{};
    std::size_t count = 1;  // token 0 starts at the beginning
    for (std::size_t s = 0; s < len; ++s) {
        if (buf[s] != ' ')
            continue;
        buf[s] = '\0';
        std::size_t t = s + 1;
        while (t < len && buf[t] == ' ')
            ++t;
        if (count < kMaxTokens)
            tokens[count++] = t;
    }

    static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    auto number = [](const char* s) { return static_cast<std::uint16_t>(std::strtol(s, nullptr, 10)); };

    platform::SystemTime parts;
    std::int64_t zoneTicks = 0;
    bool dayOfWeekSeen = false, yearSet = false, daySet = false, monthSet = false;
    for (std::size_t k = 0; k < count; ++k) {
        char* tok = buf.data() + tokens[k];
        const std::size_t n = std::strlen(tok);  // may shrink as times are split
        if (n == 0 || tok[0] == ',')
            continue;
        switch (n) {
        case 4:
            if (tok[3] == ',' && !dayOfWeekSeen) {
                dayOfWeekSeen = true;
            } else if (!yearSet) {
                parts.year = number(tok);
                yearSet = true;
            }
            break;
        case 1:
        case 2:
            if (!daySet) {
                parts.day = number(tok);
                daySet = true;
            }
            break;
        case 3:
            if (!monthSet) {
                parts.month = 0;
                for (int m = 0; m < 12; ++m) {
                    if (EqualsIgnoreAsciiCase(tok, kMonths[m], 3)) {
                        parts.month = static_cast<std::uint16_t>(m + 1);
                        break;
                    }
                }
                monthSet = true;
            }
            break;
        case 5:
            if (tok[0] == '+' || tok[0] == '-') {
                const std::int64_t minutes = (tok[1] - '0') * 600 + (tok[2] - '0') * 60
                                             + (tok[3] - '0') * 10 + (tok[4] - '0');
                zoneTicks = minutes * platform::kTicksPerMinute;
                if (tok[0] == '+')
                    zoneTicks = -zoneTicks;
            }
            break;
        case 8:
            tok[2] = '\0';
            tok[5] = '\0';
            parts.hour = number(tok);
            parts.minute = number(tok + 3);
            parts.second = number(tok + 6);
            break;
        default:
            break;
        }
    }

    const platform::SystemTime today = platform::GetSystemTime();
    if (!yearSet)
        parts.year = today.year;
    if (!monthSet)
        parts.month = today.month;
    if (!daySet)
        parts.day = today.day;

    platform::FileTime utc = 0;
    if (!platform::SystemTimeToFileTime(parts, utc))
        return 0;
    utc += static_cast<std::uint64_t>(zoneTicks);  // wraps like the 64-bit addition it is
    platform::FileTime local = 0;
    if (!platform::FileTimeToLocalFileTime(utc, local))
        return 0;
    return local;
}

} // namespace dbx
