#include "render/RenderMessage.h"

#include "render/HtmlSanitizer.h"
#include "render/Limits.h"
#include "render/MimeWalker.h"
#include "render/ParseBudget.h"
#include "render/TextDecode.h"
#include "render/TextToHtml.h"

#include "render/GMimeLibrary.h"

#include <gmime/gmime.h>

#include <cctype>
#include <cstdio>

namespace render {
namespace {

// Owns a GObject reference.
template <typename T>
struct GRef {
    T* p = nullptr;
    GRef() = default;
    explicit GRef(T* object) : p(object) {}
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;
    ~GRef()
    {
        if (p != nullptr)
            g_object_unref(p);
    }
};

void OnParserWarning(gint64, GMimeParserWarning code, const gchar*, gpointer incomplete)
{
    if (code == GMIME_WARN_TRUNCATED_MESSAGE)
        *static_cast<bool*>(incomplete) = true;
}

// Parses with GMime; nullptr when the bytes are not a message at all.
GMimeMessage* Parse(std::string_view bytes, bool& incomplete)
{
    GMimeParserOptions* options = g_mime_parser_options_new();
    // Raw 8-bit header text follows the program's text rule.
    const char* fallback[] = {"UTF-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(options, fallback);
    g_mime_parser_options_set_warning_callback(options, OnParserWarning, &incomplete);
    GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.p));
    GMimeMessage* message = g_mime_parser_construct_message(parser.p, options);
    g_mime_parser_options_free(options);
    return message;
}

// A header value made fit for one line of the header block: line breaks
// become spaces, and a value longer than the limit is cut (at a character
// boundary) with an ellipsis.
std::string OneLine(std::string text)
{
    if (text.size() > limits::kMaxHeaderBytes) {
        std::size_t cut = limits::kMaxHeaderBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
        text += "\u2026";
    }
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    return text;
}

std::string AddressHeader(GMimeMessage* message, GMimeAddressType type, const char* name)
{
    if (InternetAddressList* list = g_mime_message_get_addresses(message, type)) {
        if (internet_address_list_length(list) > 0) {
            char* text = internet_address_list_to_string(list, nullptr, FALSE);
            std::string out = text != nullptr ? text : "";
            g_free(text);
            if (!out.empty())
                return out;
        }
    }
    // Not an address list GMime understands: show the text as it is.
    const char* value = g_mime_object_get_header(GMIME_OBJECT(message), name);
    return value != nullptr ? value : "";
}

struct HeaderRow {
    std::string label;
    std::string value;  // UTF-8
};

std::vector<HeaderRow> HeaderRows(GMimeMessage* message)
{
    std::vector<HeaderRow> rows;
    GMimeObject* object = GMIME_OBJECT(message);
    // A header without a name is what remains of a line whose start was
    // overwritten (a deleted message's first line "From: " reads "    : ").
    GMimeHeaderList* list = g_mime_object_get_header_list(object);
    const int count = list != nullptr ? g_mime_header_list_get_count(list) : 0;
    for (int i = 0; i < count && i < 1000; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
        const char* name = g_mime_header_get_name(header);
        bool blank = true;
        for (const char* p = name; p != nullptr && *p != '\0' && blank; ++p)
            blank = std::isspace(static_cast<unsigned char>(*p)) != 0;
        if (blank) {
            const char* value = g_mime_header_get_value(header);
            rows.push_back({"", value != nullptr ? value : ""});
        }
    }
    const auto add = [&](const char* label, std::string value) {
        if (!value.empty())
            rows.push_back({label, std::move(value)});
    };
    if (g_mime_object_get_header(object, "From") != nullptr)
        add("From:", AddressHeader(message, GMIME_ADDRESS_TYPE_FROM, "From"));
    if (g_mime_object_get_header(object, "To") != nullptr)
        add("To:", AddressHeader(message, GMIME_ADDRESS_TYPE_TO, "To"));
    if (g_mime_object_get_header(object, "Cc") != nullptr)
        add("Cc:", AddressHeader(message, GMIME_ADDRESS_TYPE_CC, "Cc"));
    const char* subject = g_mime_message_get_subject(message);
    add("Subject:", subject != nullptr ? subject : "");
    const char* date = g_mime_object_get_header(object, "Date");
    add("Date:", date != nullptr ? date : "");
    for (HeaderRow& row : rows)
        row.value = OneLine(ToDisplayUtf8(row.value));
    return rows;
}

std::string FormatSize(std::uint64_t size)
{
    char text[32];
    if (size < 1024)
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(size));
    else if (size < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(size) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(size) / (1024.0 * 1024.0));
    return text;
}

