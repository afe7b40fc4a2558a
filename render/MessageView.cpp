#include "render/MessageView.h"

#include "render/AttachmentFinder.h"
#include "render/GapRepair.h"
#include "render/Gaps.h"
#include "render/Limits.h"
#include "render/ParsedMessage.h"
#include "render/TextDecode.h"

#include <gmime/gmime.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace render {
namespace {

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
    const ParsedMessage parsed(rawBytes, damage);
    MessageView view;
    view.deleted = parsed.Deleted();
    view.shortened = parsed.Shortened();
    view.incomplete = parsed.Incomplete();
    view.repairedHeaders = parsed.Repair().repaired;
    if (parsed.Message() == nullptr) {
        // Not a message at all: show whatever text it holds.
        view.isMessage = false;
        BodySection body;
        body.text = ToDisplayUtf8(parsed.Text().substr(0, limits::kMaxTextBytes));
        if (view.deleted)
            body.text = MarkGaps(body.text);
        body.cut = parsed.Text().size() > limits::kMaxTextBytes;
        view.bodies.push_back(std::move(body));
        view.attachments = FindAttachmentsIn(parsed, nullptr, true);
        return view;
    }
    MimeWalker walker({view.deleted, preferPlain});
    walker.Walk(g_mime_message_get_mime_part(parsed.Message()));
    view.inlineParts = std::move(walker.InlineParts());
    view.bodies = walker.Bodies();
    view.attachments = FindAttachmentsIn(parsed, nullptr, true);
    view.headers = HeaderRows(parsed.Message(), parsed.Repair(), view.deleted);
    return view;
}

} // namespace render
