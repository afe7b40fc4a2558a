#include "render/MimeStructure.h"

#include "render/GMimeLibrary.h"
#include "render/GapFit.h"

#include <gmime/gmime.h>

#include <algorithm>

namespace render {

ContentType ParseContentType(std::string_view block)
{
    using namespace fit;
    std::string_view value;
    bool found = false;
    for (std::size_t at = 0; at < block.size();) {
        const HeaderLine line = HeaderLineAt(block, at);
        at = line.end;
        if (line.colon != std::string::npos
            && EqualsNoCase(block.substr(line.begin, line.colon - line.begin), "Content-Type")) {
            value = block.substr(line.colon + 1, line.end - line.colon - 1);
            found = true;
        }
    }
    return found ? ParseContentTypeValue(value) : ContentType{};
}

ContentType ParseContentTypeValue(std::string_view text)
{
    ContentType result;
    std::string value(text);
    std::replace_if(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    InitGMime();
    GMimeContentType* type = g_mime_content_type_parse(nullptr, value.c_str());
    if (type == nullptr)
        return result;
    result.multipart = g_mime_content_type_is_type(type, "multipart", "*") != FALSE;
    result.message = g_mime_content_type_is_type(type, "message", "rfc822") != FALSE;
    if (const char* boundary = g_mime_content_type_get_parameter(type, "boundary"))
        result.boundary = boundary;
    g_object_unref(type);
    return result;
}

bool MatchBoundary(std::string_view line, const std::vector<std::string>& open, int& level, bool& closing)
{
    if (line.substr(0, 2) != "--")
        return false;
    for (int i = static_cast<int>(open.size()) - 1; i >= 0; --i) {
        const std::string& boundary = open[static_cast<std::size_t>(i)];
        if (boundary.empty() || line.compare(2, boundary.size(), boundary) != 0)
            continue;
        std::string_view rest = line.substr(2 + boundary.size());
        const bool ends = rest.substr(0, 2) == "--";
        if (ends)
            rest.remove_prefix(2);
        if (rest.find_first_not_of(" \t\r\n") != std::string_view::npos)
            continue;
        level = i;
        closing = ends;
        return true;
    }
    return false;
}

} // namespace render
