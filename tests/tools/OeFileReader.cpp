#include "tests/tools/OeFileReader.h"

#include <algorithm>
#include <set>

namespace testing_oe {

namespace {

constexpr unsigned char kSignature[] = {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F, 0x66, 0xE3,
                                        0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};

struct Reader {
    std::string_view b;
    OeFile& f;
    std::set<std::uint32_t> nodesSeen;

    bool Has(std::size_t at, std::size_t n) const { return at <= b.size() && n <= b.size() - at; }
    void Error(std::string what) { f.errors.push_back(std::move(what)); }

    // In-order values of the subtree at `node`; returns how many it holds.
    std::uint32_t Walk(std::uint32_t node, std::uint32_t parent, std::vector<std::uint32_t>& out)
    {
        if (node == 0)
            return 0;
        if (!Has(node, 0x27C) || !nodesSeen.insert(node).second || U32(b, node) != node) {
            Error("bad tree node at " + std::to_string(node));
            return 0;
        }
        f.extents.emplace_back(node, node + 0x27C);
        if (U32(b, node + 12) != parent)
            Error("tree node " + std::to_string(node) + " names a wrong parent");
        const unsigned entries = static_cast<unsigned char>(b[node + 17]);
        if (entries > 0x33)
            Error("tree node with too many entries");
        std::uint32_t total = Walk(U32(b, node + 8), node, out);
        if (total != U32(b, node + 20))
            Error("left child count wrong at node " + std::to_string(node));
        for (unsigned i = 0; i < entries && i < 0x33; ++i) {
            const std::uint32_t e = node + 0x18 + 12 * i;
            out.push_back(U32(b, e));
            const std::uint32_t below = Walk(U32(b, e + 4), node, out);
            if (below != U32(b, e + 8))
                Error("child count wrong at node " + std::to_string(node));
            total += 1 + below;
        }
        return total;
    }

    ListedMessage Info(std::uint32_t at)
    {
        ListedMessage m;
        m.info = at;
        if (!Has(at, 12) || U32(b, at) != at) {
            Error("bad message info at " + std::to_string(at));
            return m;
        }
        const std::uint32_t body = U32(b, at + 4);
        const unsigned count = static_cast<unsigned char>(b[at + 10]);
        if (!Has(at + 12, body) || 4 * count > body || (12 + body) % 4 != 0) {
            Error("message info body out of bounds at " + std::to_string(at));
            return m;
        }
        f.extents.emplace_back(at, at + 12 + body);
        const std::uint32_t data = at + 12 + 4 * count;
        for (unsigned i = 0; i < count; ++i) {
            const std::uint32_t e = U32(b, at + 12 + 4 * i);
            const unsigned index = e & 0x7F;
            const bool direct = (e & 0x80) != 0;
            const std::uint32_t v = e >> 8;
            auto word = [&] { return direct ? v : U32(b, data + v); };
            if (index == 0x00)
                m.number = word();
            else if (index == 0x04)
                m.firstBlock = word();
            else if (index == 0x11)
                m.textLength = word();
            else if (index == 0x08 && !direct)
                m.subject = std::string(b.substr(data + v, b.find('\0', data + v) - (data + v)));
        }
        Chain(m);
        return m;
    }

    void Chain(ListedMessage& m)
    {
        std::set<std::uint32_t> seen;
        for (std::uint32_t p = m.firstBlock; p != 0;) {
            if (!Has(p, 0x210) || !seen.insert(p).second || U32(b, p) != p || U32(b, p + 4) != 0x200
                || U32(b, p + 8) > 0x200) {
                Error("bad message block at " + std::to_string(p));
                return;
            }
            f.extents.emplace_back(p, p + 0x210);
            m.blocks.push_back(p);
            m.text.append(b.substr(p + 16, U32(b, p + 8)));
            p = U32(b, p + 12);
        }
    }
};

} // namespace

std::uint32_t U32(std::string_view bytes, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

OeFile ReadOeFile(std::string_view bytes)
{
    OeFile f;
    Reader r{bytes, f, {}};
    if (bytes.size() < 0x24BC + 0x618) {
        r.Error("file shorter than its first sector");
        return f;
    }
    f.signatureOk = std::equal(std::begin(kSignature), std::end(kSignature),
                               reinterpret_cast<const unsigned char*>(bytes.data()));
    f.usedFileSize = U32(bytes, 0x7C);
    f.messageCount = U32(bytes, 0xC4);
    f.treeRoot = U32(bytes, 0xE4);
    f.lastIndex = U32(bytes, 0x5C);
    const std::size_t name = 0x24BC + 0x105;
    f.folderName = std::string(bytes.substr(name, bytes.find('\0', name) - name));
    f.extents.emplace_back(0, 0x24BC + U32(bytes, 0x1C));

    std::vector<std::uint32_t> values;
    const std::uint32_t total = r.Walk(f.treeRoot, 0, values);
    if (total != f.messageCount)
        r.Error("tree holds " + std::to_string(total) + " values, header says "
                + std::to_string(f.messageCount));
    for (std::uint32_t v : values)
        f.listed.push_back(r.Info(v));

    std::set<std::uint32_t> seen;
    for (std::uint32_t p = U32(bytes, 0x48); p != 0;) {
        if (!r.Has(p, 0x210) || !seen.insert(p).second || U32(bytes, p) != p
            || U32(bytes, p + 4) != 0x1FC || U32(bytes, p + 8) != 0x210) {
            r.Error("bad freed block at " + std::to_string(p));
            break;
        }
        f.extents.emplace_back(p, p + 0x210);
        f.freedBlocks.push_back(p);
        p = U32(bytes, p + 16);
    }
    return f;
}

std::vector<FoundHeader> FindBlockHeaders(std::string_view bytes)
{
    std::vector<FoundHeader> found;
    for (std::size_t p = 0; p + 16 <= bytes.size(); p += 4) {
        if (U32(bytes, p) != p)
            continue;
        const std::uint32_t size = U32(bytes, p + 4), length = U32(bytes, p + 8);
        if (size == 0x200 && length <= 0x200)
            found.push_back({static_cast<std::uint32_t>(p), false, U32(bytes, p + 12)});
        else if (size == 0x1FC && length == 0x210)
            found.push_back({static_cast<std::uint32_t>(p), true, U32(bytes, p + 12)});
    }
    return found;
}

std::string FirstOverlap(std::vector<std::pair<std::uint32_t, std::uint32_t>> extents)
{
    std::sort(extents.begin(), extents.end());
    for (std::size_t i = 1; i < extents.size(); ++i)
        if (extents[i].first < extents[i - 1].second)
            return std::to_string(extents[i - 1].first) + ".." + std::to_string(extents[i - 1].second)
                   + " overlaps " + std::to_string(extents[i].first) + ".."
                   + std::to_string(extents[i].second);
    return {};
}

} // namespace testing_oe
