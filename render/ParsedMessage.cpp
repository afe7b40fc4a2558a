#include "render/ParsedMessage.h"

#include "mailtext/HeaderText.h"
#include "render/GMimeLibrary.h"
#include "render/Gaps.h"
#include "render/Limits.h"
#include "render/ParseBudget.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <iterator>
#include <cstring>

namespace render {
namespace {

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
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, options);
    g_object_unref(parser);
    g_object_unref(stream);
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

} // namespace

ParsedMessage::ParsedMessage(std::string_view stored, const dbx::TextDamage& damage)
    : stored_(stored), damage_(damage)
{
    InitGMime();
    deleted_ = !damage.Empty();
    shortened_ = stored.size() > limits::kMaxInputBytes;
    std::string_view bytes = stored.substr(0, limits::kMaxInputBytes);
    if (deleted_) {
        // The repair walks the structure as the parser does: the same bound.
        const std::size_t parsable = MimeWorkPrefix(bytes);
        shortened_ = shortened_ || parsable < bytes.size();
        repair_ = RepairGaps(WithGaps(bytes.substr(0, parsable), damage));
        bytes = repair_.text;
    }
    const std::size_t parsable = MimeWorkPrefix(bytes);
    shortened_ = shortened_ || parsable < bytes.size();
    text_ = bytes.substr(0, parsable);
    bool cut = false;
    parsed_ = BoundForParser(text_, bounded_, cut);
    shortened_ = shortened_ || cut;

    message_ = Parse(parsed_, incomplete_);
    if (message_ == nullptr) {
        // Headers cut off before the blank line that ends them still are
        // headers: give the parser that line.
        std::string completed(parsed_);
        completed += "\n\n";
        message_ = Parse(completed, incomplete_);
        incomplete_ = incomplete_ || message_ != nullptr;
    }
    if (message_ != nullptr) {
        std::size_t objects = 0;
        FollowByteOrderRule(GMIME_OBJECT(message_), 0, objects);
    }
}

ParsedMessage::~ParsedMessage()
{
    if (message_ != nullptr)
        g_object_unref(message_);
}

ParsedMessage::Origin ParsedMessage::OriginAt(std::size_t offset) const
{
    if (offset >= parsed_.size())
        return {};
    const std::size_t rest = parsed_.size() - offset;
    // When the parser's bounds left something out, its offsets are not the
    // text's: nothing is known to be stored bytes.
    if (parsed_.data() != text_.data())
        return {false, 0, rest};
    if (!deleted_)
        return {true, offset, rest};
    const auto& stretches = repair_.verbatim;
    const auto next = std::upper_bound(stretches.begin(), stretches.end(), offset,
                                       [](std::size_t at, const GapRepair::Verbatim& v) { return at < v.text; });
    if (next != stretches.begin()) {
        const GapRepair::Verbatim& v = *std::prev(next);
        if (offset < v.text + v.length)
            return {true, v.input + (offset - v.text), std::min(rest, v.text + v.length - offset)};
    }
    const std::size_t until = next == stretches.end() ? parsed_.size() : std::min(next->text, parsed_.size());
    return {false, 0, until - offset};
}

} // namespace render
