// Arbitrary bytes as a stored message: the renderer must not crash, hang or
// leak, what it makes must stay inert whatever the input, and the files the
// message carries must come out as listed, under names safe to save.
//   fuzz_render -dict=fuzz/fuzz_render.dict -timeout=10 <work dir> fuzz/corpus/fuzz_render
// An input whose first byte has its top bit set is a deleted e-mail: that
// byte (and what follows it) says where its gaps are, the rest is the
// message. With 0x40 set, there is a gap at the start of every 512 bytes, as
// the engine reports for a deleted e-mail; otherwise the low four bits give
// a number of gaps, each placed by the next two bytes (modulo the message's
// length), one to four bytes long.

#include "FileNameCheck.h"

#include "dbx/TextDamage.h"
#include "render/Attachments.h"
#include "render/HtmlTokenizer.h"
#include "render/RenderMessage.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Fail(const char* what, std::string_view detail)
{
    std::fprintf(stderr, "fuzz_render: %s: %.*s\n", what, static_cast<int>(std::min<std::size_t>(detail.size(), 200)),
                 detail.data());
    std::abort();
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return out;
}

// CSS that reaches the page (a style attribute's value, references decoded,
// or a <style> element's content) must load nothing and run nothing. The
// check reads words, so the text must first be in a form where words cannot
// hide: no escapes, no comments, no control characters (a sheet's line
// breaks aside), no "<" that could end its element, no "&" for a reference.
// Then no script hook may appear at all, and every url() must name a part
// of the message itself (cid:): the preview serves those from the message's
// own parts (FindInlinePart) and nothing else.
void CheckCss(std::string_view css, bool sheet)
{
    for (const char c : css) {
        if (c == '\\' || c == '<' || c == '&' || c == 0x7F || (static_cast<unsigned char>(c) < 0x20 && !(sheet && c == '\n')))
            Fail("style text with escapes, markup or control characters", css);
    }
    const std::string lower = Lower(css);
    static constexpr std::string_view kHooks[] = {"/*", "expression(", "javascript:", "vbscript:", "@import",
                                                  "behavior", "-moz-binding", "image-set(", "src("};
    for (const std::string_view hook : kHooks)
        if (lower.find(hook) != std::string::npos)
            Fail("style that could load or run something", css);
    for (std::size_t at = lower.find("url("); at != std::string::npos; at = lower.find("url(", at + 4)) {
        std::size_t p = at + 4;
        if (lower.compare(p, 4, "cid:") != 0)
            Fail("style URL from elsewhere", css.substr(at));
        for (p += 4; p < lower.size() && lower[p] != ')'; ++p)
            if (std::string_view("-._~!$+=@:%/0123456789abcdefghijklmnopqrstuvwxyz").find(lower[p]) == std::string_view::npos)
                Fail("style URL with an odd character", css.substr(at));
        if (p >= lower.size())
            Fail("style URL not closed", css.substr(at));
    }
}

// A style attribute's value as the browser reads it: the renderer writes
// only these four references there.
std::string DecodeStyleAttribute(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '&') {
            out += value[i];
            continue;
        }
        bool known = false;
        for (const auto& [name, c] : {std::pair<std::string_view, char>{"&amp;", '&'}, {"&quot;", '"'},
                                      {"&lt;", '<'}, {"&gt;", '>'}}) {
            if (value.compare(i, name.size(), name) == 0) {
                out += c;
                i += name.size() - 1;
                known = true;
                break;
            }
        }
        if (!known)
            Fail("style attribute with a reference", value.substr(i));
    }
    return out;
}

// Reads the document back the way a browser would and checks that nothing
// in it could run or fetch. Links to attachments are the renderer's own:
// one per attachment in order, and one to save them all when there are
// several; the body can make none.
void CheckInert(const std::string& html, std::size_t attachments)
{
    std::size_t attachmentLinks = 0;
    std::size_t saveAllLinks = 0;
    static constexpr std::string_view kForbidden[] = {"script", "iframe", "object", "embed", "applet", "form",
                                                      "base", "link", "frame", "frameset", "input", "svg"};
    render::HtmlTokenizer tokenizer(html);
    render::HtmlToken token;
    while (tokenizer.Next(token)) {
        if (token.kind == render::HtmlToken::Kind::RawText && token.name == "style")
            CheckCss(token.text, true);
        if (token.kind != render::HtmlToken::Kind::StartTag)
            continue;
        for (const std::string_view name : kForbidden)
            if (token.name == name)
                Fail("forbidden element", token.name);
        for (const render::HtmlAttribute& a : token.attributes) {
            const std::string value = Lower(a.value);
            if (a.name.size() > 2 && a.name.compare(0, 2, "on") == 0)
                Fail("event handler", a.name);
            if (token.name == "meta" && a.name != "charset")
                Fail("meta attribute", a.name);
            const auto startsWith = [&](std::string_view prefix) { return value.compare(0, prefix.size(), prefix) == 0; };
            if (a.name == "href" && value == render::kSaveAllAttachmentsUrl) {
                ++saveAllLinks;
                continue;
            }
            if (a.name == "href" && value == "attachment:" + std::to_string(attachmentLinks)) {
                ++attachmentLinks;
                continue;
            }
            if (a.name == "href" && !startsWith("http:") && !startsWith("https:") && !startsWith("mailto:")
                && !startsWith("ftp:") && !startsWith("news:") && !startsWith("#"))
                Fail("link that is not a web or mail address", a.value);
            if (a.name == "background" && !startsWith("cid:"))
                Fail("background from elsewhere", a.value);
            if (a.name == "src" && value.compare(0, 4, "cid:") != 0 && value.compare(0, 11, "data:image/") != 0)
                Fail("image from elsewhere", a.value);
            if (a.name == "style")
                CheckCss(DecodeStyleAttribute(a.value), false);
        }
    }
    if (attachmentLinks != attachments || saveAllLinks != (attachments > 1 ? 1u : 0u))
        Fail("attachment links that are not the list's", html.substr(0, 200));
    if (html.size() < 15 || html.compare(html.size() - 15, 15, "</body></html>\n") != 0)
        Fail("document not closed", html.substr(html.size() > 40 ? html.size() - 40 : 0));
}

