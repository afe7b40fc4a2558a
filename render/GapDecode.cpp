#include "render/GapDecode.h"

#include "render/Gaps.h"

#include <gmime/gmime.h>

#include <cctype>

namespace render {
namespace {

bool IsHexDigit(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

void AttachmentContent::AppendLost(std::size_t n)
{
    if (n == 0)
        return;
    if (!lost.empty() && lost.back().offset + lost.back().length == bytes.size())
        lost.back().length += n;
    else
        lost.push_back({bytes.size(), n});
    bytes.append(n, '\0');
}

std::uint64_t AttachmentContent::LostBytes() const
{
    std::uint64_t n = 0;
    for (const auto& range : lost)
        n += range.length;
    return n;
}

std::string DropBrokenEscapes(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size();) {
        if (raw[i] != kGapByte) {
            out += raw[i++];
            continue;
        }
        if (out.size() >= 2 && out[out.size() - 2] == '=' && IsHexDigit(out.back()))
            out.resize(out.size() - 2);
        else if (!out.empty() && out.back() == '=')
            out.pop_back();
        while (i < raw.size() && raw[i] == kGapByte)
            out += raw[i++];
        std::size_t digits = 0;
        while (digits < 2 && i + digits < raw.size() && IsHexDigit(raw[i + digits]))
            ++digits;
        const std::size_t next = i + digits;
        if (digits > 0 && next + 2 < raw.size() && raw[next] == '=' && IsHexDigit(raw[next + 1]) && IsHexDigit(raw[next + 2]))
            i = next;
    }
    return out;
}

AttachmentContent DecodeQuotedPrintableLost(std::string_view raw)
{
    const std::string text = DropBrokenEscapes(raw);
    AttachmentContent out;
    // The decoder keeps its state from one stretch to the next, so a soft
    // line break split by nothing but the gap reads as it did.
    int state = 0;
    guint32 save = 0;
    std::string buffer;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find(kGapByte, at);
        end = end == std::string::npos ? text.size() : end;
        if (end > at) {
            buffer.resize(end - at + 4);
            const std::size_t n = g_mime_encoding_quoted_decode_step(
                reinterpret_cast<const unsigned char*>(text.data() + at), end - at,
                reinterpret_cast<unsigned char*>(buffer.data()), &state, &save);
            out.bytes.append(buffer, 0, n);
        }
        std::size_t gap = end;
        while (gap < text.size() && text[gap] == kGapByte)
            ++gap;
        out.AppendLost(gap - end);
        at = gap;
    }
    return out;
}

AttachmentContent GapsAsLost(std::string_view raw)
{
    AttachmentContent out;
    out.bytes.reserve(raw.size());
    for (std::size_t at = 0; at < raw.size();) {
        std::size_t end = raw.find(kGapByte, at);
        end = end == std::string_view::npos ? raw.size() : end;
        out.Append(raw.substr(at, end - at));
        std::size_t gap = end;
        while (gap < raw.size() && raw[gap] == kGapByte)
            ++gap;
        out.AppendLost(gap - end);
        at = gap;
    }
    return out;
}

} // namespace render
