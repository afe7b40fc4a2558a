// The command line's view of a stored message: the same reading as the
// preview, laid out as plain text.

#include "render/RenderMessage.h"

#include "render/Gaps.h"
#include "render/HtmlSanitizer.h"
#include "render/HtmlToText.h"
#include "render/MessageView.h"

#include <algorithm>

namespace render {
namespace {

// A label with the letters restored from a damaged name in brackets, as
// editors mark what they supplied: "[Fr]om:".
std::string Label(const HeaderRow& row)
{
    if (row.guessed.size() != row.label.size())
        return row.label;
    std::string label;
    for (std::size_t i = 0; i < row.label.size(); ++i) {
        const bool guessed = row.guessed[i] == '^';
        if (guessed && (i == 0 || row.guessed[i - 1] != '^'))
            label += '[';
        label += row.label[i];
        if (guessed && (i + 1 == row.label.size() || row.guessed[i + 1] != '^'))
            label += ']';
    }
    return label;
}

std::size_t Width(std::string_view utf8)
{
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Nothing that could drive a terminal: C0 and C1 controls go, but for line
// feeds and tabs; CR LF becomes LF.
std::string ForTerminal(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80
            && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            ++i;
            continue;
        }
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F)
            continue;
        out += static_cast<char>(c);
    }
    return out;
}

} // namespace

std::string RenderMessageText(std::string_view rawBytes, const dbx::TextDamage& damage)
{
    const MessageView view = ViewMessage(rawBytes, damage, true);
    std::string out;
    if (view.deleted)
        out += std::string(kDeletedBanner) + " " + std::string(kGapMark) + "\n\n";

    std::vector<std::pair<std::string, std::string>> rows;
    for (const HeaderRow& row : view.headers)
        rows.emplace_back(Label(row), row.value);
    if (!view.attachments.empty()) {
        for (std::size_t i = 0; i < view.attachments.size(); ++i) {
            const Attachment& a = view.attachments[i];
            rows.emplace_back(i == 0 ? "Attachments:" : "",
                              OneLine(a.fileName) + " (" + a.mimeType + ", " + FormatSize(a.size)
                                  + (a.Damaged() ? ", damaged" : "") + ")");
        }
    }
    std::size_t width = 0;
    for (const auto& [label, value] : rows)
        width = std::max(width, Width(label));
    for (const auto& [label, value] : rows)
        out += label + std::string(width - Width(label) + 1, ' ') + value + "\n";
    if (!rows.empty())
        out += "\n";

    bool shortened = view.shortened;
    bool first = true;
    for (const BodySection& section : view.bodies) {
        if (!first)
            out += "\n----------------------------------------\n\n";
        first = false;
        if (section.isHtml) {
            const SanitizedHtml clean = SanitizeHtml(view.deleted ? MoveGapsOutOfMarkup(section.text) : section.text);
            out += HtmlToText(clean.body);
            shortened = shortened || clean.cut;
        } else {
            out += section.text;
        }
        shortened = shortened || section.cut;
        if (!out.empty() && out.back() != '\n')
            out += '\n';
    }
    if (shortened)
        out += "\n[This message is too long to show in full; the text ends here.]\n";
    else if (view.incomplete)
        out += "\n[This message is incomplete: the rest of it was not found.]\n";
    return ForTerminal(view.deleted ? GapsToText(out) : out);
}

} // namespace render
