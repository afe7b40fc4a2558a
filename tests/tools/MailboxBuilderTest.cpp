// The in-memory mailbox builder, checked with an independent reader.

#include "tests/tools/OeFileReader.h"
#include "tests/tools/SampleMail.h"
#include "tools/dbxgen/MailboxBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace dbxgen;
using testing_oe::FindBlockHeaders;
using testing_oe::ReadOeFile;
using testing_oe::SampleMail;
using testing_oe::U32;

namespace {

// What recovery writes for a deleted message whose unused bytes are zeros.
std::string Spaced(const std::string& text)
{
    std::string s = text;
    s.resize((text.size() + 511) / 512 * 512, '\0');
    for (std::size_t k = 0; k < s.size(); k += 512)
        s.replace(k, 4, "    ");
    return s;
}

std::string_view Bytes(const Mailbox& box) { return box.Image().Bytes(); }

std::set<std::uint32_t> AllPlaced(const Mailbox& box)
{
    std::set<std::uint32_t> s;
    for (const auto& m : box.Messages())
        s.insert(m.placed.begin(), m.placed.end());
    return s;
}

std::set<std::uint32_t> HeadersFound(const Mailbox& box)
{
    std::set<std::uint32_t> s;
    for (const auto& h : FindBlockHeaders(Bytes(box)))
        s.insert(h.offset);
    return s;
}

Mailbox MixedBox(Placement placement, std::uint64_t seed = 7, std::uint32_t gap = 0)
{
    MailboxBuilder b(seed);
    b.Options().placement = placement;
    b.Options().gap = gap;
    const std::size_t sizes[] = {700, 3000, 300, 5000, 1600, 2100};
    for (int i = 0; i < 6; ++i)
        b.Add(SampleMail(i, sizes[i]), i % 3 == 1);
    return b.Build();
}

} // namespace

// ---- the file as Outlook Express keeps it --------------------------------------

TEST(MailboxBuilderFile, HeaderIndexAndFreedListReadBackIndependently)
{
    const Mailbox box = MixedBox(Placement::Ascending);
    const auto f = ReadOeFile(Bytes(box));
    EXPECT_TRUE(f.errors.empty()) << f.errors.front();
    EXPECT_TRUE(f.signatureOk);
    EXPECT_EQ(f.usedFileSize, Bytes(box).size());
    EXPECT_EQ(f.folderName, "Inbox");
    EXPECT_EQ(f.lastIndex, 6u);
    EXPECT_EQ(f.messageCount, 4u);
    ASSERT_EQ(f.listed.size(), 4u);

    // The index lists exactly the live messages, in order, with their text.
    std::size_t k = 0;
    for (const auto& m : box.Messages()) {
        if (m.deleted)
            continue;
        const auto& l = f.listed[k++];
        EXPECT_EQ(l.number, static_cast<std::uint32_t>(m.id + 1));
        EXPECT_EQ(l.firstBlock, m.placed.front());
        EXPECT_EQ(l.blocks, m.placed);
        EXPECT_EQ(l.text, m.text);
        EXPECT_EQ(l.textLength, m.textLength);
        EXPECT_EQ(l.subject, m.subject);
    }

    // The freed list holds exactly the deleted messages' blocks.
    std::set<std::uint32_t> deletedBlocks;
    for (const auto& m : box.Messages())
        if (m.deleted)
            deletedBlocks.insert(m.placed.begin(), m.placed.end());
    EXPECT_EQ(std::set<std::uint32_t>(f.freedBlocks.begin(), f.freedBlocks.end()), deletedBlocks);
}

TEST(MailboxBuilderFile, ManyMessagesGetAMultiLevelTree)
{
    MailboxBuilder b(3);
    for (int i = 0; i < 3000; ++i)
        b.AddText("Subject: n" + std::to_string(i) + "\r\n\r\nx\r\n");
    const Mailbox box = b.Build();
    const auto f = ReadOeFile(Bytes(box));
    ASSERT_TRUE(f.errors.empty()) << f.errors.front();
    ASSERT_EQ(f.listed.size(), 3000u);
    for (std::size_t i = 0; i < f.listed.size(); ++i)
        ASSERT_EQ(f.listed[i].number, i + 1);
    // Three levels: the root is not a leaf, and neither are its children.
    const std::uint32_t root = f.treeRoot;
    const std::uint32_t child = U32(Bytes(box), root + 8);
    EXPECT_NE(child, 0u);
    EXPECT_NE(U32(Bytes(box), child + 8), 0u);
}

