// End to end: the engine recovers from generated mailboxes exactly what the
// fixture maker says a correct recovery yields.

#include "dbx/DbxFile.h"
#include "support/TempDir.h"
#include "tests/tools/OeFileReader.h"
#include "tests/tools/SampleMail.h"
#include "tools/dbxgen/BenchMailbox.h"
#include "tools/dbxgen/DemoMailbox.h"
#include "tools/dbxgen/MailboxBuilder.h"
#include "tools/dbxgen/Manifest.h"
#include "tools/dbxgen/MimeText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using namespace dbxgen;

namespace {

struct Recovered {
    std::vector<dbx::EmailRecord> records;
    std::vector<std::string> texts; // what WriteMessage wrote for each
};

Recovered Recover(const std::string& path)
{
    testsupport::TempDir dir;
    dbx::DbxFile file;
    EXPECT_TRUE(file.Open(path));
    dbx::NullProgressSink sink;
    file.Scan(sink);
    Recovered r;
    r.records = file.Records();
    for (int i = 0; i < file.GetCount(); ++i) {
        const std::string out = dir.File(std::to_string(i) + ".eml");
        EXPECT_EQ(file.WriteMessage(i, out), dbx::DbxFile::WriteResult::kWhole);
        r.texts.push_back(testsupport::ReadFile(out));
    }
    return r;
}

Recovered Recover(const Mailbox& box)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("box.dbx");
    EXPECT_TRUE(box.WriteTo(path));
    return Recover(path);
}

std::vector<std::uint32_t> Offsets(const dbx::EmailRecord& r)
{
    std::vector<std::uint32_t> v;
    for (const auto& b : r.blocks)
        v.push_back(b.offset);
    return v;
}

} // namespace

// The demo mailbox reads back independently and comes back from the engine
// as the maker says, its one e-mail there twice (deleted and live) included.
TEST(Recovery, DemoMailboxComesBackExactly)
{
    const Mailbox box = MakeDemoMailbox();
    const auto f = testing_oe::ReadOeFile(box.Image().Bytes());
    ASSERT_TRUE(f.errors.empty()) << f.errors.front();
    EXPECT_EQ(testing_oe::FirstOverlap(f.extents), "");
    EXPECT_TRUE(box.PartialChains().empty());
    const Recovered r = Recover(box);
    const auto expected = box.RecoveryOrder();
    ASSERT_EQ(expected.size(), box.Messages().size());
    ASSERT_EQ(r.records.size(), expected.size());
    std::size_t live = 0, attachments = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ExpectedMessage& e = *expected[i];
        const dbx::EmailRecord& rec = r.records[i];
        SCOPED_TRACE("record " + std::to_string(i) + ", message " + std::to_string(e.id));
        EXPECT_EQ(rec.isDeleted, e.deleted);
        EXPECT_EQ(Offsets(rec), e.blocks);
        EXPECT_TRUE(r.texts[i] == e.text) << "WriteMessage output differs";
        attachments += e.hasAttachment;
        if (!e.deleted) { // live texts are whole, so the header fields are the written ones
            ++live;
            EXPECT_EQ(rec.from, e.from);
            EXPECT_EQ(rec.to, e.to);
            EXPECT_EQ(rec.subject, e.subject);
            EXPECT_EQ(rec.hasAttachment, e.hasAttachment);
            EXPECT_NE(rec.date, 0u);
        }
    }
    EXPECT_EQ(f.listed.size(), live);
    EXPECT_GE(attachments, 2u);
    int pairs = 0; // the deleted copy is older, lower in the file
    for (const auto& d : box.Messages())
        for (const auto& l : box.Messages())
            if (d.deleted && !l.deleted && d.subject == l.subject && d.textLength == l.textLength) {
                ++pairs;
                EXPECT_LT(d.blocks.front(), l.blocks.front());
            }
    EXPECT_EQ(pairs, 1);
    // The deleted Russian report's subject is a windows-1251 encoded word,
    // which recovery decodes to its bytes.
    bool russian = false;
    for (const auto& rec : r.records)
        russian |= rec.subject == FromUtf8("Отчёт за третий квартал", Charset::Windows1251);
    EXPECT_TRUE(russian);
}

