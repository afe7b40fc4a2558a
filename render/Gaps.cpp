#include "render/Gaps.h"

#include "render/HtmlTokenizer.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace render {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
// The colours of everything that is not the sender's: gaps and guesses.
constexpr const char* kGapStyle = "color:#9b1c1c; background-color:#fde2e2;";

bool StartsAt(std::string_view text, std::size_t at, std::string_view what)
{
    return text.compare(at, what.size(), what) == 0;
}

std::string ReplaceMarks(std::string_view text, std::string_view with)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0;;) {
        const std::size_t mark = text.find(kGapMark, at);
        out.append(text.substr(at, mark - at));
        if (mark == std::string_view::npos)
            return out;
        out.append(with);
        at = mark + kGapMark.size();
    }
}

bool HasVisibleText(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return c != ' ' && c != '\t' && c != '\r' && c != '\n'; });
}

// A gap that took the ">" of the tag it stands in would let the tag run on
// into the next one and swallow the text between: the tag ends at the gap.
std::string CloseTagsAtGaps(std::string_view html)
{
    // For each mark, whether "<" comes before ">" after it (a backward pass,
    // so that the work stays linear).
    std::vector<bool> runsOn;
    char next = 0;
    for (std::size_t i = html.size(); i-- > 0;) {
        if (html[i] == '<' || html[i] == '>')
            next = html[i];
        else if (StartsAt(html, i, kGapMark))
            runsOn.push_back(next == '<');
    }
    std::string out;
    out.reserve(html.size() + runsOn.size());
    bool inTag = false;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '<' || html[i] == '>')
            inTag = html[i] == '<';
        if (StartsAt(html, i, kGapMark) && runsOn.back() && inTag) {
            out += '>';
            inTag = false;
        }
        if (StartsAt(html, i, kGapMark))
            runsOn.pop_back();
        out += html[i];
    }
    return out;
}

} // namespace

std::string WithGaps(std::string_view stored, const dbx::TextDamage& damage)
{
    std::size_t end = stored.size();
    if (damage.paddedEnd)
        while (end > 0 && stored[end - 1] == '\0')
            --end;
    std::string text(stored.substr(0, end));
    std::replace(text.begin(), text.end(), kGapByte, '\x02');
    for (const dbx::TextDamage::Range& range : damage.overwritten) {
        if (range.offset >= text.size())
            break;
        std::fill_n(text.begin() + static_cast<std::ptrdiff_t>(range.offset),
                    std::min(range.length, text.size() - range.offset), kGapByte);
    }
    return text;
}

std::string MarkGaps(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (StartsAt(text, i, kGapMark)) {
            out += kReplacement;  // the message's own: not a gap
            i += kGapMark.size();
        } else if (text[i] == kGapByte) {
            while (out.size() >= kReplacement.size() && StartsAt(out, out.size() - kReplacement.size(), kReplacement))
                out.resize(out.size() - kReplacement.size());
            while (i < text.size() && (text[i] == kGapByte || StartsAt(text, i, kReplacement)))
                i += text[i] == kGapByte ? 1 : kReplacement.size();
            out += kGapMark;
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string MoveGapsOutOfMarkup(std::string_view rawHtml)
{
    if (rawHtml.find(kGapMark) == std::string_view::npos)
        return std::string(rawHtml);
    const std::string closed = CloseTagsAtGaps(rawHtml);
    const std::string_view html = closed;
    // The stretches that show as text once sanitised.
    std::vector<std::pair<std::size_t, std::size_t>> shown;
    HtmlTokenizer tokenizer(html);
    HtmlToken token;
    while (tokenizer.Next(token)) {
        const bool text = token.kind == HtmlToken::Kind::Text
            || (token.kind == HtmlToken::Kind::RawText && (token.name == "textarea" || token.name == "xmp"));
        if (text) {
            const auto begin = static_cast<std::size_t>(token.text.data() - html.data());
            shown.emplace_back(begin, begin + token.text.size());
        }
    }
    std::string out;
    out.reserve(html.size());
    std::size_t pending = 0;  // marks waiting for the next text that shows
    std::size_t next = 0;     // the first stretch not passed yet
    for (std::size_t i = 0; i < html.size();) {
        while (next < shown.size() && shown[next].second <= i)
            ++next;
        const bool inText = next < shown.size() && shown[next].first <= i;
        if (pending > 0 && next < shown.size() && shown[next].first == i
            && HasVisibleText(html.substr(i, shown[next].second - i))) {
            for (; pending > 0; --pending)
                out += kGapMark;
        }
        if (StartsAt(html, i, kGapMark)) {
            if (inText)
                out += kGapMark;
            else
                ++pending;
            i += kGapMark.size();
            continue;
        }
        out += html[i++];
    }
    for (; pending > 0; --pending)
        out += kGapMark;  // no text after it: at the very end
    return out;
}

std::string GapsToText(std::string_view text)
{
    return ReplaceMarks(text, kGapText);
}

std::string GapHtml()
{
    return std::string("<span style=\"") + kGapStyle + "\">" + std::string(kGapText) + "</span>";
}

std::string GuessedHtml(std::string_view escapedLetters)
{
    return std::string("<span style=\"") + kGapStyle + "\">" + std::string(escapedLetters) + "</span>";
}

std::string GapsToHtml(std::string_view html)
{
    return ReplaceMarks(html, GapHtml());
}

} // namespace render
