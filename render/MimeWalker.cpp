#include "render/MimeWalker.h"

#include "render/GMimeLibrary.h"
#include "render/GapBase64.h"
#include "render/GapDecode.h"
#include "render/Gaps.h"
#include "render/Limits.h"
#include "render/TextDecode.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

namespace render {
namespace {

// A GLib string handed to us, freed on scope exit.
struct GFreeOnExit {
    char* p;
    ~GFreeOnExit() { g_free(p); }
};

std::string LowerCopy(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string MimeType(GMimeObject* object)
{
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (type == nullptr)
        return "text/plain";
    GFreeOnExit s{g_mime_content_type_get_mime_type(type)};
    return s.p != nullptr ? LowerCopy(ToDisplayUtf8(s.p)) : std::string("application/octet-stream");
}

bool IsType(GMimeObject* object, const char* type, const char* subtype)
{
    GMimeContentType* ct = g_mime_object_get_content_type(object);
    return ct == nullptr ? std::strcmp(type, "text") == 0 && std::strcmp(subtype, "plain") == 0
                         : g_mime_content_type_is_type(ct, type, subtype) != FALSE;
}

bool IsAttachmentDisposition(GMimeObject* object)
{
    const char* disposition = g_mime_object_get_disposition(object);
    return disposition != nullptr && g_ascii_strcasecmp(disposition, "attachment") == 0;
}

std::string ContentId(GMimeObject* object)
{
    const char* id = g_mime_object_get_content_id(object);
    return id != nullptr ? std::string(id) : std::string();
}

std::string DecodeQuotedPrintable(std::string_view raw, std::size_t cap, bool& cut)
{
    std::string out(raw.size(), '\0');
    int state = 0;
    guint32 save = 0;
    const std::size_t n = g_mime_encoding_quoted_decode_step(reinterpret_cast<const unsigned char*>(raw.data()),
                                                             raw.size(), reinterpret_cast<unsigned char*>(out.data()),
                                                             &state, &save);
    out.resize(n);
    cut = out.size() > cap;
    out.resize(std::min(out.size(), cap));
    return out;
}

bool HasContent(GMimePart* part)
{
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr)
        return false;
    GMimeStream* stream = g_mime_data_wrapper_get_stream(content);
    return stream != nullptr && g_mime_stream_length(stream) > 0;
}

// A charset named by a <meta> element near the start of an HTML text, when
// the part itself names none.
std::string SniffHtmlCharset(std::string_view html)
{
    std::string head = LowerCopy(std::string(html.substr(0, 4096)));
    const std::size_t at = head.find("charset=");
    if (at == std::string::npos)
        return {};
    std::size_t p = at + 8;
    while (p < head.size() && (head[p] == '"' || head[p] == '\'' || head[p] == ' '))
        ++p;
    std::string name;
    while (p < head.size() && name.size() < 40
           && (std::isalnum(static_cast<unsigned char>(head[p])) || std::strchr("-_.:", head[p]) != nullptr))
        name += head[p++];
    return name;
}

// How well an alternative shows: 2 = HTML, 1 = plain text, 0 = neither
// (or nothing in it, as when the message was cut before it). Looks only a
// few levels down, so that nested alternatives cannot multiply the work.
int AlternativeRank(GMimeObject* object, bool preferPlain, int levels = 3)
{
    if (levels == 0)
        return 0;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        if (count == 0)
            return 0;
        if (IsType(object, "multipart", "alternative")) {
            int best = 0;
            for (int i = 0; i < count && i < 8; ++i)
                best = std::max(best,
                                AlternativeRank(g_mime_multipart_get_part(multipart, i), preferPlain, levels - 1));
            return best;
        }
        return AlternativeRank(g_mime_multipart_get_part(multipart, 0), preferPlain, levels - 1);
    }
    if (!GMIME_IS_PART(object) || IsAttachmentDisposition(object) || !HasContent(GMIME_PART(object)))
        return 0;
    if (IsType(object, "text", "html"))
        return preferPlain ? 1 : 2;
    if (IsType(object, "text", "plain"))
        return preferPlain ? 2 : 1;
    return 0;
}

// The charset that the message's text parts name, when they all name the
// same one (US-ASCII aside); empty otherwise.
void CollectCharsets(GMimeObject* object, int depth, std::set<std::string>& names, std::size_t& parts)
{
    if (depth > limits::kMaxMimeDepth || ++parts > limits::kMaxParts)
        return;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            CollectCharsets(g_mime_multipart_get_part(multipart, i), depth + 1, names, parts);
        return;
    }
    if (!IsType(object, "text", "*"))
        return;
    if (const char* charset = g_mime_object_get_content_type_parameter(object, "charset")) {
        const std::string name = LowerCopy(charset);
        if (name != "us-ascii" && !HasGap(name))
            names.insert(name);
    }
}

std::string MessageCharset(GMimeObject* root)
{
    std::set<std::string> names;
    std::size_t parts = 0;
    CollectCharsets(root, 0, names, parts);
    return names.size() == 1 ? *names.begin() : std::string();
}

} // namespace

void MimeWalker::Walk(GMimeObject* root)
{
    if (root == nullptr)
        return;
    if (options_.gaps)
        messageCharset_ = MessageCharset(root);
    Visit(root, 0);
}

