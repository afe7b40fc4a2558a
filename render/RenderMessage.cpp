#include "render/RenderMessage.h"

#include "render/Gaps.h"
#include "render/HtmlSanitizer.h"
#include "render/MessageView.h"
#include "render/TextToHtml.h"

#include <cctype>

namespace render {
namespace {

constexpr const char* kLabelCell =
    "<td valign=\"top\" style=\"white-space:nowrap; font-weight:bold; color:#1f3b5c; padding-right:10px;\">";
constexpr const char* kValueCell = "<td width=\"100%\" style=\"color:#1b1f24;\">";

// A label with the letters restored from a damaged name on the ground of
// everything that is not the sender's.
std::string LabelHtml(const HeaderRow& row)
{
    if (row.guessed.size() != row.label.size())
        return EscapeHtml(row.label);
    std::string html;
    for (std::size_t i = 0; i < row.label.size();) {
        std::size_t end = i;
        while (end < row.label.size() && row.guessed[end] == row.guessed[i])
            ++end;
        const std::string part = EscapeHtml(row.label.substr(i, end - i));
        html += row.guessed[i] == '^' ? GuessedHtml(part) : part;
        i = end;
    }
    return html;
}

// An attachment as the preview lists it: its name as a link that saves it,
// then its type and size, and whether bytes of it were lost.
std::string AttachmentLinkHtml(std::size_t index, const Attachment& a)
{
    std::string html = "<a href=\"" + std::string(kAttachmentUrlScheme) + ":" + std::to_string(index) + "\"><b>";
    html += EscapeHtml(a.fileName);
    html += "</b></a> <span style=\"color:#52606d;\">(";
    html += EscapeHtml(a.mimeType);
    html += ", ";
    html += FormatSize(a.size);
    html += ")</span>";
    if (a.Damaged()) {
        html += ' ';
        html += GuessedHtml(a.lostBytes > 0 ? "damaged: bytes lost when deleted" : "damaged: its end is missing");
    }
    return html;
}

std::string HeaderBlock(const std::vector<HeaderRow>& rows, const std::vector<Attachment>& attachments)
{
    if (rows.empty() && attachments.empty())
        return {};
    std::string html =
        "<table width=\"100%\" cellspacing=\"0\" cellpadding=\"3\" bgcolor=\"#e8eef6\" "
        "style=\"background-color:#e8eef6; color:#1b1f24; margin-bottom:6px;\">\n";
    for (const HeaderRow& row : rows) {
        html += "<tr>";
        html += kLabelCell;
        html += LabelHtml(row);
        html += "</td>";
        html += kValueCell;
        html += EscapeHtml(row.value);
        html += "</td></tr>\n";
    }
    if (!attachments.empty()) {
        html += "<tr>";
        html += kLabelCell;
        html += "Attachments:</td>";
        html += kValueCell;
        for (std::size_t i = 0; i < attachments.size(); ++i) {
            if (i > 0)
                html += "<br>";
            html += AttachmentLinkHtml(i, attachments[i]);
        }
        if (attachments.size() > 1)
            html += std::string("<br><a href=\"") + kSaveAllAttachmentsUrl + "\">Save all attachments\u2026</a>";
        html += "</td></tr>\n";
    }
    html += "</table>\n";
    return html;
}

std::string Note(const char* text)
{
    return std::string("<p style=\"color:#8a4b08; background-color:#fff4e0;\">") + text + "</p>\n";
}

std::string DeletedBanner()
{
    return "<p style=\"color:#7a1414; background-color:#fbe9e9; padding:4px;\"><b>" + EscapeHtml(kDeletedBanner)
        + "</b> " + GapHtml() + "</p>\n";
}

std::string PlainBody(std::string_view text)
{
    return "<div style=\"white-space:pre-wrap; margin-top:8px;\">" + PlainTextToHtml(text) + "</div>\n";
}

std::string Document(const std::string& styleSheet, const std::string& body)
{
    std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">";
    if (!styleSheet.empty())
        html += "<style>\n" + styleSheet + "</style>";
    html += "</head>\n<body>\n";
    html += body;
    html += "</body></html>\n";
    return html;
}

} // namespace

RenderedMessage RenderMessage(std::string_view rawBytes, const dbx::TextDamage& damage)
{
    MessageView view = ViewMessage(rawBytes, damage, false);
    RenderedMessage result;
    result.inlineParts = std::move(view.inlineParts);
    result.attachments = std::move(view.attachments);
    result.repairedHeaders = std::move(view.repairedHeaders);
    result.incomplete = view.incomplete;
    bool shortened = view.shortened;

    std::string body;
    std::string styleSheet;
    if (view.deleted)
        body += DeletedBanner();
    // Text that is not a message may still carry uuencoded files.
    if (view.isMessage || !result.attachments.empty())
        body += HeaderBlock(view.headers, result.attachments);
    bool first = true;
    for (const BodySection& section : view.bodies) {
        if (!first)
            body += "<hr>\n";
        first = false;
        if (section.isHtml) {
            SanitizedHtml clean = SanitizeHtml(view.deleted ? MoveGapsOutOfMarkup(section.text) : section.text);
            styleSheet += clean.styleSheet;
            body += "<div style=\"margin-top:8px;\">\n" + clean.body + "\n</div>\n";
            shortened = shortened || clean.cut;
        } else {
            body += PlainBody(section.text);
        }
        shortened = shortened || section.cut;
    }
    if (shortened)
        body += Note("This message is too long to show in full; the preview ends here.");
    else if (result.incomplete)
        body += Note("This message is incomplete: the rest of it was not found.");
    if (view.deleted)
        body = GapsToHtml(body);
    result.html = Document(styleSheet, BreakLongWords(body));
    return result;
}

const Part* FindInlinePart(const RenderedMessage& message, std::string_view url)
{
    if (url.size() >= 4 && (url[0] | 0x20) == 'c' && (url[1] | 0x20) == 'i' && (url[2] | 0x20) == 'd'
        && url[3] == ':')
        url.remove_prefix(4);
    if (url.size() >= 2 && url.front() == '<' && url.back() == '>')
        url = url.substr(1, url.size() - 2);
    if (auto it = message.inlineParts.find(std::string(url)); it != message.inlineParts.end())
        return &it->second;
    // References are URLs, so an id may come %-encoded.
    std::string decoded;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && std::isxdigit(static_cast<unsigned char>(url[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(url[i + 2]))) {
            decoded += static_cast<char>(std::stoi(std::string(url.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            decoded += url[i];
        }
    }
    if (auto it = message.inlineParts.find(decoded); it != message.inlineParts.end())
        return &it->second;
    return nullptr;
}

} // namespace render