// The gaps the input's first bytes choose; `message` is what is left.
dbx::TextDamage Damage(std::string_view& message)
{
    dbx::TextDamage damage;
    if (message.empty() || (static_cast<unsigned char>(message[0]) & 0x80) == 0)
        return damage;
    const auto mode = static_cast<unsigned char>(message[0]);
    message.remove_prefix(1);
    damage.paddedEnd = true;
    if (mode & 0x40) {
        for (std::size_t at = 0; at < message.size(); at += 512)
            damage.overwritten.push_back({at, 4});
        return damage;
    }
    std::vector<dbx::TextDamage::Range> ranges;
    for (int i = 0; i < (mode & 0x0F) && message.size() >= 2; ++i) {
        const unsigned value = static_cast<unsigned char>(message[0]) | static_cast<unsigned char>(message[1]) << 8;
        message.remove_prefix(2);
        ranges.push_back({value, 1 + value % 4});
    }
    for (auto& range : ranges)
        range.offset = message.empty() ? 0 : range.offset % message.size();
    std::sort(ranges.begin(), ranges.end(), [](const auto& a, const auto& b) { return a.offset < b.offset; });
    for (const auto& range : ranges)
        if (damage.overwritten.empty() || damage.overwritten.back().offset + damage.overwritten.back().length <= range.offset)
            damage.overwritten.push_back(range);
    return damage;
}

// The attachments: their contents as the list says, lost bytes zero and
// inside them, names safe, and the same list with and without contents.
void CheckAttachments(std::string_view bytes, const dbx::TextDamage& damage,
                      const std::vector<render::Attachment>& shown)
{
    std::size_t count = 0;
    const auto each = [&](std::size_t number, const render::Attachment& a, const render::AttachmentContent& content) {
        if (number != count++)
            Fail("attachments out of order", a.fileName);
        if (content.bytes.size() != a.size || content.LostBytes() != a.lostBytes)
            Fail("attachment size not its content's", a.fileName);
        std::size_t end = 0;
        for (const auto& range : content.lost) {
            if (range.length == 0 || range.offset < end || range.offset + range.length > content.bytes.size())
                Fail("lost range out of place", a.fileName);
            end = range.offset + range.length;
            if (content.bytes.find_first_not_of('\0', range.offset) < end)
                Fail("lost byte that is not zero", a.fileName);
        }
        if (damage.Empty() && a.lostBytes != 0)
            Fail("bytes lost from an undamaged e-mail", a.fileName);
        CheckFileName(a.fileName);
        CheckFileName(a.SaveName());
    };
    const std::vector<render::Attachment> found = render::FindAttachments(bytes, damage, each);
    if (found.size() != shown.size() || count != found.size())
        Fail("attachment lists differ", std::to_string(found.size()) + " " + std::to_string(shown.size()));
    for (std::size_t i = 0; i < found.size(); ++i)
        if (found[i].fileName != shown[i].fileName || found[i].size != shown[i].size)
            Fail("attachment lists differ", found[i].fileName);
}

// The terminal view: no control characters but line feeds and tabs, and
// nothing of the renderer's own gap bookkeeping.
void CheckText(const std::string& text, bool damaged)
{
    for (const char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == 0x7F)
            Fail("control character in the text view", text);
    if (damaged && text.find("\xEF\xB7\x90") != std::string::npos)
        Fail("gap mark left in the text view", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const dbx::TextDamage damage = Damage(bytes);
    const render::RenderedMessage message = render::RenderMessage(bytes, damage);
    CheckInert(message.html, message.attachments.size());
    CheckAttachments(bytes, damage, message.attachments);
    CheckText(render::RenderMessageText(bytes, damage), !damage.Empty());
    for (const auto& [id, part] : message.inlineParts)
        if (render::FindInlinePart(message, "cid:" + id) != &part)
            Fail("inline part not found by its id", id);
    return 0;
}