std::string MimeWalker::Content(GMimePart* part, std::size_t cap, bool& cut, bool* damaged) const
{
    if (!options_.gaps)
        return PartBytes(part, true, cap, cut);
    if (damaged != nullptr)
        *damaged = HasGap(PartBytes(part, false, limits::kMaxInputBytes, cut));
    const GMimeContentEncoding encoding = g_mime_part_get_content_encoding(part);
    const bool base64 = encoding == GMIME_CONTENT_ENCODING_BASE64;
    const bool quoted = encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
    if (base64 || quoted || encoding == GMIME_CONTENT_ENCODING_DEFAULT) {
        const std::string raw = PartBytes(part, false, limits::kMaxInputBytes, cut);
        if (quoted && HasGap(raw))
            return DecodeQuotedPrintable(DropBrokenEscapes(raw), cap, cut);
        // Base64 with gaps, or Base64 whose encoding header the damage took.
        if (base64 ? HasGap(raw) : !quoted && LooksLikeBase64(raw)) {
            std::string decoded = DecodeBase64AroundGaps(raw);
            cut = decoded.size() > cap;
            decoded.resize(std::min(decoded.size(), cap));
            return decoded;
        }
    }
    return PartBytes(part, true, cap, cut);
}

void MimeWalker::Visit(GMimeObject* object, int depth)
{
    if (depth > limits::kMaxMimeDepth || ++partsSeen_ > limits::kMaxParts)
        return;
    if (GMIME_IS_MULTIPART(object))
        VisitMultipart(GMIME_MULTIPART(object), depth);
    else if (GMIME_IS_PART(object))
        VisitLeaf(GMIME_PART(object));
}

void MimeWalker::VisitMultipart(GMimeMultipart* multipart, int depth)
{
    GMimeObject* object = GMIME_OBJECT(multipart);
    const int count = g_mime_multipart_get_count(multipart);
    if (IsType(object, "multipart", "related")) {
        VisitRelated(multipart, depth);
        return;
    }
    if (IsType(object, "multipart", "alternative")) {
        // The best one shows; of equals, the last (the sender's preference).
        int chosen = -1, best = -1;
        for (int i = 0; i < count && i < 64; ++i) {
            const int rank = AlternativeRank(g_mime_multipart_get_part(multipart, i), options_.preferPlain);
            if (rank >= best) {
                best = rank;
                chosen = i;
            }
        }
        if (chosen >= 0)
            Visit(g_mime_multipart_get_part(multipart, chosen), depth + 1);
        return;
    }
    for (int i = 0; i < count; ++i)
        Visit(g_mime_multipart_get_part(multipart, i), depth + 1);
}

void MimeWalker::VisitRelated(GMimeMultipart* multipart, int depth)
{
    const int count = g_mime_multipart_get_count(multipart);
    if (count == 0)
        return;
    // The root is the part named by "start", else the first one.
    int root = 0;
    if (const char* start = g_mime_object_get_content_type_parameter(GMIME_OBJECT(multipart), "start")) {
        std::string wanted = start;
        if (wanted.size() >= 2 && wanted.front() == '<' && wanted.back() == '>')
            wanted = wanted.substr(1, wanted.size() - 2);
        for (int i = 0; i < count; ++i)
            if (ContentId(g_mime_multipart_get_part(multipart, i)) == wanted)
                root = i;
    }
    for (int i = 0; i < count; ++i) {
        GMimeObject* child = g_mime_multipart_get_part(multipart, i);
        if (i == root || !GMIME_IS_PART(child)) {
            Visit(child, depth + 1);
            continue;
        }
        if (++partsSeen_ > limits::kMaxParts)
            return;
        // The others are there to be shown by the root.
        if (!ContentId(child).empty())
            AddInline(GMIME_PART(child));
    }
}

bool MimeWalker::IsBodyText(GMimeObject* object) const
{
    if (!IsType(object, "text", "plain") && !IsType(object, "text", "html"))
        return false;
    if (IsAttachmentDisposition(object))
        return false;
    // A named text file shows in place only when nothing else has.
    return bodies_.empty() || g_mime_part_get_filename(GMIME_PART(object)) == nullptr;
}

void MimeWalker::VisitLeaf(GMimePart* part)
{
    GMimeObject* object = GMIME_OBJECT(part);
    if (!IsBodyText(object)) {
        if (!ContentId(object).empty())
            AddInline(part);
        return;
    }
    BodySection section;
    section.isHtml = IsType(object, "text", "html");
    const std::string bytes = Content(part, limits::kMaxTextBytes, section.cut);
    const char* declared = g_mime_object_get_content_type_parameter(object, "charset");
    std::string charset = declared != nullptr ? declared : "";
    if (charset.empty() && section.isHtml)
        charset = SniffHtmlCharset(bytes);
    if (options_.gaps && (charset.empty() || HasGap(charset)))
        charset = messageCharset_;  // the damage took it: the other parts say which
    section.text = DecodeText(bytes, charset);
    if (options_.gaps)
        section.text = MarkGaps(section.text);
    bodies_.push_back(std::move(section));
}

void MimeWalker::AddInline(GMimePart* part)
{
    GMimeObject* object = GMIME_OBJECT(part);
    const std::string id = ContentId(object);
    if (id.empty() || inlineParts_.count(id) != 0 || inlineBytes_ >= limits::kMaxInlineTotalBytes)
        return;
    bool cut = false;
    Part inlinePart;
    inlinePart.bytes = Content(part, limits::kMaxInlinePartBytes, cut, &inlinePart.damaged);
    if (cut)
        return;  // half an image shows nothing useful
    inlinePart.mimeType = MimeType(object);
    inlineBytes_ += inlinePart.bytes.size();
    inlineParts_.emplace(id, std::move(inlinePart));
}

} // namespace render
