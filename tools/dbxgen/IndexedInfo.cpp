#include "tools/dbxgen/IndexedInfo.h"

#include "tools/dbxgen/OeLayout.h"

#include <algorithm>
#include <stdexcept>

namespace dbxgen {

namespace {

void AppendU32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint32_t DataBytes(const std::vector<std::string>& parts)
{
    std::size_t n = 0;
    for (const auto& p : parts)
        n += p.size();
    return static_cast<std::uint32_t>(n);
}

} // namespace

void IndexedInfo::AddDirect(std::uint8_t index, std::uint32_t value)
{
    if (value >= (1u << 24)) {
        AddU32(index, value);
        return;
    }
    entries_.push_back({index, true, value, {}});
}

void IndexedInfo::AddU32(std::uint8_t index, std::uint32_t value)
{
    std::string data;
    AppendU32(data, value);
    entries_.push_back({index, false, 0, std::move(data)});
}

void IndexedInfo::AddFileTime(std::uint8_t index, std::uint64_t fileTime)
{
    std::string data;
    AppendU32(data, static_cast<std::uint32_t>(fileTime));
    AppendU32(data, static_cast<std::uint32_t>(fileTime >> 32));
    entries_.push_back({index, false, 0, std::move(data)});
}

void IndexedInfo::AddString(std::uint8_t index, std::string_view text)
{
    std::string data(text);
    data.push_back('\0');
    entries_.push_back({index, false, 0, std::move(data)});
}

std::uint32_t IndexedInfo::Size() const
{
    std::size_t data = 0;
    for (const auto& e : entries_)
        data += e.data.size();
    const std::size_t raw = oe::kInfoHeaderSize + 4 * entries_.size() + data;
    return static_cast<std::uint32_t>((raw + 3) & ~std::size_t{3});
}

std::string IndexedInfo::Serialize(std::uint32_t at) const
{
    if (entries_.size() > 0x7F)
        throw std::length_error("indexed info with too many entries");
    std::vector<Entry> sorted = entries_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Entry& a, const Entry& b) { return a.index < b.index; });

    const std::uint32_t size = Size();
    const std::uint32_t body = size - oe::kInfoHeaderSize;
    std::string out;
    out.reserve(size);
    AppendU32(out, at);
    AppendU32(out, body);
    // Object length (u16), entry count (u8), change counter (u8).
    const std::uint32_t packed = (size & 0xFFFF) | (static_cast<std::uint32_t>(sorted.size()) << 16)
                                 | (1u << 24);
    AppendU32(out, packed);

    std::vector<std::string> data;
    for (const auto& e : sorted) {
        if (e.direct) {
            AppendU32(out, e.index | static_cast<std::uint32_t>(oe::kIiDirect)
                               | (e.value << 8));
        } else {
            AppendU32(out, e.index | (DataBytes(data) << 8));
            data.push_back(e.data);
        }
    }
    for (const auto& d : data)
        out += d;
    out.resize(size, '\0');
    return out;
}

} // namespace dbxgen
