#include "render/AttachmentFinder.h"

#include "dbx/AttachmentNaming.h"
#include "mailtext/MimeParameters.h"
#include "render/GMimeLibrary.h"
#include "render/GapBase64.h"
#include "render/GapDecode.h"
#include "render/Gaps.h"
#include "render/Limits.h"
#include "render/MimeStructure.h"
#include "render/ParsedMessage.h"
#include "render/TextDecode.h"
#include "render/Uuencode.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace render {
namespace {

// A GLib string handed to us, freed on scope exit.
struct GFreeOnExit {
    char* p;
    ~GFreeOnExit() { g_free(p); }
};

bool IsType(GMimeObject* object, const char* type, const char* subtype)
{
    GMimeContentType* ct = g_mime_object_get_content_type(object);
    return ct == nullptr ? std::strcmp(type, "text") == 0 && std::strcmp(subtype, "plain") == 0
                         : g_mime_content_type_is_type(ct, type, subtype) != FALSE;
}

std::string MimeType(GMimeObject* object)
{
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (type == nullptr)
        return "text/plain";
    GFreeOnExit s{g_mime_content_type_get_mime_type(type)};
    if (s.p == nullptr)
        return "application/octet-stream";
    std::string text = dbx::ReplaceControls(ToDisplayUtf8(s.p), '_');
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

// The raw value of the object's last header of that name ("" if none):
// the parser goes by the last one too.
std::string RawHeader(GMimeObject* object, const char* name)
{
    GMimeHeaderList* list = g_mime_object_get_header_list(object);
    const int count = list != nullptr ? g_mime_header_list_get_count(list) : 0;
    for (int i = count - 1; i >= 0; --i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
        const char* headerName = g_mime_header_get_name(header);
        if (headerName != nullptr && g_ascii_strcasecmp(headerName, name) == 0) {
            const char* raw = g_mime_header_get_raw_value(header);
            return raw != nullptr ? raw : "";
        }
    }
    return {};
}

// The file name the part's headers give, decoded: the disposition's
// "filename", else the type's "name".
std::string GivenName(GMimeObject* object)
{
    std::string name = mailtext::ParameterText(RawHeader(object, "Content-Disposition"), "filename");
    if (name.empty())
        name = mailtext::ParameterText(RawHeader(object, "Content-Type"), "name");
    return name;
}

bool IsAttachmentDisposition(GMimeObject* object)
{
    const char* disposition = g_mime_object_get_disposition(object);
    return disposition != nullptr && g_ascii_strcasecmp(disposition, "attachment") == 0;
}

bool HasContentId(GMimeObject* object)
{
    const char* id = g_mime_object_get_content_id(object);
    return id != nullptr && *id != '\0';
}

// Where the part's content stands in what the parser was given.
bool ContentRange(GMimePart* part, std::size_t& begin, std::size_t& end)
{
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    GMimeStream* stream = content != nullptr ? g_mime_data_wrapper_get_stream(content) : nullptr;
    if (stream == nullptr || stream->bound_start < 0)
        return false;
    begin = static_cast<std::size_t>(stream->bound_start);
    const gint64 length = g_mime_stream_length(stream);
    end = begin + static_cast<std::size_t>(std::max<gint64>(length, 0));
    return true;
}

// The part's content, decoded or as it stands in the message (which the
// renderer's bounds keep below limits::kMaxInputBytes).
std::string ContentBytes(GMimePart* part, bool decoded)
{
    bool cut = false;
    return PartBytes(part, decoded, limits::kMaxInputBytes * 2, cut);
}

// The last part, in message order, of the tree under `object` that has
// content of its own; nullptr when it has none.
GMimePart* LastPart(GMimeObject* object, int depth)
{
    while (object != nullptr && depth++ <= limits::kMaxMimeDepth) {
        if (GMIME_IS_PART(object))
            return GMIME_PART(object);
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            const int count = g_mime_multipart_get_count(multipart);
            object = count > 0 ? g_mime_multipart_get_part(multipart, count - 1) : nullptr;
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            object = message != nullptr ? g_mime_message_get_mime_part(message) : nullptr;
        } else {
            return nullptr;
        }
    }
    return nullptr;
}

class Finder {
public:
    Finder(const ParsedMessage& parsed, const AttachmentHandler* each, bool complete)
        : parsed_(parsed), each_(each != nullptr && *each ? each : nullptr), gaps_(parsed.Deleted()),
          cutShort_(parsed.Shortened() || parsed.Incomplete() || !complete)
    {
    }