TEST(MailboxBuilderFile, EmptyFolderIsJustTheFirstSector)
{
    const Mailbox box = MailboxBuilder(1).Build();
    const auto f = ReadOeFile(Bytes(box));
    EXPECT_TRUE(f.errors.empty());
    EXPECT_TRUE(f.signatureOk);
    EXPECT_EQ(Bytes(box).size(), 0x2AD4u);
    EXPECT_EQ(f.treeRoot, 0u);
    EXPECT_EQ(f.messageCount, 0u);
    EXPECT_TRUE(box.RecoveryOrder().empty());
}

// ---- what recovery must yield ----------------------------------------------------

TEST(MailboxBuilderExpectations, DeletedMessagesGiveWholeBodiesWithSpacesForTheListLink)
{
    MailboxBuilder b(5);
    b.Options().staleSlack = true;
    const MailMessage msg = SampleMail(1, 1300);
    b.Add(msg, true);
    const Mailbox box = b.Build();
    const auto& m = box.Messages()[0];
    ASSERT_EQ(m.blocks.size(), 3u);
    ASSERT_EQ(m.text.size(), 3u * 512);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(m.text.substr(k * 512, 4), "    ");
        const std::size_t n = std::min<std::size_t>(508, msg.text.size() - std::min(msg.text.size(), k * 512 + 4));
        EXPECT_EQ(m.text.substr(k * 512 + 4, n), msg.text.substr(k * 512 + 4, n));
        const std::uint32_t p = m.blocks[k];
        EXPECT_EQ(U32(Bytes(box), p + 4), 0x1FCu);
        EXPECT_EQ(U32(Bytes(box), p + 8), 0x210u);
        EXPECT_EQ(U32(Bytes(box), p + 12), k + 1 < 3 ? m.blocks[k + 1] : 0u); // old link kept
    }
    // Leftover bytes after the message's end are old text, and recovery keeps them.
    EXPECT_NE(m.text.substr(msg.text.size()), std::string(3 * 512 - msg.text.size(), '\0'));
    EXPECT_EQ(m.text.substr(msg.text.size()), std::string(Bytes(box).substr(m.blocks[2] + 16 + (msg.text.size() - 1024), 3 * 512 - msg.text.size())));
}

TEST(MailboxBuilderExpectations, RecoveryOrderIsDeletedFirstThenByFirstBlock)
{
    MailboxBuilder b(2);
    const MailMessage same = SampleMail(9, 2000);
    b.Add(SampleMail(1, 800));
    b.Add(same, true);  // the older, deleted copy
    b.Add(SampleMail(2, 900), true);
    b.Add(same);        // the live copy
    const Mailbox box = b.Build();
    const auto order = box.RecoveryOrder();
    std::vector<int> ids;
    for (const auto* m : order)
        ids.push_back(m->id);
    ASSERT_EQ(ids, (std::vector<int>{1, 2, 0, 3}));
    EXPECT_EQ(order[3]->text, same.text);
    EXPECT_EQ(order[0]->text, Spaced(same.text));
    EXPECT_EQ(order[0]->subject, order[3]->subject);
}

// ---- layouts -------------------------------------------------------------------

// Whatever the placement, every chain stays whole, the file reads back without
// overlaps, no block look-alikes lie outside the placed blocks, and a chain
// the scan starts inside a message is a tail of it.
TEST(MailboxBuilderLayout, EveryPlacementKeepsItsChainsWholeInAReadableFile)
{
    const struct {
        Placement placement;
        const char* name;
        int scrambled;  // messages whose blocks are not in ascending order; -1: at least two
    } cases[] = {{Placement::Ascending, "ascending", 0},
                 {Placement::Descending, "descending", 6},
                 {Placement::Interleaved, "interleaved", 0},
                 {Placement::Shuffled, "shuffled", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Mailbox box = MixedBox(c.placement, 11);
        const auto f = ReadOeFile(Bytes(box));
        EXPECT_TRUE(f.errors.empty()) << f.errors.front();
        EXPECT_EQ(testing_oe::FirstOverlap(f.extents), "");
        EXPECT_EQ(HeadersFound(box), AllPlaced(box));
        int scrambled = 0;
        std::vector<std::pair<std::uint32_t, int>> slots;
        for (const auto& m : box.Messages()) {
            ASSERT_GT(m.placed.size(), 1u);
            EXPECT_EQ(m.blocks, m.placed);
            scrambled += !std::is_sorted(m.placed.begin(), m.placed.end());
            EXPECT_TRUE(c.placement != Placement::Descending || std::is_sorted(m.placed.rbegin(), m.placed.rend()));
            EXPECT_TRUE(c.placement == Placement::Shuffled || m.startsChain) << m.id;
            for (auto p : m.placed)
                slots.emplace_back(p, m.id);
        }
        EXPECT_EQ(scrambled, c.scrambled < 0 ? std::max(scrambled, 2) : c.scrambled);
        std::sort(slots.begin(), slots.end());
        for (std::size_t i = 1; c.placement == Placement::Interleaved && i < 6; ++i)
            EXPECT_NE(slots[i].second, slots[i - 1].second);
        EXPECT_TRUE(c.placement == Placement::Shuffled || box.PartialChains().empty());
        for (const auto& chain : box.PartialChains()) {
            bool isTail = false;
            for (const auto& m : box.Messages())
                isTail |= m.deleted == chain.deleted && m.placed.size() >= chain.blocks.size()
                          && std::equal(chain.blocks.begin(), chain.blocks.end(), m.placed.end() - chain.blocks.size());
            EXPECT_TRUE(isTail);
        }
    }
    // Shuffling is decided by the seed.
    EXPECT_EQ(Bytes(MixedBox(Placement::Shuffled, 11)), Bytes(MixedBox(Placement::Shuffled, 11)));
    EXPECT_NE(Bytes(MixedBox(Placement::Shuffled, 11)), Bytes(MixedBox(Placement::Shuffled, 12)));
}

TEST(MailboxBuilderLayout, GapsHoldGarbageThatNeverLooksLikeABlock)
{
    const Mailbox box = MixedBox(Placement::Ascending, 4, 36);
    std::set<std::uint32_t> placed = AllPlaced(box);
    std::vector<std::uint32_t> sorted(placed.begin(), placed.end());
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        ASSERT_EQ(sorted[i] - sorted[i - 1], 0x210u + 36);
        EXPECT_NE(Bytes(box).substr(sorted[i] - 36, 36), std::string(36, '\0'));
    }
    EXPECT_EQ(HeadersFound(box), placed);
    EXPECT_THROW((MixedBox(Placement::Ascending, 4, 6)), std::invalid_argument);
}

