// The search of a text up to its first zero against the plain reading, on
// random texts where needles, near misses and zeros are common, along both
// the 16-byte and (where the CPU has them) 32-byte inner loops.

#include "dbx/Simd.h"
#include "dbx/TextSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

TEST(TextSearch, FindsTheFirstMatchBeforeTheFirstZeroOnEveryPath)
{
    std::mt19937 rng(7);
    const std::string needles[] = {"ab", "Content-Type: application", "a\nb"};
    for (const bool baseline : {false, true}) {
        dbx::simd::SetBaselineForTesting(baseline);
        for (const std::string& needle : needles) {
            const dbx::TextSearcher searcher(needle);
            for (int round = 0; round < 3000; ++round) {
                // Mostly filler, with the needle, its first or last byte alone, or a zero dropped in.
                std::string text(std::uniform_int_distribution<std::size_t>(0, 700)(rng), 'x');
                const int drops = std::uniform_int_distribution<int>(0, 6)(rng);
                for (int d = 0; d < drops && !text.empty(); ++d) {
                    const std::size_t at = std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(rng);
                    const int kind = std::uniform_int_distribution<int>(0, 9)(rng);
                    const std::string piece = kind < 3 ? needle
                                              : kind < 6 ? needle.substr(0, 1)
                                              : kind < 9 ? needle.substr(needle.size() - 1)
                                                         : std::string(1, '\0');
                    text.replace(at, std::min(piece.size(), text.size() - at), piece.substr(0, text.size() - at));
                }
                const std::size_t end = std::min(text.find('\0'), text.size());
                const std::size_t expected = text.substr(0, end).find(needle);
                std::size_t zero = 12345;
                const std::size_t found = searcher.FindBeforeZero(text.data(), text.size(), zero);
                ASSERT_EQ(found, expected) << "baseline " << baseline << ", needle " << needle << ", round " << round;
                if (found == std::string::npos) {
                    ASSERT_EQ(zero, end) << "baseline " << baseline << ", needle " << needle << ", round " << round;
                }
                // The same where the bytes after the text may be read: what
                // they hold (the needle, a zero) does not count.
                const std::string readOn = text + needle + '\0' + std::string(searcher.ReadOn(), 'x');
                std::size_t zeroReadingOn = 12345;
                ASSERT_EQ(searcher.FindBeforeZeroReadingOn(readOn.data(), text.size(), zeroReadingOn), expected)
                    << "baseline " << baseline << ", needle " << needle << ", round " << round;
                if (found == std::string::npos) {
                    ASSERT_EQ(zeroReadingOn, end) << "baseline " << baseline << ", round " << round;
                }
            }
        }
    }
    dbx::simd::SetBaselineForTesting(false);
}
