#include "app/OpenKind.h"

#include "platform/Directory.h"
#include "platform/Mounts.h"

namespace app {

OpenKind KindToOpen(const std::string& path)
{
    if (platform::RegularFileSize(path)) {
        std::string extension = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
        for (char& c : extension)
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        return extension == ".dbx" ? OpenKind::kMailFile : OpenKind::kImage;
    }
    return platform::IsBlockDevice(path) ? OpenKind::kImage : OpenKind::kNothing;
}

} // namespace app