// Scrambled and damaged layouts: every whole message comes back in order,
// and every other record is one of the chains the maker says start inside a
// message.
TEST(Recovery, LayoutsAndDamageMatchTheExpectations)
{
    const Placement placements[] = {Placement::Ascending, Placement::Descending, Placement::Shuffled,
                                    Placement::Interleaved};
    int partialRecords = 0;
    for (const Placement placement : placements) {
        for (int damage = 0; damage < 4; ++damage) {
            SCOPED_TRACE("placement " + std::to_string(static_cast<int>(placement)) + ", damage "
                         + std::to_string(damage));
            MailboxBuilder b(100 + static_cast<std::uint64_t>(damage));
            b.Options().placement = placement;
            b.Options().gap = damage == 1 ? 44 : 0;
            b.Options().staleSlack = damage == 2;
            for (int i = 0; i < 8; ++i)
                b.Add(testing_oe::SampleMail(i, 300 + static_cast<std::size_t>(i) * 900), i % 3 == 0);
            if (damage == 2) {
                b.Overwrite(2, 1);
                b.Relink(4, 3, 0);
                b.Relink(5, 2, 2);
            }
            Mailbox box = b.Build();
            if (damage == 3) { // cut the file inside its highest block
                std::uint32_t highest = 0;
                for (const auto& m : box.Messages())
                    for (std::uint32_t p : m.placed)
                        highest = std::max(highest, p);
                box.Truncate(highest + 16 + 300);
                ASSERT_EQ(box.Image().Size(), highest + 316u);
            }

            const Recovered r = Recover(box);
            const auto whole = box.RecoveryOrder();
            std::size_t w = 0;
            for (std::size_t i = 0; i < r.records.size(); ++i) {
                const auto offsets = Offsets(r.records[i]);
                if (w < whole.size() && offsets == whole[w]->blocks
                    && r.records[i].isDeleted == whole[w]->deleted) {
                    EXPECT_TRUE(r.texts[i] == whole[w]->text) << "message " << whole[w]->id;
                    ++w;
                    continue;
                }
                bool partial = false;
                for (const auto& c : box.PartialChains())
                    partial |= c.blocks == offsets && c.deleted == r.records[i].isDeleted
                               && c.text == r.texts[i];
                EXPECT_TRUE(partial) << "record " << i << " is neither a message nor an expected chain";
                partialRecords += partial;
            }
            EXPECT_EQ(w, whole.size()) << "whole messages missing or out of order";
        }
    }
    EXPECT_GT(partialRecords, 3);
}

// A large mailbox streamed to disk: an independent reading of its index and
// freed list, and the engine's recovery, both agree with its manifest.
TEST(BenchMailbox, StreamedFileReadsBackAndMatchesItsManifest)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("bench.dbx");
    BenchOptions options;
    options.size = 4u << 20;
    options.seed = 77;
    Manifest manifest("bench.dbx", 0);
    const BenchSummary summary = WriteBenchMailbox(path, options, &manifest);
    const std::string bytes = testsupport::ReadFile(path);
    ASSERT_EQ(bytes.size(), summary.fileSize);
    EXPECT_LE(bytes.size(), options.size);
    EXPECT_GT(bytes.size(), options.size * 3 / 4);
    ASSERT_GT(summary.deleted, 0u);
    ASSERT_GT(summary.live, 0u);

    const auto f = testing_oe::ReadOeFile(bytes);
    ASSERT_TRUE(f.errors.empty()) << f.errors.front();
    EXPECT_TRUE(f.signatureOk);
    EXPECT_EQ(f.usedFileSize, bytes.size());
    EXPECT_EQ(f.listed.size(), summary.live);
    EXPECT_EQ(f.lastIndex, summary.live + summary.deleted);
    EXPECT_EQ(testing_oe::FirstOverlap(f.extents), "");

    const auto& entries = manifest.Entries();
    const Recovered r = Recover(path);
    ASSERT_EQ(entries.size(), summary.live + summary.deleted);
    ASSERT_EQ(r.records.size(), entries.size());
    std::map<std::uint32_t, const testing_oe::ListedMessage*> listedByFirst;
    for (const auto& l : f.listed)
        listedByFirst[l.firstBlock] = &l;
    std::set<std::uint32_t> deletedBlocks;
    std::size_t totalBlocks = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ManifestEntry& e = entries[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(r.records[i].isDeleted, e.deleted);
        EXPECT_EQ(Offsets(r.records[i]), e.blocks);
        EXPECT_EQ(r.texts[i].size(), e.size);
        totalBlocks += e.blocks.size();
        if (e.deleted) {
            deletedBlocks.insert(e.blocks.begin(), e.blocks.end());
            continue;
        }
        const auto it = listedByFirst.find(e.blocks.front());
        ASSERT_NE(it, listedByFirst.end());
        EXPECT_EQ(it->second->blocks, e.blocks);
        EXPECT_EQ(it->second->text.size(), e.size);
        EXPECT_EQ(it->second->text.compare(0, 13, "Return-Path: "), 0);
    }
    EXPECT_EQ(std::set<std::uint32_t>(f.freedBlocks.begin(), f.freedBlocks.end()), deletedBlocks);
    EXPECT_EQ(testing_oe::FindBlockHeaders(bytes).size(), totalBlocks);
}
