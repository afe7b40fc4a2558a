// Arbitrary bytes as a stored message: the renderer must not crash, hang or
// leak, and what it makes must stay inert whatever the input.
//   fuzz_render -dict=fuzz/fuzz_render.dict -timeout=10 <work dir> fuzz/corpus/fuzz_render

#include "render/HtmlTokenizer.h"
#include "render/RenderMessage.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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

// Reads the document back the way a browser would and checks that nothing
// in it could run or fetch.
void CheckInert(const std::string& html)
{
    static constexpr std::string_view kForbidden[] = {"script", "iframe", "object", "embed", "applet", "form",
                                                      "base", "link", "frame", "frameset", "input", "svg"};
    render::HtmlTokenizer tokenizer(html);
    render::HtmlToken token;
    while (tokenizer.Next(token)) {
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
            if (a.name == "href" && !startsWith("http:") && !startsWith("https:") && !startsWith("mailto:")
                && !startsWith("ftp:") && !startsWith("news:") && !startsWith("#"))
                Fail("link that is not a web or mail address", a.value);
            if (a.name == "background" && !startsWith("cid:"))
                Fail("background from elsewhere", a.value);
            if (a.name == "src" && value.compare(0, 4, "cid:") != 0 && value.compare(0, 11, "data:image/") != 0)
                Fail("image from elsewhere", a.value);
            if (a.name == "style" && (value.find("url(") != std::string::npos && value.find("url(cid:") == std::string::npos))
                Fail("style URL", a.value);
        }
    }
    if (html.size() < 15 || html.compare(html.size() - 15, 15, "</body></html>\n") != 0)
        Fail("document not closed", html.substr(html.size() > 40 ? html.size() - 40 : 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const render::RenderedMessage message =
        render::RenderMessage(std::string_view(reinterpret_cast<const char*>(data), size));
    CheckInert(message.html);
    for (const auto& [id, part] : message.inlineParts)
        if (render::FindInlinePart(message, "cid:" + id) != &part)
            Fail("inline part not found by its id", id);
    return 0;
}