constexpr const char* kLabelCell =
    "<td valign=\"top\" style=\"white-space:nowrap; font-weight:bold; color:#1f3b5c; padding-right:10px;\">";
constexpr const char* kValueCell = "<td width=\"100%\" style=\"color:#1b1f24;\">";

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
        html += EscapeHtml(row.label);
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
            const Attachment& a = attachments[i];
            if (i > 0)
                html += "<br>";
            html += "<b>";
            html += EscapeHtml(a.name.empty() ? std::string("(no name)") : OneLine(a.name));
            html += "</b> <span style=\"color:#52606d;\">(";
            html += EscapeHtml(a.mimeType);
            html += ", ";
            html += FormatSize(a.size);
            html += ")</span>";
        }
        html += "</td></tr>\n";
    }
    html += "</table>\n";
    return html;
}

std::string Note(const char* text)
{
    return std::string("<p style=\"color:#8a4b08; background-color:#fff4e0;\">") + text + "</p>\n";
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

RenderedMessage RenderMessage(std::string_view rawBytes)
{
    InitGMime();
    RenderedMessage result;
    bool shortened = rawBytes.size() > limits::kMaxInputBytes;
    std::string_view bytes = rawBytes.substr(0, limits::kMaxInputBytes);
    const std::size_t parsable = MimeWorkPrefix(bytes);
    shortened = shortened || parsable < bytes.size();
    bytes = bytes.substr(0, parsable);

    GRef<GMimeMessage> message(Parse(bytes, result.incomplete));
    if (message.p == nullptr) {
        // Headers cut off before the blank line that ends them still are
        // headers: give the parser that line.
        std::string completed(bytes);
        completed += "\n\n";
        message.p = Parse(completed, result.incomplete);
        result.incomplete = result.incomplete || message.p != nullptr;
    }

    std::string body;
    std::string styleSheet;
    if (message.p == nullptr) {
        // Not a message at all: show whatever text it holds.
        const std::string text = ToDisplayUtf8(bytes.substr(0, limits::kMaxTextBytes));
        body = PlainBody(text);
        shortened = shortened || bytes.size() > limits::kMaxTextBytes;
    } else {
        MimeWalker walker;
        walker.Walk(g_mime_message_get_mime_part(message.p));
        result.inlineParts = std::move(walker.InlineParts());
        result.attachments = std::move(walker.Attachments());
        body += HeaderBlock(HeaderRows(message.p), result.attachments);
        bool first = true;
        for (const BodySection& section : walker.Bodies()) {
            if (!first)
                body += "<hr>\n";
            first = false;
            if (section.isHtml) {
                SanitizedHtml clean = SanitizeHtml(section.text);
                styleSheet += clean.styleSheet;
                body += "<div style=\"margin-top:8px;\">\n" + clean.body + "\n</div>\n";
                shortened = shortened || clean.cut;
            } else {
                body += PlainBody(section.text);
            }
            shortened = shortened || section.cut;
        }
    }
    if (shortened)
        body += Note("This message is too long to show in full; the preview ends here.");
    else if (result.incomplete)
        body += Note("This message is incomplete: the rest of it was not found.");
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
