#include "platform/RegistryFile.h"

#include "platform/NoCase.h"
#include "platform/Utf8.h"

#include <limits>

namespace platform {

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string_view SkipSpace(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    return s.substr(i);
}

// The file's lines, without their line end (LF, or CR LF). A line holding a
// NUL ends there, as it does for the C string functions Wine reads with.
class Lines {
public:
    Lines(std::string_view text, std::size_t from) : text_(text), pos_(from) {}

    bool Next(std::string_view& line)
    {
        if (pos_ >= text_.size())
            return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        if (const std::size_t nul = line.find('\0'); nul != std::string_view::npos)
            line = line.substr(0, nul);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }

    std::size_t Position() const { return pos_; }

private:
    std::string_view text_;
    std::size_t pos_;
};

// Unescapes text up to the unescaped `end` character into UTF-16: \\, \",
// \[, \] and any other escaped character stand for themselves; \a \b \e \f
// \n \r \t \v; \x with up to four hex digits; \ with up to three octal
// digits. Bytes above 0x7F (not written by Wine, but by hand) are read as
// UTF-8. Returns the characters consumed including `end`, or nullopt when
// `end` never comes.
std::optional<std::size_t> Unescape(std::string_view s, char end, std::u16string& out)
{
    out.clear();
    std::size_t i = 0;
    while (i < s.size() && s[i] != end) {
        const char c = s[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            char32_t cp = NextCodePoint(s, i);
            if (cp == kNotUtf8)
                cp = 0xFFFD;
            AppendUtf16(out, cp);
            continue;
        }
        ++i;
        if (c != '\\') {
            out += static_cast<char16_t>(c);
            continue;
        }
        if (i >= s.size())
            return std::nullopt;
        const char e = s[i++];
        switch (e) {
        case 'a': out += u'\a'; break;
        case 'b': out += u'\b'; break;
        case 'e': out += char16_t{0x1B}; break;
        case 'f': out += u'\f'; break;
        case 'n': out += u'\n'; break;
        case 'r': out += u'\r'; break;
        case 't': out += u'\t'; break;
        case 'v': out += u'\v'; break;
        case 'x': {
            if (i >= s.size() || HexDigit(s[i]) < 0) {
                out += u'x';
                break;
            }
            unsigned value = 0;
            for (int n = 0; n < 4 && i < s.size() && HexDigit(s[i]) >= 0; ++n)
                value = value * 16 + static_cast<unsigned>(HexDigit(s[i++]));
            out += static_cast<char16_t>(value);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned value = static_cast<unsigned>(e - '0');
                for (int n = 0; n < 2 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++n)
                    value = value * 8 + static_cast<unsigned>(s[i++] - '0');
                out += static_cast<char16_t>(value);
            } else {
                out += static_cast<char16_t>(static_cast<unsigned char>(e));
            }
        }
    }
    if (i >= s.size())
        return std::nullopt;
    return i + 1;
}

// strtoul(s, 16) as far as Wine relies on it: leading space, a sign, "0x",
// hex digits; saturates at the largest 64-bit value. `used` is set to the
// characters read (0 when there was no number).
std::uint64_t ParseHexNumber(std::string_view s, std::size_t& used)
{
    std::size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    if (i + 2 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') && HexDigit(s[i + 2]) >= 0)
        i += 2;
    const std::size_t digits = i;
    std::uint64_t value = 0;
    bool overflow = false;
    for (; i < s.size() && HexDigit(s[i]) >= 0; ++i) {
        if (value > (std::numeric_limits<std::uint64_t>::max() >> 4))
            overflow = true;
        value = value * 16 + static_cast<std::uint64_t>(HexDigit(s[i]));
    }
    if (i == digits) {
        used = 0;
        return 0;
    }
    used = i;
    if (overflow)
        return std::numeric_limits<std::uint64_t>::max();
    return negative ? 0 - value : value;
}

void AppendUtf16Le(std::string& out, std::u16string_view text)
{
    for (const char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
}

// The comma-separated hex bytes of a hex: or hex(N): value, following
// continuation lines (a line ending in '\'). False when the data is damaged.
bool ParseHexData(std::string_view s, Lines& lines, std::string& data)
{
    for (;;) {
        while (!s.empty() && HexDigit(s.front()) >= 0) {
            std::size_t used = 0;
            const std::uint64_t byte = ParseHexNumber(s, used);
            if (used == 0 || byte > 0xFF)
                return false;
            data += static_cast<char>(byte);
            s = SkipSpace(s.substr(used));
            if (!s.empty() && s.front() == ',')
                s.remove_prefix(1);
            s = SkipSpace(s);
        }
        s = SkipSpace(s);
        if (s.empty())
            return true;
        if (s.front() != '\\' || !lines.Next(s))
            return false;
        s = SkipSpace(s);
    }
}

// One value line (`line` starts at its '"' or '@'), with the lines it
// continues onto. False when its name is malformed: then there is no value.
bool ParseValue(std::string_view line, Lines& lines, std::u16string& name, RegistryValue& value)
{
    std::size_t p = 1;
    if (line.front() == '@') {
        name.clear();
    } else {
        const auto used = Unescape(line.substr(1), '"', name);
        if (!used)
            return false;
        p += *used;
    }
    std::string_view rest = SkipSpace(line.substr(p));
    if (rest.empty() || rest.front() != '=')
        return false;
    rest = SkipSpace(rest.substr(1));

    value = RegistryValue{};
    struct Tag {
        std::string_view text;
        std::uint32_t type;
    };
    static constexpr Tag kStrings[] = {{"\"", 1}, {"str:\"", 1}, {"str(2):\"", 2}, {"str(7):\"", 7}};
    for (const Tag& tag : kStrings) {
        if (rest.starts_with(tag.text)) {
            std::u16string text;
            if (Unescape(rest.substr(tag.text.size()), '"', text)) {
                value.type = tag.type;
                AppendUtf16Le(value.data, text);
                AppendUtf16Le(value.data, std::u16string_view(u"\0", 1));
            }
            return true;
        }
    }
    if (rest.starts_with("dword:")) {
        std::size_t used = 0;
        const auto dword = static_cast<std::uint32_t>(ParseHexNumber(rest.substr(6), used));
        value.type = 4;
        for (int shift = 0; shift < 32; shift += 8)
            value.data += static_cast<char>((dword >> shift) & 0xFF);
        return true;
    }
    std::uint32_t type = 3;
    if (rest.starts_with("hex:")) {
        rest.remove_prefix(4);
    } else if (rest.starts_with("hex(")) {
        std::size_t used = 0;
        const std::uint64_t number = ParseHexNumber(rest.substr(4), used);
        rest.remove_prefix(4 + used);
        if (!rest.starts_with("):"))
            return true;
        rest.remove_prefix(2);
        type = static_cast<std::uint32_t>(number);
    } else {
        return true;
    }
    std::string data;
    if (ParseHexData(rest, lines, data)) {
        value.type = type;
        value.data = std::move(data);
    }
    return true;
}

} // namespace

std::string RegistryValueText(std::uint32_t type, std::string_view data)
{
    if (type == 1 || type == 2 || type == 7) {
        std::u16string text;
        for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
            const auto unit = static_cast<char16_t>(static_cast<unsigned char>(data[i])
                                                    | (static_cast<unsigned char>(data[i + 1]) << 8));
            if (unit == 0)
                break;
            text += unit;
        }
        return Utf16ToUtf8(text);
    }
    return std::string(data.substr(0, data.find('\0')));
}

std::optional<RegistryFile> RegistryFile::Parse(std::string text)
{
    RegistryFile file;
    file.text_ = std::move(text);
    file.keys_.push_back(Key{});
    Lines lines(file.text_, 0);
    std::string_view line;
    if (!lines.Next(line) || line != "WINE REGISTRY Version 2")
        return std::nullopt;

    constexpr std::string_view kRelative = ";; All keys relative to ";
    std::optional<KeyId> current;
    bool seenKey = false;
    std::u16string name;
    RegistryValue value;
    while (lines.Next(line)) {
        line = SkipSpace(line);
        if (line.empty())
            continue;
        switch (line.front()) {
        case '[':
            seenKey = true;
            current.reset();
            if (Unescape(line.substr(1), ']', name)) {
                current = file.AddPath(Utf16ToUtf8(name));
                if (current)
                    file.keys_[*current].bodies.push_back(lines.Position());
                if (file.keys_.size() > kMaxKeys)
                    return std::nullopt;
            }
            break;
        case '"':
        case '@':
            // Read it to step over its continuation lines.
            if (current)
                ParseValue(line, lines, name, value);
            break;
        case ';':
            if (!seenKey && line.starts_with(kRelative)) {
                std::u16string path;
                const std::string_view rest = line.substr(kRelative.size());
                if (Unescape(std::string(rest) + '\n', '\n', path))
                    file.relativeTo_ = Utf16ToUtf8(path);
            }
            break;
        default:  // options (#time=, #class=, #link, #arch=) and stray lines
            break;
        }
    }
    return file;
}

std::optional<RegistryFile::KeyId> RegistryFile::AddPath(std::string_view path)
{
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t cut = path.find('\\');
        if (const std::string_view part = path.substr(0, cut); !part.empty())
            parts.push_back(part);
        path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
        if (parts.size() > kMaxDepth)
            return std::nullopt;
    }
    KeyId key = kRoot;
    for (const std::string_view part : parts) {
        const auto [it, added] =
            children_.try_emplace({key, UpperName(part)}, static_cast<KeyId>(keys_.size()));
        if (added)
            keys_.push_back(Key{std::string(part), {}});
        key = it->second;
    }
    return key;
}