    std::vector<Attachment> Run()
    {
        if (GMimeMessage* message = parsed_.Message())
            Visit(g_mime_message_get_mime_part(message), 0, 0, {}, false);
        else
            AddTextUuencoded();  // not MIME at all: its text
        return std::move(found_);
    }

private:
    void Visit(GMimeObject* object, int depth, int messages, std::vector<std::string> open, bool shownInPlace);
    void VisitLeaf(GMimePart* part, bool shownInPlace);
    void AddMessage(GMimeMessagePart* part, int messages, const std::vector<std::string>& open);
    void AddUuencoded(std::string_view text, std::string_view charset);
    void AddTextUuencoded();
    void Add(Attachment attachment, const AttachmentContent& content);

    AttachmentContent Decode(GMimePart* part) const;
    AttachmentContent StoredRange(std::size_t begin, std::size_t end) const;
    std::size_t MessageEnd(std::size_t from, const std::vector<std::string>& open);
    bool ReachesTheEnd(std::size_t end) const
    {
        return cutShort_ && parsed_.Parsed().find_first_not_of("\r\n", end) == std::string_view::npos;
    }
    bool Budget() { return ++objects_ <= limits::kMaxParts; }

    const ParsedMessage& parsed_;
    const AttachmentHandler* each_;  // nullptr when no content is wanted
    bool gaps_;
    bool cutShort_;
    std::vector<Attachment> found_;
    std::size_t objects_ = 0;
    std::size_t scanned_ = 0;  // bytes looked at for the ends of attached messages
};

void Finder::Visit(GMimeObject* object, int depth, int messages, std::vector<std::string> open, bool shownInPlace)
{
    if (object == nullptr || depth > limits::kMaxMimeDepth || !Budget())
        return;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        if (const char* boundary = g_mime_multipart_get_boundary(multipart))
            open.emplace_back(boundary);
        const int count = g_mime_multipart_get_count(multipart);
        // Of a multipart/related, the parts other than its root (the one
        // "start" names, else the first) that have a Content-ID are there to
        // be shown by the root.
        int root = 0;
        const bool related = IsType(object, "multipart", "related");
        if (const char* start = related ? g_mime_object_get_content_type_parameter(object, "start") : nullptr) {
            std::string wanted = start;
            if (wanted.size() >= 2 && wanted.front() == '<' && wanted.back() == '>')
                wanted = wanted.substr(1, wanted.size() - 2);
            for (int i = 0; i < count; ++i) {
                const char* id = g_mime_object_get_content_id(g_mime_multipart_get_part(multipart, i));
                if (id != nullptr && wanted == id)
                    root = i;
            }
        }
        for (int i = 0; i < count; ++i) {
            GMimeObject* child = g_mime_multipart_get_part(multipart, i);
            Visit(child, depth + 1, messages, open, related && i != root && HasContentId(child));
        }
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessagePart* part = GMIME_MESSAGE_PART(object);
        AddMessage(part, messages, open);
        // And the files inside it, in their turn.
        if (GMimeMessage* message = g_mime_message_part_get_message(part))
            Visit(g_mime_message_get_mime_part(message), depth + 1, messages + 1, std::move(open), false);
    } else if (GMIME_IS_PART(object)) {
        VisitLeaf(GMIME_PART(object), shownInPlace);
    }
}

void Finder::VisitLeaf(GMimePart* part, bool shownInPlace)
{
    GMimeObject* object = GMIME_OBJECT(part);
    const std::string name = GivenName(object);
    const bool text = IsType(object, "text", "plain") || IsType(object, "text", "html");
    // A file: named, or marked as one, or any content that is neither text
    // nor a picture the HTML shows in place.
    if (name.empty() && !IsAttachmentDisposition(object) && (text || shownInPlace)) {
        if (IsType(object, "text", "plain")) {
            const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
            AttachmentContent body = Decode(part);
            // The body's text with its lost bytes as gaps again, for reading.
            std::replace(body.bytes.begin(), body.bytes.end(), kGapByte, '\x02');
            for (const auto& range : body.lost)
                std::fill_n(body.bytes.begin() + static_cast<std::ptrdiff_t>(range.offset), range.length, kGapByte);
            AddUuencoded(body.bytes, charset != nullptr ? charset : "");
        }
        return;
    }
    Attachment attachment;
    attachment.name = name;
    attachment.mimeType = MimeType(object);
    attachment.fileName = dbx::CleanAttachmentName(name, attachment.mimeType);
    std::size_t begin = 0, end = 0;
    attachment.cut = ContentRange(part, begin, end) && ReachesTheEnd(end);
    Add(std::move(attachment), Decode(part));
}

