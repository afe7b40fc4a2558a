#pragma once
// Small but valid attachment files for the sample e-mails: a one-page PDF and
// a PNG image, plus filler bytes for attachments whose content does not matter.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dbxgen {

class Prng;

// A one-page PDF showing `lines` under `title`; extra text lines (off the
// page) pad it to roughly `minSize` bytes.
std::string MakePdf(std::string_view title, const std::vector<std::string>& lines,
                    std::size_t minSize = 0);
// A width x height RGB PNG (uncompressed deflate): a little landscape with
// a sun in `accent` (0xRRGGBB).
std::string MakePng(int width, int height, std::uint32_t accent);
// n bytes of noise.
std::string RandomBytes(Prng& prng, std::size_t n);

} // namespace dbxgen