// ---- damage ----------------------------------------------------------------------

TEST(MailboxBuilderDamage, OverwrittenBlockCutsTheChainAndLeavesATail)
{
    MailboxBuilder b(8);
    const MailMessage msg = SampleMail(3, 2400); // 5 blocks
    b.Add(msg);
    b.Overwrite(0, 2);
    const Mailbox box = b.Build();
    const auto& m = box.Messages()[0];
    ASSERT_EQ(m.placed.size(), 5u);
    EXPECT_EQ(m.blocks, std::vector<std::uint32_t>(m.placed.begin(), m.placed.begin() + 2));
    EXPECT_EQ(m.text, msg.text.substr(0, 1024));
    ASSERT_EQ(box.PartialChains().size(), 1u);
    EXPECT_EQ(box.PartialChains()[0].blocks, std::vector<std::uint32_t>(m.placed.begin() + 3, m.placed.end()));
    EXPECT_EQ(box.PartialChains()[0].text, msg.text.substr(3 * 512));
    EXPECT_EQ(HeadersFound(box).count(m.placed[2]), 0u);
}

TEST(MailboxBuilderDamage, LinkCyclesEndAtTheFirstRepeatedBlock)
{
    MailboxBuilder b(9);
    b.Add(SampleMail(1, 2000)); // 4 blocks, last links back to the first
    b.Add(SampleMail(2, 2000)); // 4 blocks, the second links to itself
    b.Relink(0, 3, 0);
    b.Relink(1, 1, 1);
    const Mailbox box = b.Build();
    const auto& whole = box.Messages()[0];
    EXPECT_EQ(whole.blocks, whole.placed);
    EXPECT_EQ(U32(Bytes(box), whole.placed[3] + 12), whole.placed[0]);
    const auto& self = box.Messages()[1];
    EXPECT_EQ(self.blocks, std::vector<std::uint32_t>(self.placed.begin(), self.placed.begin() + 2));
    ASSERT_EQ(box.PartialChains().size(), 1u);
    EXPECT_EQ(box.PartialChains()[0].blocks, std::vector<std::uint32_t>(self.placed.begin() + 2, self.placed.end()));
}

TEST(MailboxBuilderDamage, TruncatedFileCutsTheLastPayload)
{
    MailboxBuilder b(10);
    const MailMessage msg = SampleMail(4, 1500); // 3 blocks
    b.Add(msg);
    Mailbox box = b.Build();
    const auto last = box.Messages()[0].placed[2];

    box.Truncate(last + 16 + 100); // the payload runs past the end
    EXPECT_EQ(Bytes(box).size(), last + 116u);
    EXPECT_EQ(box.Messages()[0].blocks.size(), 3u);
    EXPECT_EQ(box.Messages()[0].text, msg.text.substr(0, 1024 + 100));

    box.Truncate(last + 19); // the header is whole but lies beyond the last examined position
    EXPECT_EQ(box.Messages()[0].blocks.size(), 2u);
    EXPECT_EQ(box.Messages()[0].text, msg.text.substr(0, 1024));
}
