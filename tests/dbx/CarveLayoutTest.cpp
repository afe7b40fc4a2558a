// The carver's planning of former mail files from the headers of an image:
// pieces found, joined into the right files, their boundaries where the
// file system cut them, and nothing made of noise.

#include "dbx/ByteSource.h"
#include "dbx/CarveLayout.h"
#include "tools/dbxgen/CarveImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

dbx::Layout Plan(const std::string& bytes)
{
    std::vector<dbx::Candidate> candidates;
    dbx::FindCandidatesIn(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), 0, candidates, ~0ull);
    std::vector<std::uint64_t> signatures;
    for (std::size_t s = 0; s + 4 <= bytes.size(); s += 512)
        if (bytes.compare(s, 4, "\xCF\xAD\x12\xFE") == 0)
            signatures.push_back(s);
    dbx::ViewSource image(bytes);
    return dbx::PlanLayout(candidates, signatures, image);
}

} // namespace

TEST(CarveLayout, FragmentedFilesComeBackWithTheirPiecesAndBoundaries)
{
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE(seed);
        const auto files = dbxgen::MakeMailFiles(4, 160 * 1024, seed);
        const auto image = dbxgen::MakeFragmentedImage(files, 4096, seed);
        const dbx::Layout layout = Plan(image.bytes);
        EXPECT_EQ(layout.alignment, 4096u);
        std::map<std::size_t, int> planned;  // per true file: how many former files it became
        for (const dbx::FormerFile& file : layout.files) {
            // All pieces belong to one true file, and every byte they map is
            // that file's byte at that offset, but for the last block of a
            // piece whose end nothing told.
            std::set<std::size_t> owners;
            for (const dbx::Piece& piece : file.pieces)
                for (const auto& p : image.pieces)
                    if (static_cast<std::int64_t>(p.position - p.fileOffset) == piece.shift
                        && p.fileOffset < piece.to && piece.from < p.fileOffset + p.length)
                        owners.insert(p.file);
            ASSERT_EQ(owners.size(), 1u);
            const std::string& truth = files[*owners.begin()].bytes;
            for (const dbx::Piece& piece : file.pieces) {
                const std::size_t length = piece.to - piece.from;
                const std::string mapped = image.bytes.substr(piece.Position(piece.from), length > 528 ? length - 528 : 0);
                const std::string real = truth.substr(piece.from, mapped.size());
                const auto differ = std::mismatch(mapped.begin(), mapped.end(), real.begin(), real.end());
                EXPECT_TRUE(differ.first == mapped.end())
                    << "piece [" << piece.from << ", " << piece.to << ") at shift " << piece.shift
                    << " differs from offset " << piece.from + (differ.first - mapped.begin());
            }
            ++planned[*owners.begin()];
        }
        EXPECT_EQ(planned.size(), files.size());
        std::printf("seed %llu: %zu pieces of %zu files became %zu former files; links decided %llu, undecided %llu, "
                    "refused %llu; neighbours joined %llu\n",
                    static_cast<unsigned long long>(seed), image.pieces.size(), files.size(), layout.files.size(),
                    static_cast<unsigned long long>(layout.counts.linksDecided),
                    static_cast<unsigned long long>(layout.counts.linksUndecided),
                    static_cast<unsigned long long>(layout.counts.linksRefused),
                    static_cast<unsigned long long>(layout.counts.neighboursJoined));
    }
}
