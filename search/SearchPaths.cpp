#include "search/SearchPaths.h"

#include "platform/Directory.h"

namespace search {

bool IsDbxName(std::string_view name)
{
    if (name.size() < 4)
        return false;
    const std::string_view ext = name.substr(name.size() - 4);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return ext[0] == '.' && lower(ext[1]) == 'd' && lower(ext[2]) == 'b' && lower(ext[3]) == 'x';
}

std::string DriveListText(const std::vector<std::string>& roots)
{
    std::string text;
    for (const std::string& root : roots) {
        if (root.empty() || root[0] == 'A' || root[0] == 'a')
            continue;
        text += root;
        text += ';';
    }
    return text;
}

std::string DropTrailingSeparator(std::string_view path)
{
    if (path.size() > 1 && platform::IsPathSeparator(path.back()))
        path.remove_suffix(1);
    return std::string(path);
}

std::string NormaliseSearchPath(std::string_view entry)
{
    auto space = [](char c) { return c == ' ' || c == '\t'; };
    while (!entry.empty() && space(entry.front()))
        entry.remove_prefix(1);
    while (!entry.empty() && space(entry.back()))
        entry.remove_suffix(1);
    return DropTrailingSeparator(entry);
}

std::vector<std::string> SplitSearchPaths(std::string_view driveList)
{
    std::vector<std::string> paths;
    for (;;) {
        const std::size_t semicolon = driveList.find(';');
        std::string path = NormaliseSearchPath(driveList.substr(0, semicolon));
        if (!path.empty())
            paths.push_back(std::move(path));
        if (semicolon == std::string_view::npos)
            break;
        driveList.remove_prefix(semicolon + 1);
    }
    return paths;
}

} // namespace search
