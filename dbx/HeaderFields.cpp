#include "dbx/HeaderFields.h"

#include "dbx/ChainText.h"
#include "dbx/TextSearch.h"
#include "platform/FileTime.h"

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

// A text given whole, read like a chain's text.
struct WholeText {
    std::string_view text;
    std::size_t Read(std::size_t pos, char* out, std::size_t n) const
    {
        return pos < text.size() ? text.copy(out, n, pos) : 0;
    }
};

// Where each label first occurs: npos when absent, or not looked for yet.
struct LabelPositions {
    std::array<std::size_t, kLabelCount> at;
    std::uint32_t searched = 0;  // bit l: label l has been looked for

    LabelPositions() { at.fill(std::string_view::npos); }
    bool Searched(std::size_t l) const { return (searched >> l) & 1u; }
};

// Looks for the labels of `wanted` not looked for yet, all in one sweep: the
// text is read a stretch at a time, and each stretch is searched for every
// such label still missing while it sits in the processor's cache; the last
// bytes of one stretch are searched again with the next, for labels that
// span the seam. The sweep ends when all of them are found or the text ends.
constexpr std::size_t kStretch = 64 * 1024;

template <class Text>
void FindLabels(Text& text, LabelPositions& found, std::uint32_t wanted, std::size_t stretchSize = kStretch)
{
    constexpr std::size_t kSeam = 24;  // the longest label, less one byte
    std::uint32_t missing = wanted & ~found.searched;
    if (missing == 0)
        return;
    found.searched |= missing;
    // A mapped text is searched where it lies.
    if constexpr (requires { text.FindInPlace(kLabels, missing, found.at.data()); }) {
        if (text.FindInPlace(kLabels, missing, found.at.data()))
            return;
    }
    thread_local std::unique_ptr<char[]> window;
    if (!window)
        window = std::make_unique_for_overwrite<char[]>(kSeam + kStretch);
    stretchSize = std::min(stretchSize, kStretch);
    std::size_t carried = 0;
    for (std::size_t pos = 0; missing != 0;) {
        const std::size_t got = text.Read(pos, window.get() + carried, stretchSize);
        const std::string_view stretch(window.get(), carried + got);
        const std::size_t base = pos - carried;  // text position of window[0]
        for (std::size_t l = 0; l < kLabelCount; ++l) {
            if (!((missing >> l) & 1u))
                continue;
            // An occurrence inside the carried bytes alone was seen before.
            if (const std::size_t hit = kLabels[l].FindIn(stretch); hit != std::string_view::npos) {
                found.at[l] = base + hit;
                missing &= ~(1u << l);
            }
        }
        if (got < stretchSize)
            break;
        pos += got;
        carried = std::min(kSeam, stretch.size());
        std::memmove(window.get(), stretch.data() + stretch.size() - carried, carried);
    }
}

// The value of a label found at `at` (of `labelSize` bytes): spaces skipped,
// up to the first CR (or, with no CR left in the text, the first LF),
// trailing spaces dropped, cut to kMaxValue bytes. Reads no further than the
// line end, unless there is no CR at all: a small piece first, as header
// lines are short, then larger ones. `start` gets the value's position, and
// `wholeLine` whether the value is also its whole header line as
// UnfoldedLineAt reads it: no continuation line follows, no LF ends it
// early, no tab or cut at its end (false where that is not plain from the
// bytes read).
template <class Text>
bool ValueAt(Text& text, std::size_t at, std::size_t labelSize, std::string& value, std::size_t* start = nullptr,
             bool* wholeLine = nullptr)
{
    value.clear();
    if (at == std::string_view::npos)
        return false;
    char chunk[4096];
    std::size_t want = 256;
    std::size_t pos = at + labelSize;  // text position of chunk[0]
    std::size_t got = 0;
    const auto readOn = [&] {
        pos += got;
        got = text.Read(pos, chunk, want);
        want = std::min(2 * want, sizeof chunk);
        return got > 0;
    };
    std::size_t skip = std::string_view::npos;
    while (skip == std::string_view::npos) {  // past the spaces after the label
        if (!readOn())
            return false;
        skip = std::string_view(chunk, got).find_first_not_of(' ');
    }
    if (chunk[skip] == '\r' || chunk[skip] == '\n')
        return false;
    const std::size_t i = pos + skip;
    if (start)
        *start = i;

    // From i on, a chunk at a time: the first CR ends the line; until one is
    // found, remember where the first LF would end it. `end` is one past the
    // last non-space so far (text[i] is not a space).
    std::size_t end = i + 1;
    std::size_t endAtLf = std::string_view::npos;
    for (std::size_t from = skip;; from = 0) {
        const std::string_view part(chunk + from, got - from);
        const std::size_t partAt = pos + from;
        if (partAt - i < kMaxValue)
            value.append(part.substr(0, kMaxValue - (partAt - i)));
        auto endBefore = [&](std::size_t limit) {
            const std::size_t last = part.substr(0, limit).find_last_not_of(' ');
            return last == std::string_view::npos ? end : partAt + last + 1;
        };
        const std::size_t cr = part.find('\r');
        if (endAtLf == std::string_view::npos) {
            const std::size_t lf = part.substr(0, std::min(cr, part.size())).find('\n');
            if (lf != std::string_view::npos)
                endAtLf = endBefore(lf);
        }
        if (cr != std::string_view::npos) {
            const std::size_t length = endBefore(cr) - i;
            value.resize(std::min(length, kMaxValue));
            if (wholeLine) {
                const std::size_t next = cr + 1 < part.size() && part[cr + 1] == '\n' ? cr + 2 : cr + 1;
                *wholeLine = endAtLf == std::string_view::npos && length <= kMaxValue && value.back() != '\t'
                             && next < part.size() && part[next] != ' ' && part[next] != '\t';
            }
            return true;
        }
        end = endBefore(part.size());
        if (!readOn())
            break;
    }
    if (endAtLf == std::string_view::npos) {
        value.clear();
        return false;
    }
    value.resize(std::min(endAtLf - i, kMaxValue));
    return true;
}

