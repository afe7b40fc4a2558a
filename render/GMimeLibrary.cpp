#include "render/GMimeLibrary.h"

#include <gmime/gmime.h>

#include <mutex>

namespace render {

void InitGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

} // namespace render