void Finder::AddMessage(GMimeMessagePart* part, int messages, const std::vector<std::string>& open)
{
    GMimeObject* object = GMIME_OBJECT(part);
    GMimeMessage* message = g_mime_message_part_get_message(part);
    // An attached message holds every file inside it: a deep chain of them
    // would have the same bytes saved many times over.
    if (message == nullptr || messages >= limits::kMaxAttachedMessageDepth)
        return;
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    if (headers == nullptr || g_mime_header_list_get_count(headers) == 0)
        return;
    const gint64 first = g_mime_header_get_offset(g_mime_header_list_get_header_at(headers, 0));
    if (first < 0 || static_cast<std::size_t>(first) >= parsed_.Parsed().size())
        return;
    const auto begin = static_cast<std::size_t>(first);
    std::size_t from = begin;
    std::size_t lastBegin = 0, lastEnd = 0;
    if (GMimePart* last = LastPart(g_mime_message_get_mime_part(message), 0); last && ContentRange(last, lastBegin, lastEnd))
        from = std::max(from, lastEnd);
    const std::size_t end = MessageEnd(from, open);

    Attachment attachment;
    attachment.name = GivenName(object);
    attachment.mimeType = MimeType(object);
    std::string fileName = attachment.name;
    if (fileName.empty()) {
        const char* subject = g_mime_message_get_subject(message);
        attachment.name = subject != nullptr ? ToDisplayUtf8(subject) : std::string();
        fileName = attachment.name;
    }
    attachment.fileName = dbx::CleanAttachmentName(fileName, "message/rfc822");
    if (dbx::SplitEnding(attachment.fileName).ending.empty())
        attachment.fileName += ".eml";
    attachment.cut = ReachesTheEnd(end);
    // Its bytes are the stored ones: only for the content, or to count
    // what was lost, are they copied.
    if (each_ != nullptr || gaps_) {
        Add(std::move(attachment), StoredRange(begin, end));
        return;
    }
    attachment.size = end - begin;
    found_.push_back(std::move(attachment));
}

void Finder::AddUuencoded(std::string_view text, std::string_view charset)
{
    if (objects_ >= limits::kMaxParts)
        return;
    for (UuencodedFile& file : FindUuencoded(text, limits::kMaxParts - objects_)) {
        ++objects_;
        Attachment attachment;
        attachment.name = DecodeText(file.name, charset);
        attachment.fileName = dbx::CleanAttachmentName(attachment.name, "application/octet-stream");
        attachment.mimeType = dbx::TypeForName(attachment.fileName);
        attachment.cut = !file.ended;
        Add(std::move(attachment), file.content);
    }
}

void Finder::AddTextUuencoded()
{
    const std::string_view text = parsed_.Text();
    // Only a deleted e-mail's text marks lost bytes; in any other the byte
    // that would mark one is the sender's, and no letter of a begin or data
    // line.
    if (gaps_ || !HasGap(text)) {
        AddUuencoded(text, {});
        return;
    }
    AddUuencoded(WithGaps(text, {}), {});
}

void Finder::Add(Attachment attachment, const AttachmentContent& content)
{
    attachment.size = content.bytes.size();
    attachment.lostBytes = content.LostBytes();
    found_.push_back(std::move(attachment));
    if (each_ != nullptr)
        (*each_)(found_.size() - 1, found_.back(), content);
}

