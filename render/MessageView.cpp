#include "render/MessageView.h"

#include "mailtext/HeaderText.h"
#include "render/GMimeLibrary.h"
#include "render/GapRepair.h"
#include "render/Gaps.h"
#include "render/Limits.h"
#include "render/ParseBudget.h"
#include "render/TextDecode.h"

#include <gmime/gmime.h>

#include <cctype>
#include <cstdio>
#include <cstring>

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

// The parser converts through the system's iconv, which reads UTF-16 and
// UTF-32 without a byte-order mark in the machine's order: encoded words in
// them become UTF-8 first, read by the program's own rule, in the headers of
// the message and of every part and attached message that is looked at.
void FollowByteOrderRule(GMimeObject* object, int depth, std::size_t& objects)
{
    if (object == nullptr || depth > limits::kMaxMimeDepth || ++objects > limits::kMaxParts)
        return;
    if (GMimeHeaderList* list = g_mime_object_get_header_list(object)) {
        std::string rewritten;
        for (int i = 0; i < g_mime_header_list_get_count(list); ++i) {
            GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
            const char* raw = g_mime_header_get_raw_value(header);
            if (raw != nullptr && std::strstr(raw, "=?") != nullptr && mailtext::UnorderedWideWordsAsUtf8(raw, rewritten))
                g_mime_header_set_raw_value(header, rewritten.c_str());
        }
    }
    if (GMIME_IS_MESSAGE(object)) {
        FollowByteOrderRule(g_mime_message_get_mime_part(GMIME_MESSAGE(object)), depth + 1, objects);
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        FollowByteOrderRule(message != nullptr ? GMIME_OBJECT(message) : nullptr, depth + 1, objects);
    } else if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            FollowByteOrderRule(g_mime_multipart_get_part(multipart, i), depth + 1, objects);
    }
}

bool HasGap(std::string_view text)
{
    return text.find(kGapByte) != std::string_view::npos;
}

std::string AddressHeader(GMimeMessage* message, GMimeAddressType type, const char* name)
{
    const char* value = g_mime_object_get_header(GMIME_OBJECT(message), name);
    // A gap in an address would make the parser drop it: such a value
    // shows as it stands.
    if (value != nullptr && HasGap(value))
        return value;
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
    return value != nullptr ? value : "";
}

// The label of a standard header, with the letters that were restored
// marked when the damage had taken them.
HeaderRow Row(const char* label, std::string value, const GapRepair& repair)
{
    HeaderRow row{label, {}, std::move(value)};
    const std::string_view name = std::string_view(row.label).substr(0, row.label.size() - 1);
    for (const RepairedName& repaired : repair.messageNames) {
        if (repaired.occurrence == 0 && repaired.name.size() == name.size()
            && g_ascii_strncasecmp(repaired.name.c_str(), name.data(), name.size()) == 0)
            row.guessed = repaired.mask + ' ';
    }
    return row;
}

std::vector<HeaderRow> HeaderRows(GMimeMessage* message, const GapRepair& repair, bool gaps)
{
    std::vector<HeaderRow> rows;
    GMimeObject* object = GMIME_OBJECT(message);
    // A header without a name is what remains of a line whose start was
    // overwritten (a deleted message's first line "From: " reads "    : ");
    // with the damage known, it has a stand-in name instead.
    GMimeHeaderList* list = g_mime_object_get_header_list(object);
    const int count = list != nullptr ? g_mime_header_list_get_count(list) : 0;
    const std::size_t untoldLength = std::strlen(kUntoldName);
    for (int i = 0; i < count && i < 1000; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
        const char* name = g_mime_header_get_name(header);
        const char* value = g_mime_header_get_value(header);
        bool blank = true;
        for (const char* p = name; p != nullptr && *p != '\0' && blank; ++p)
            blank = std::isspace(static_cast<unsigned char>(*p)) != 0;
        if (blank) {
            rows.push_back({"", {}, value != nullptr ? value : ""});
        } else if (std::strncmp(name, kUntoldName, untoldLength) == 0) {
            const std::size_t index = std::strtoul(name + untoldLength, nullptr, 10);
            if (index < repair.untoldNames.size())
                rows.push_back({MarkGaps(ToDisplayUtf8(repair.untoldNames[index])) + ":", {}, value ? value : ""});
        }
    }
    const auto add = [&](const char* label, std::string value) {
        if (!value.empty())
            rows.push_back(Row(label, std::move(value), repair));
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
    for (HeaderRow& row : rows) {
        row.value = OneLine(ToDisplayUtf8(row.value));
        if (gaps)
            row.value = MarkGaps(row.value);
    }
    return rows;
}

} // namespace

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

MessageView ViewMessage(std::string_view rawBytes, const dbx::TextDamage& damage, bool preferPlain)
{
    InitGMime();
    MessageView view;
    view.deleted = !damage.Empty();
    view.shortened = rawBytes.size() > limits::kMaxInputBytes;
    std::string_view bytes = rawBytes.substr(0, limits::kMaxInputBytes);
    GapRepair repair;
    if (view.deleted) {
        // The repair walks the structure as the parser does: the same bound.
        const std::size_t parsable = MimeWorkPrefix(bytes);
        view.shortened = view.shortened || parsable < bytes.size();
        repair = RepairGaps(WithGaps(bytes.substr(0, parsable), damage));
        bytes = repair.text;
        view.repairedHeaders = repair.repaired;
    }
    const std::size_t parsable = MimeWorkPrefix(bytes);
    view.shortened = view.shortened || parsable < bytes.size();
    const std::string_view text = bytes.substr(0, parsable);
    std::string bounded;
    bool cut = false;
    bytes = BoundForParser(text, bounded, cut);
    view.shortened = view.shortened || cut;

    GRef<GMimeMessage> message(Parse(bytes, view.incomplete));
    if (message.p == nullptr) {
        // Headers cut off before the blank line that ends them still are
        // headers: give the parser that line.
        std::string completed(bytes);
        completed += "\n\n";
        message.p = Parse(completed, view.incomplete);
        view.incomplete = view.incomplete || message.p != nullptr;
    }
    if (message.p == nullptr) {
        // Not a message at all: show whatever text it holds.
        view.isMessage = false;
        BodySection body;
        body.text = ToDisplayUtf8(text.substr(0, limits::kMaxTextBytes));
        if (view.deleted)
            body.text = MarkGaps(body.text);
        body.cut = text.size() > limits::kMaxTextBytes;
        view.bodies.push_back(std::move(body));
        return view;
    }
    std::size_t objects = 0;
    FollowByteOrderRule(GMIME_OBJECT(message.p), 0, objects);
    MimeWalker walker({view.deleted, preferPlain});
    walker.Walk(g_mime_message_get_mime_part(message.p));
    view.inlineParts = std::move(walker.InlineParts());
    view.attachments = std::move(walker.Attachments());
    view.bodies = walker.Bodies();
    view.headers = HeaderRows(message.p, repair, view.deleted);
    return view;
}

} // namespace render
