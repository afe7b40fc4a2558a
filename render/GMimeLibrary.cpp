#include "render/GMimeLibrary.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <mutex>

namespace render {

void InitGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

std::string PartBytes(GMimePart* part, bool decoded, std::size_t cap, bool& cut)
{
    cut = false;
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr)
        return {};
    GMimeStream* memory = g_mime_stream_mem_new();
    if (decoded) {
        g_mime_data_wrapper_write_to_stream(content, memory);
    } else if (GMimeStream* raw = g_mime_data_wrapper_get_stream(content)) {
        g_mime_stream_reset(raw);
        g_mime_stream_write_to_stream(raw, memory);
        g_mime_stream_reset(raw);
    }
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory));
    std::string out;
    if (bytes != nullptr) {
        cut = bytes->len > cap;
        out.assign(reinterpret_cast<const char*>(bytes->data), std::min<std::size_t>(bytes->len, cap));
    }
    g_object_unref(memory);
    return out;
}

} // namespace render