AttachmentContent Finder::Decode(GMimePart* part) const
{
    AttachmentContent out;
    if (!gaps_) {
        out.bytes = ContentBytes(part, true);
        return out;
    }
    const GMimeContentEncoding encoding = g_mime_part_get_content_encoding(part);
    std::size_t begin = 0, end = 0;
    switch (encoding) {
    case GMIME_CONTENT_ENCODING_BASE64:
    case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE:
    case GMIME_CONTENT_ENCODING_UUENCODE: {
        const std::string raw = ContentBytes(part, false);
        if (!HasGap(raw))
            break;
        if (encoding == GMIME_CONTENT_ENCODING_BASE64)
            return DecodeBase64Lost(raw);
        if (encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE)
            return DecodeQuotedPrintableLost(raw);
        std::vector<UuencodedFile> files = FindUuencoded(raw, 1);
        return files.empty() ? GapsAsLost(raw) : std::move(files.front().content);
    }
    case GMIME_CONTENT_ENCODING_DEFAULT: {
        // Base64 whose encoding header the damage took.
        const std::string raw = ContentBytes(part, false);
        if (LooksLikeBase64(raw))
            return DecodeBase64Lost(raw);
        [[fallthrough]];
    }
    default:
        // The bytes as they stand: from the stored message, where a byte the
        // sender wrote as 0x01 is itself, and lost bytes are zero.
        if (ContentRange(part, begin, end))
            return StoredRange(begin, end);
        return GapsAsLost(ContentBytes(part, false));
    }
    out.bytes = ContentBytes(part, true);
    return out;
}

AttachmentContent Finder::StoredRange(std::size_t begin, std::size_t end) const
{
    AttachmentContent out;
    const std::string_view parsed = parsed_.Parsed();
    const std::string_view stored = parsed_.Stored();
    const auto& lost = parsed_.Damage().overwritten;
    end = std::min(end, parsed.size());
    for (std::size_t at = begin; at < end;) {
        const ParsedMessage::Origin origin = parsed_.OriginAt(at);
        const std::size_t n = std::min(origin.length, end - at);
        if (n == 0)
            break;
        if (!origin.stored) {
            const AttachmentContent piece = GapsAsLost(parsed.substr(at, n));
            for (const auto& range : piece.lost)
                out.lost.push_back({out.bytes.size() + range.offset, range.length});
            out.bytes += piece.bytes;
        } else {
            // The stored bytes, but those the deletion overwrote are lost.
            std::size_t from = origin.storedOffset;
            const std::size_t to = from + n;
            auto range = std::lower_bound(lost.begin(), lost.end(), from,
                                          [](const dbx::TextDamage::Range& r, std::size_t x) { return r.offset + r.length <= x; });
            for (; from < to; ++range) {
                const std::size_t lostFrom = range == lost.end() ? to : std::clamp(range->offset, from, to);
                const std::size_t lostTo = range == lost.end() ? to : std::clamp(range->offset + range->length, from, to);
                out.Append(stored.substr(from, lostFrom - from));
                out.AppendLost(lostTo - lostFrom);
                from = lostTo;
                if (range == lost.end())
                    break;
            }
        }
        at += n;
    }
    // Pieces appended side by side may have split one lost stretch in two.
    std::vector<dbx::TextDamage::Range> merged;
    for (const auto& range : out.lost) {
        if (!merged.empty() && merged.back().offset + merged.back().length == range.offset)
            merged.back().length += range.length;
        else
            merged.push_back(range);
    }
    out.lost = std::move(merged);
    return out;
}

std::size_t Finder::MessageEnd(std::size_t from, const std::vector<std::string>& open)
{
    const std::string_view parsed = parsed_.Parsed();
    if (open.empty())
        return parsed.size();
    // The attached message ends where the line break before the next
    // boundary line of a multipart around it begins. Looked for from its
    // last part's end on; a hostile shape may make this long, so the whole
    // message's bytes are looked at twice at most.
    for (std::size_t at = parsed.find('\n', from); at != std::string_view::npos && at + 1 < parsed.size();
         at = parsed.find('\n', at + 1)) {
        const std::size_t lineEnd = std::min(parsed.find('\n', at + 1), parsed.size());
        scanned_ += lineEnd - at;
        if (scanned_ > 2 * parsed.size())
            return from;
        int level = 0;
        bool closing = false;
        if (MatchBoundary(parsed.substr(at + 1, lineEnd - at - 1), open, level, closing))
            return at > 0 && parsed[at - 1] == '\r' ? at - 1 : at;
    }
    return parsed.size();
}

} // namespace

std::vector<Attachment> FindAttachmentsIn(const ParsedMessage& parsed, const AttachmentHandler* each, bool complete)
{
    return Finder(parsed, each, complete).Run();
}

std::vector<Attachment> FindAttachments(std::string_view stored, const dbx::TextDamage& damage,
                                        const AttachmentHandler& each, bool complete)
{
    const ParsedMessage parsed(stored, damage);
    return FindAttachmentsIn(parsed, &each, complete);
}

} // namespace render
