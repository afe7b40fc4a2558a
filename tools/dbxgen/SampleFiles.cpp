#include "tools/dbxgen/SampleFiles.h"

#include "tools/dbxgen/Prng.h"

#include <algorithm>
#include <cstdio>

namespace dbxgen {

namespace {

void AppendBe32(std::string& out, std::uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint32_t Crc32(std::string_view data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::uint32_t Adler32(std::string_view data)
{
    std::uint32_t a = 1, b = 0;
    for (char ch : data) {
        a = (a + static_cast<unsigned char>(ch)) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void AppendChunk(std::string& png, std::string_view type, std::string_view data)
{
    AppendBe32(png, static_cast<std::uint32_t>(data.size()));
    std::string body(type);
    body += data;
    png += body;
    AppendBe32(png, Crc32(body));
}

std::string PdfEscape(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '(' || c == ')' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

} // namespace

std::string MakePdf(std::string_view title, const std::vector<std::string>& lines,
                    std::size_t minSize)
{
    // Appended piece by piece: "literal" + string trips GCC's -O3 -Wrestrict.
    std::string content = "BT\n/F1 16 Tf\n56 780 Td\n18 TL\n(";
    content.append(PdfEscape(title)).append(") Tj\n/F1 11 Tf\n");
    for (const auto& line : lines)
        content.append("(").append(PdfEscape(line)).append(") '\n");
    for (int n = 1; content.size() + 900 < minSize; ++n) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "(Appendix line %05d: figures carried over from the ledger.) '\n", n);
        content += buf;
    }
    content += "ET\n";

    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R"
        " /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Title (" + PdfEscape(title) + ") /Producer (Acrobat Distiller 6.0) >>",
    };
    std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t off : offsets) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", off);
        pdf += buf;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1)
           + " /Root 1 0 R /Info 6 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

std::string MakePng(int width, int height, std::uint32_t accent)
{
    // A small landscape: sky, a sun in the accent colour, water with ripples.
    std::string raw;
    const int horizon = height * 3 / 5;
    const int cx = width * 3 / 4, cy = height / 4, r = std::max(2, height / 7);
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0'); // filter: none
        for (int x = 0; x < width; ++x) {
            int red, green, blue;
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) {
                red = (accent >> 16) & 0xFF;
                green = (accent >> 8) & 0xFF;
                blue = accent & 0xFF;
            } else if (y < horizon) {
                red = 120 + 100 * y / horizon;
                green = 170 + 60 * y / horizon;
                blue = 235;
            } else {
                const bool ripple = (x + 3 * y) % 17 == 0;
                red = ripple ? 180 : 30;
                green = ripple ? 200 : 90 + 40 * (height - y) / (height - horizon);
                blue = ripple ? 230 : 150;
            }
            raw.push_back(static_cast<char>(red));
            raw.push_back(static_cast<char>(green));
            raw.push_back(static_cast<char>(blue));
        }
    }
    // zlib stream of stored (uncompressed) deflate blocks.
    std::string z = "\x78\x01";
    for (std::size_t at = 0; at < raw.size() || at == 0;) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        const bool last = at + n == raw.size();
        z.push_back(last ? '\x01' : '\x00');
        z.push_back(static_cast<char>(n & 0xFF));
        z.push_back(static_cast<char>(n >> 8));
        z.push_back(static_cast<char>(~n & 0xFF));
        z.push_back(static_cast<char>((~n >> 8) & 0xFF));
        z.append(raw, at, n);
        at += n;
        if (last)
            break;
    }
    AppendBe32(z, Adler32(raw));

    std::string ihdr;
    AppendBe32(ihdr, static_cast<std::uint32_t>(width));
    AppendBe32(ihdr, static_cast<std::uint32_t>(height));
    ihdr += std::string("\x08\x02\x00\x00\x00", 5); // 8-bit RGB, no interlace
    std::string png = "\x89PNG\r\n\x1A\n";
    AppendChunk(png, "IHDR", ihdr);
    AppendChunk(png, "IDAT", z);
    AppendChunk(png, "IEND", {});
    return png;
}

std::string RandomBytes(Prng& prng, std::size_t n)
{
    std::string out(n, '\0');
    for (std::size_t i = 0; i < n; i += 8) {
        std::uint64_t v = prng.Next();
        for (std::size_t k = 0; k < 8 && i + k < n; ++k, v >>= 8)
            out[i + k] = static_cast<char>(v & 0xFF);
    }
    return out;
}

} // namespace dbxgen
