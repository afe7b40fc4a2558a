#include "platform/NoCase.h"

#include "platform/Utf8.h"

namespace platform {

namespace {

char32_t Upper(char32_t c)
{
    if (c >= 'a' && c <= 'z')
        return c - 0x20;
    if (c < 0xE0)
        return c;
    if (c <= 0xFE)
        return c == 0xF7 ? c : c - 0x20;  // Latin-1, apart from the division sign
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x100 && c <= 0x17F) {  // Latin Extended-A: upper/lower pairs
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        return oddUpper ? (c % 2 == 0 ? c - 1 : c) : (c % 2 == 1 ? c - 1 : c);
    }
    if (c == 0x3C2)
        return 0x3A3;  // final sigma
    if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB))
        return c - 0x20;  // Greek
    if (c >= 0x430 && c <= 0x44F)
        return c - 0x20;  // Cyrillic
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c;
}

} // namespace

std::string UpperName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t start = i;
        const char32_t c = NextCodePoint(name, i);
        if (c == kNotUtf8)
            out += name[start];
        else
            AppendUtf8(out, Upper(c));
    }
    return out;
}

int CompareNames(std::string_view a, std::string_view b)
{
    const std::string ua = UpperName(a);
    const std::string ub = UpperName(b);
    return ua.compare(ub);
}

} // namespace platform
