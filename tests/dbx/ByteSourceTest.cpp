// The byte sources the engine reads through: an image read in cached
// chunks, bad sectors as zeros, and the view of a former mail file made of
// pieces of an image with gaps between them.

#include "dbx/ByteSource.h"
#include "dbx/CarveCandidates.h"
#include "dbx/PieceSource.h"
#include "support/TempDir.h"
#include "tools/dbxgen/DbxImage.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

std::string Counting(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 13 + i / 509);
    return s;
}

} // namespace

TEST(ByteSource, AnImageReadsLikeTheFileAcrossItsCacheChunks)
{
    testsupport::TempDir dir;
    const std::string bytes = Counting(5 * dbx::ImageSource::kChunkSize + 123);
    testsupport::WriteFile(dir.File("disk.img"), bytes);
    dbx::ImageSource image;
    ASSERT_TRUE(image.Open(dir.File("disk.img")));
    std::mt19937 rng(5);
    for (int k = 0; k < 200; ++k) {
        const std::uint64_t pos = rng() % (bytes.size() + 100);
        const std::size_t n = rng() % (3 * dbx::ImageSource::kChunkSize);
        std::string out(n, '?');
        const std::size_t got = image.Read(pos, out.data(), n);
        ASSERT_EQ(got, pos >= bytes.size() ? 0 : std::min<std::size_t>(n, bytes.size() - pos));
        ASSERT_EQ(out.substr(0, got), bytes.substr(std::min<std::size_t>(pos, bytes.size()), got)) << pos;
    }
    dbx::ImageSource fresh;  // the cache of the first holds the sector already
    ASSERT_TRUE(fresh.Open(dir.File("disk.img")));
    fresh.File().FailSectorsForTesting([](std::uint64_t sector) { return sector == 300; });
    std::string out(1024, '?');
    ASSERT_EQ(fresh.Read(300 * 512 - 512, out.data(), out.size()), out.size());
    EXPECT_EQ(out.substr(0, 512), bytes.substr(300 * 512 - 512, 512));
    EXPECT_EQ(out.substr(512), std::string(512, '\0'));
    EXPECT_TRUE(fresh.HasMissing(300 * 512 + 7, 1));
    EXPECT_FALSE(fresh.HasMissing(301 * 512, 4096));
}

TEST(ByteSource, PiecesMapOffsetsIntoTheImageWithGapsAsMissingZeros)
{
    const std::string image = Counting(10000);
    auto view = std::make_shared<dbx::ViewSource>(image);
    // Offsets [100, 300) at image 1000..1200; [300, 400) at 50..150; [600, 700) at 9000.
    const dbx::PieceSource file(view, {{100, 300, 900}, {300, 400, -250}, {600, 700, 8400}});
    EXPECT_EQ(file.Size(), 700u);
    const struct {
        std::uint64_t pos;
        std::size_t n;
        std::string expected;
        bool missing;
    } reads[] = {
        {100, 200, image.substr(1000, 200), false},
        {290, 20, image.substr(1190, 10) + image.substr(50, 10), false},
        {390, 20, image.substr(140, 10) + std::string(10, '\0'), true},
        {0, 100, std::string(100, '\0'), true},
        {650, 100, image.substr(9050, 50), false},
        {700, 5, "", false},
    };
    for (const auto& r : reads) {
        std::string out(r.n, '?');
        out.resize(file.Read(r.pos, out.data(), r.n));
        EXPECT_EQ(out, r.expected) << r.pos;
        EXPECT_EQ(file.HasMissing(r.pos, r.n), r.missing) << r.pos;
    }
    ASSERT_NE(file.PieceAt(300), nullptr);
    EXPECT_EQ(file.PieceAt(300)->shift, -250);
    EXPECT_EQ(file.PieceAt(450), nullptr);
    EXPECT_EQ(file.PieceAt(700), nullptr);
}

TEST(ByteSource, ThePassFindsHeadersAndSignaturesAcrossItsReadingPieces)
{
    // Headers and signatures right at and across the boundaries of the
    // pass's pieces of reading, compared with one search over the whole.
    testsupport::TempDir dir;
    const std::size_t chunk = dbx::CarveLimits::kPassChunk;
    dbxgen::DbxImage bytes(2 * chunk + 4096);
    const char signature[] = "\xCF\xAD\x12\xFE\xC5\xFD\x74\x6F\x66\xE3\xD1\x11\x9A\x4E\x00\xC0\x4F\xA3\x09\xD4";
    for (const std::size_t at : {chunk - 16, chunk - 12, chunk - 4, chunk, chunk + 4, 2 * chunk - 8, 2 * chunk + 4080})
        bytes.PutHeader(static_cast<std::uint32_t>(at), 512, 100, static_cast<std::uint32_t>(at) + 528);
    bytes.PutBytes(chunk, std::string(signature, 20));  // at a sector start, straddling nothing
    bytes.PutBytes(chunk - 512, std::string(signature, 20));
    const std::string path = dir.File("pass.img");
    ASSERT_TRUE(bytes.WriteTo(path));
    dbx::ImageSource image;
    ASSERT_TRUE(image.Open(path));
    dbx::ICarveProgress quiet;
    const dbx::PassResult pass = dbx::FindCandidates(image, quiet);
    std::vector<dbx::Candidate> whole;
    dbx::FindCandidatesIn(reinterpret_cast<const std::uint8_t*>(bytes.Bytes().data()), bytes.Size(), 0, whole, ~0ull);
    ASSERT_EQ(pass.candidates.size(), whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i)
        EXPECT_EQ(pass.candidates[i].packed, whole[i].packed);
    EXPECT_EQ(pass.signatures, (std::vector<std::uint64_t>{chunk - 512, chunk}));
    EXPECT_EQ(pass.bytesRead, bytes.Size());
}