// The value of the first of `labels` that yields one. A label is looked for
// only when those before it yield nothing, which in real mail is rare, so a
// text is usually swept once.
// `valueAt` gets the value's text position, as EmailRecord::valueAt keeps
// it, and `wholeLine` whether the value is its whole header line.
template <class Text, std::size_t N>
bool FindFirstValue(Text& text, LabelPositions& found, const Label (&labels)[N], std::string& value,
                    std::uint32_t& valueAt, bool& wholeLine)
{
    wholeLine = false;
    for (const Label label : labels) {
        FindLabels(text, found, 1u << label);
        std::size_t start = 0;
        if (ValueAt(text, found.at[label], kLabels[label].Size(), value, &start, &wholeLine)) {
            valueAt = start < EmailRecord::kNoValue ? static_cast<std::uint32_t>(start) : EmailRecord::kNotSought;
            return true;
        }
    }
    value.clear();
    valueAt = EmailRecord::kNoValue;
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

bool FindHeaderValue(std::string_view text, std::string_view label, std::string& value)
{
    const TextSearcher searcher(label);
    WholeText whole{text};
    return ValueAt(whole, searcher.FindIn(text), searcher.Size(), value);
}

namespace {
thread_local ChainText t_text;
} // namespace

void ReleaseExtractBuffers()
{
    t_text.Release();
}

bool ExtractHeader(std::string_view view, EmailRecord& record)
{
    return ExtractHeader(ViewSource(view), record);
}

bool ExtractHeader(const ByteSource& source, EmailRecord& record)
{
    if (record.blocks.empty())
        return false;
    ChainText& text = t_text;
    text.Reset(source, record);
    thread_local std::string value;

    record.from.clear();
    record.to.clear();
    record.subject.clear();
    record.date = 0;
    // One sweep for the attachment mark and each field's first label.
    LabelPositions found;
    FindLabels(text, found, 1u << kAttachmentMark | 1u << kFrom | 1u << kToAfterBreak | 1u << kDate | 1u << kSubject);
    record.hasAttachment = found.at[kAttachmentMark] != std::string_view::npos;

    const auto at = [&](HeaderField field) -> std::uint32_t& { return record.valueAt[static_cast<std::size_t>(field)]; };
    bool whole = false;
    record.wholeLines = 0;
    if (FindFirstValue(text, found, kFromLabels, value, at(HeaderField::kFrom), whole)) {
        record.from = value;
        record.wholeLines |= whole ? HeaderBit(HeaderField::kFrom) : 0;
    }
    if (FindFirstValue(text, found, kToLabels, value, at(HeaderField::kTo), whole)) {
        record.to = value;
        record.wholeLines |= whole ? HeaderBit(HeaderField::kTo) : 0;
    }
    if (FindFirstValue(text, found, kDateLabels, value, at(HeaderField::kDate), whole))
        record.date = ParseMailDate(value);  // kept as a time only: its line is read again
    if (FindFirstValue(text, found, kSubjectLabels, value, at(HeaderField::kSubject), whole)) {
        const bool encoded = IsDecodableEncodedWord(value);
        record.subject = encoded ? DecodeEncodedWord(value) : value;
        record.wholeLines |= whole && !encoded ? HeaderBit(HeaderField::kSubject) : 0;
    }

    return !record.from.empty() || !record.to.empty() || !record.subject.empty();
}

namespace {

// A chain's text read through a window of its first bytes, copied from the
// mapping as far as reads reach (4 KiB at first, growing up to 64 KiB): the
// header lines of a message nearly always lie there, so finding them again
// costs one or two guarded copies of little more than the header. Reads
// beyond the window go to the text itself.
class WindowedText {
public:
    explicit WindowedText(ChainText& text) : text_(text)
    {
        thread_local std::unique_ptr<char[]> buffer;
        if (!buffer)
            buffer = std::make_unique_for_overwrite<char[]>(kMost);
        window_ = buffer.get();
    }

    bool FindInPlace(const TextSearcher* labels, std::uint32_t wanted, std::size_t* found)
    {
        return text_.FindInPlace(labels, wanted, found);
    }

    std::size_t Read(std::size_t pos, char* out, std::size_t n)
    {
        if (!ended_ && pos + n > size_ && size_ < kMost)
            Grow(std::min(kMost, std::max({pos + n, 2 * size_, kFirst})));
        if (pos >= size_)
            return ended_ ? 0 : text_.Read(pos, out, n);
        const std::size_t here = std::min(n, size_ - pos);
        std::memcpy(out, window_ + pos, here);
        if (here == n || ended_)
            return here;
        return here + text_.Read(pos + here, out + here, n - here);
    }

private:
    static constexpr std::size_t kFirst = 1024;
    static constexpr std::size_t kMost = 64 * 1024;

    void Grow(std::size_t want)
    {
        const std::size_t got = text_.Read(size_, window_ + size_, want - size_);
        size_ += got;
        ended_ = size_ < want;
    }

    ChainText& text_;
    char* window_ = nullptr;
    std::size_t size_ = 0;
    bool ended_ = false;  // the window holds the whole text
};

// The header line whose value starts at `start`, continuation lines joined:
// a line end (CR LF, CR or LF) followed by a space or tab is dropped, any
// other ends the line. Trailing blanks dropped; at most kMaxHeaderLine bytes.
template <class Text>
std::string UnfoldedLineAt(Text& text, std::size_t start)
{
    std::string line;
    char chunk[192];  // most header lines fit
    std::size_t chunkAt = start, chunkSize = 0;
    auto byteAt = [&](std::size_t pos) -> int {  // -1 past the end of the text
        if (pos < chunkAt || pos >= chunkAt + chunkSize) {
            chunkAt = pos;
            chunkSize = text.Read(pos, chunk, sizeof chunk);
            if (chunkSize == 0)
                return -1;
        }
        return static_cast<unsigned char>(chunk[pos - chunkAt]);
    };
    for (std::size_t pos = start; line.size() < kMaxHeaderLine;) {
        const int c = byteAt(pos);
        if (c < 0)
            break;
        if (c != '\r' && c != '\n') {
            // The bytes before the line end, as far as the chunk and the
            // length bound reach, in one append.
            const char* from = chunk + (pos - chunkAt);
            std::size_t run = std::min(chunkAt + chunkSize - pos, kMaxHeaderLine - line.size());
            if (const void* cr = std::memchr(from, '\r', run))
                run = static_cast<std::size_t>(static_cast<const char*>(cr) - from);
            if (const void* lf = std::memchr(from, '\n', run))
                run = static_cast<std::size_t>(static_cast<const char*>(lf) - from);
            line.append(from, run);
            pos += run;
            continue;
        }
        pos += c == '\r' && byteAt(pos + 1) == '\n' ? 2 : 1;
        const int next = byteAt(pos);
        if (next != ' ' && next != '\t')
            break;
    }
    line.erase(line.find_last_not_of(" \t") + 1);
    return line;
}

thread_local ChainText t_lineText;

} // namespace

void ReadHeaderLines(std::string_view view, const EmailRecord& record, unsigned fields, HeaderLines& lines)
{
    ReadHeaderLines(ViewSource(view), record, fields, lines);
}

void ReadHeaderLines(const ByteSource& source, const EmailRecord& record, unsigned fields, HeaderLines& lines)
{
    for (std::string& line : lines)
        line.clear();
    if (record.blocks.empty() || fields == 0)
        return;
    // Where ExtractHeader kept a field's value position, its line is read
    // from there, and the text is planned only as far as such a line can
    // reach (a byte of it may follow a dropped line end of two bytes); where
    // the value is the whole line, it is not read at all. The other fields
    // are searched for.
    const std::string* const values[] = {&record.from, &record.to, nullptr, &record.subject};
    unsigned kept = 0;  // fields whose lines are read from their kept positions
    std::size_t reach = 0;
    for (std::size_t f = 0; f < lines.size(); ++f) {
        const std::uint32_t at = record.valueAt[f];
        if (!(fields & (1u << f)) || at == EmailRecord::kNotSought)
            continue;  // not wanted, or searched for below
        fields &= ~(1u << f);
        if (at == EmailRecord::kNoValue)
            continue;
        if ((record.wholeLines >> f) & 1u && values[f]) {
            lines[f] = *values[f];
        } else {
            kept |= 1u << f;
            reach = std::max(reach, at + 3 * kMaxHeaderLine + 3);
        }
    }
    if (kept == 0 && fields == 0)
        return;
    t_lineText.Reset(source, record, fields == 0 ? reach : SIZE_MAX);
    for (std::size_t f = 0; f < lines.size(); ++f)
        if ((kept >> f) & 1u)
            lines[f] = UnfoldedLineAt(t_lineText, record.valueAt[f]);
    if (fields == 0)
        return;
    WindowedText text(t_lineText);
    thread_local std::string value;
    // The label order of ExtractHeader, so that the same occurrence is found.
    struct Wanted {
        HeaderField field;
        const Label* labels;
        std::size_t count;
    };
    const Wanted wanted[] = {
        {HeaderField::kFrom, kFromLabels, std::size(kFromLabels)},
        {HeaderField::kTo, kToLabels, std::size(kToLabels)},
        {HeaderField::kDate, kDateLabels, std::size(kDateLabels)},
        {HeaderField::kSubject, kSubjectLabels, std::size(kSubjectLabels)},
    };
    LabelPositions found;
    std::uint32_t first = 0;
    for (const Wanted& w : wanted)
        if (fields & HeaderBit(w.field))
            first |= 1u << w.labels[0];
    constexpr std::size_t kSmallStretch = 4096;  // headers are short: look there first
    FindLabels(text, found, first, kSmallStretch);
    for (const Wanted& w : wanted) {
        if (!(fields & HeaderBit(w.field)))
            continue;
        for (std::size_t k = 0; k < w.count; ++k) {
            const Label label = w.labels[k];
            FindLabels(text, found, 1u << label, kSmallStretch);
            std::size_t start = 0;
            if (ValueAt(text, found.at[label], kLabels[label].Size(), value, &start)) {
                lines[static_cast<std::size_t>(w.field)] = UnfoldedLineAt(text, start);
                break;
            }
        }
    }
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

namespace {

// The Date value as a UTC file time, wrapped as a 64-bit sum may be; false
// when its parts are no calendar time.
bool MailDateTicks(std::string_view text, std::uint64_t& utc)
{
    // A zero-terminated working copy as large as a header value can be, with
    // room for the reads a few characters past a short token.
    std::array<char, kMaxValue + 16> buf;
    const std::size_t copied = text.copy(buf.data(), std::min(text.size(), kMaxValue));
    std::memset(buf.data() + copied, 0, 16);
    const std::size_t len = std::strlen(buf.data());

    if (buf[3] == ',')
        std::memset(buf.data(), ' ', 4);  // a leading "Tue," is dropped

    // Every space ends a token and starts one at the next non-space, so a
    // run of k spaces gives k tokens that begin at the same word.
    constexpr std::size_t kMaxTokens = 100;
    std::array<std::size_t, kMaxTokens> tokens;  // the first `count` are set
    tokens[0] = 0;  // token 0 starts at the beginning
    std::size_t count = 1;
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

    if (!yearSet || !monthSet || !daySet) {
        const platform::SystemTime today = platform::GetSystemTime();
        if (!yearSet)
            parts.year = today.year;
        if (!monthSet)
            parts.month = today.month;
        if (!daySet)
            parts.day = today.day;
    }

    if (!platform::SystemTimeToFileTime(parts, utc))
        return false;
    utc += static_cast<std::uint64_t>(zoneTicks);  // wraps like the 64-bit addition it is
    return true;
}

} // namespace

bool ParseMailDateUtc(std::string_view text, std::uint64_t& utc)
{
    platform::SystemTime check;
    return MailDateTicks(text, utc) && platform::FileTimeToSystemTime(utc, check);
}

std::uint64_t ParseMailDate(std::string_view text)
{
    platform::FileTime utc = 0;
    if (!MailDateTicks(text, utc))
        return 0;
    platform::FileTime local = 0;
    if (!platform::FileTimeToLocalFileTime(utc, local))
        return 0;
    return local;
}

} // namespace dbx
