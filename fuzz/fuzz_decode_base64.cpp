// DecodeBase64 on arbitrary text. The first two bytes give the capacity
// (0 .. 1023), the rest is the source. The output buffer is exactly that
// large, so a store past it is caught; the count, the result and the bytes
// stored are compared with a plain decoding.

#include "FuzzCheck.h"

#include "dbx/HeaderFields.h"

#include <memory>
#include <vector>

namespace {

int Digit(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t capacity = (std::size_t{data[0]} | std::size_t{data[1]} << 8) % 1024;
    const char* source = reinterpret_cast<const char*>(data + 2);
    const std::size_t length = size - 2;

    // Plain decoding: all digits as one bit string, 8 bits at a time, with
    // the group sizes that tell how far a capacity lets storing go.
    std::vector<int> digits;
    for (std::size_t i = 0; i < length; ++i)
        if (const int d = Digit(static_cast<unsigned char>(source[i])); d >= 0)
            digits.push_back(d);
    std::vector<std::uint8_t> plain;
    std::size_t fits = 0;  // bytes stored before the first group that does not fit
    bool allFit = true;
    for (std::size_t g = 0; g < digits.size(); g += 4) {
        const std::size_t n = std::min<std::size_t>(4, digits.size() - g);
        std::uint32_t bits = 0;
        for (std::size_t k = 0; k < 4; ++k)
            bits = (bits << 6) | static_cast<std::uint32_t>(k < n ? digits[g + k] : 0);
        const std::size_t bytes = n * 6 / 8;
        for (std::size_t k = 0; k < bytes; ++k)
            plain.push_back(static_cast<std::uint8_t>(bits >> (16 - 8 * k)));
        if (allFit && plain.size() <= capacity)
            fits = plain.size();
        else
            allFit = false;
    }

    const auto out = std::make_unique<std::uint8_t[]>(capacity);
    std::size_t count = capacity;
    const bool stored = dbx::DecodeBase64(source, length, out.get(), count);
    FUZZ_CHECK(count == plain.size());
    FUZZ_CHECK(stored == (plain.size() <= capacity));
    for (std::size_t i = 0; i < fits; ++i)
        FUZZ_CHECK(out[i] == plain[i]);
    return 0;
}