std::optional<RegistryFile::KeyId> RegistryFile::FindKey(std::string_view path, KeyId from) const
{
    if (from >= keys_.size())
        return std::nullopt;
    KeyId key = from;
    while (!path.empty()) {
        const std::size_t cut = path.find('\\');
        const std::string_view part = path.substr(0, cut);
        path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
        if (part.empty())
            continue;
        const auto it = children_.find({key, UpperName(part)});
        if (it == children_.end())
            return std::nullopt;
        key = it->second;
    }
    return key;
}

std::optional<std::string> RegistryFile::SubKeyName(KeyId key, std::size_t index) const
{
    auto it = children_.lower_bound({key, std::string()});
    for (; it != children_.end() && it->first.first == key; ++it) {
        if (index-- == 0)
            return keys_[it->second].name;
    }
    return std::nullopt;
}

template <typename Visit>
void RegistryFile::ForEachValue(KeyId key, Visit&& visit) const
{
    if (key >= keys_.size())
        return;
    std::u16string name;
    RegistryValue value;
    for (const std::size_t body : keys_[key].bodies) {
        Lines lines(text_, body);
        std::string_view line;
        while (lines.Next(line)) {
            line = SkipSpace(line);
            if (line.empty())
                continue;
            if (line.front() == '[')
                break;
            if ((line.front() == '"' || line.front() == '@') && ParseValue(line, lines, name, value))
                visit(Utf16ToUtf8(name), value);
        }
    }
}

std::vector<std::pair<std::string, RegistryValue>> RegistryFile::Values(KeyId key) const
{
    std::vector<std::pair<std::string, RegistryValue>> values;
    std::map<std::string, std::size_t> seen;  // upper-case name -> index in values
    ForEachValue(key, [&](std::string name, const RegistryValue& value) {
        const auto [it, added] = seen.try_emplace(UpperName(name), values.size());
        if (added)
            values.emplace_back(std::move(name), value);
        else
            values[it->second].second = value;
    });
    return values;
}

std::optional<RegistryValue> RegistryFile::FindValue(KeyId key, std::string_view name) const
{
    const std::string wanted = UpperName(name);
    std::optional<RegistryValue> found;
    ForEachValue(key, [&](const std::string& valueName, const RegistryValue& value) {
        if (UpperName(valueName) == wanted)
            found = value;
    });
    return found;
}

} // namespace platform
