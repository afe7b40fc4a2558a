#include "platform/FsPath.h"

#ifdef _WIN32
#include "platform/WidePath.h"
#endif

namespace platform {

#ifdef _WIN32

std::filesystem::path ToFsPath(std::string_view path)
{
    return std::filesystem::path(detail::Widen(path));
}

std::string FromFsPath(const std::filesystem::path& path)
{
    return detail::Narrow(path.native());
}

#else

std::filesystem::path ToFsPath(std::string_view path)
{
    return std::filesystem::path(std::string(path));
}

std::string FromFsPath(const std::filesystem::path& path)
{
    return path.native();
}

#endif

} // namespace platform
