#include "render/ParseBudget.h"

#include "render/Limits.h"

#include <algorithm>
#include <cctype>

namespace render {
namespace {

// The parser gives up on nesting deeper than this, so no more boundaries
// can be open at once.
constexpr std::size_t kParserMaxDepth = 1024;

std::size_t CountBoundaryWords(std::string_view line)
{
    static constexpr std::string_view kWord = "boundary";
    std::size_t count = 0;
    for (std::size_t i = 0; i + kWord.size() <= line.size(); ++i) {
        if ((line[i] | 0x20) != 'b')
            continue;
        bool match = true;
        for (std::size_t k = 1; k < kWord.size() && match; ++k)
            match = std::tolower(static_cast<unsigned char>(line[i + k])) == kWord[k];
        count += match ? 1 : 0;
    }
    return count;
}

} // namespace

std::size_t MimeWorkPrefix(std::string_view raw)
{
    std::size_t boundaries = 0;
    std::size_t work = 0;
    for (std::size_t start = 0; start < raw.size();) {
        const std::size_t newline = raw.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? raw.size() : newline + 1;
        const std::string_view line = raw.substr(start, end - start);
        boundaries = std::min(boundaries + CountBoundaryWords(line), kParserMaxDepth);
        if (line.size() >= 2 && line[0] == '-' && line[1] == '-') {
            work += std::max<std::size_t>(boundaries, 1);
            if (work > limits::kMaxBoundaryWork)
                return start;
        }
        start = end;
    }
    return raw.size();
}

} // namespace render
