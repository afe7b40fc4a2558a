#include "VisibleText.h"

std::string VisibleText(std::string_view html)
{
    if (const std::size_t head = html.find("</head>"); head != std::string_view::npos)
        html.remove_prefix(head + 7);
    std::string text;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '<') {
            const std::size_t end = html.find('>', i);
            if (end == std::string_view::npos)
                break;
            i = end;
            continue;
        }
        text += html[i];
    }
    static constexpr std::pair<std::string_view, std::string_view> kRefs[] = {
        {"\xE2\x80\x8B", ""},  // zero-width spaces: places to break, unseen
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&nbsp;", " "}, {"&amp;", "&"}};
    for (const auto& [ref, ch] : kRefs)
        for (std::size_t at = text.find(ref); at != std::string::npos; at = text.find(ref, at + ch.size()))
            text.replace(at, ref.size(), ch);
    return text;
}

std::size_t Count(std::string_view text, std::string_view what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}
