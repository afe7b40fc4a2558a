// Writes the seed inputs of the fuzz targets into <folder>/<target>/: small
// mail files with the layouts the scan must handle, the texts the header
// functions see, and deleted e-mails for the renderer. Run it when the seeds
// should change, then scripts/fuzz-merge.sh (which keeps a seed only if it
// adds coverage), and commit the result:
//   quillmend_fuzz_seeds fuzz/corpus
// The fuzz_engine seed mkdbx-demo-cut.dbx is not written here: it is the
// first 30,000 bytes of the demo mailbox of quillmend-mkdbx ("demo"), cutting
// a long message short.

#include "tools/dbxgen/CarveImages.h"
#include "tools/dbxgen/DbxImage.h"
#include "tools/dbxgen/DemoMailbox.h"
#include "tools/dbxgen/MimeText.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using dbxgen::DbxImage;

std::filesystem::path g_root;

void Write(const std::string& target, const std::string& name, const std::string& bytes)
{
    const std::filesystem::path dir = g_root / target;
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (bytes.size() > 64 * 1024)
        std::fprintf(stderr, "warning: %s/%s is %zu bytes\n", target.c_str(), name.c_str(), bytes.size());
}

std::string Full(std::string head)
{
    head.resize(512, 'x');
    return head;
}

// Links `texts` (one payload each) through the blocks at `offsets`.
void Chain(DbxImage& image, const std::vector<std::uint32_t>& offsets, const std::vector<std::string>& texts,
           bool deleted, std::uint32_t lastNext = 0)
{
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        const std::uint32_t next = i + 1 < offsets.size() ? offsets[i + 1] : lastNext;
        if (deleted)
            image.PutDeletedBlock(offsets[i], texts[i], next);
        else
            image.PutLiveBlock(offsets[i], texts[i], next);
    }
}

const char* const kHeader = "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\n"
                            "Subject: =?windows-1251?B?z/Do4uXy?=\r\nDate: Tue, 15 Jan 2008 10:20:30 +0100\r\n"
                            "Content-Type: application/pdf\r\n\r\n";

void EngineSeeds()
{
    const std::string t = "fuzz_engine";
    {
        DbxImage image(4096);  // the worked example of the format notes
        image.PutLiveBlock(1024, Full("From: ann@example.org\r\nSubject: live\r\n"), 2048);
        image.PutLiveBlock(2048, std::string(100, 'y'), 0);
        image.PutDeletedBlock(3072, "XXXXSubject: gone\r\n", 0);
        Write(t, "worked-example.dbx", image.Bytes());
    }
    {
        DbxImage image(8192);
        Chain(image, {1024, 2048, 3072}, {Full(kHeader), Full("body"), "end\r\n"}, false);
        Chain(image, {6656, 5632, 4608}, {Full("XXXXSubject: backwards\r\n"), Full("XXXX"), "XXXXend"}, true);
        Write(t, "forwards-and-backwards.dbx", image.Bytes());
    }
    {
        DbxImage image(12288);  // a backwards message with another one's blocks in between
        const std::uint32_t base = 528;
        for (std::uint32_t k = 0; k < 8; ++k) {
            image.PutLiveBlock(base + 2 * 528 * k, Full(k == 7 ? "Subject: top\r\n" : "to: part\r\n"),
                               k == 0 ? 0 : base + 2 * 528 * (k - 1));
            image.PutLiveBlock(base + 2 * 528 * k + 528, Full("From: other\r\n"), k == 7 ? 0 : base + 2 * 528 * (k + 1) + 528);
        }
        Write(t, "interleaved.dbx", image.Bytes());
    }
    {
        DbxImage image(8192);  // cycles, a self link, a block at offset 0, a broken link
        image.PutLiveBlock(0, "Subject: at zero\r\n", 0);
        Chain(image, {1024, 2048}, {Full("Subject: loop\r\n"), Full("y")}, false, 1024);
        image.PutLiveBlock(3072, Full("Subject: self\r\n"), 3072);
        Chain(image, {4096, 5120}, {Full("XXXXSubject: cut\r\n"), "XXXXrest"}, true, 9999);
        image.PutHeader(6144, 512, 513, 0);  // too long: no block
        image.PutLiveBlock(7168, "Subject: near the end\r\n", 0);
        image.Resize(7200);  // its payload runs past the end
        Write(t, "damaged.dbx", image.Bytes());
    }
    {
        DbxImage image(4096);  // the same message live and deleted
        const std::string text = std::string("From: a@x\r\nSubject: twice\r\ndate: 15 Jan 08 10:20:30 +0000\r\n\r\nbody");
        image.PutLiveBlock(512, text, 0);
        image.PutDeletedBlock(2048, "XXXX" + text.substr(4), 0);
        Write(t, "live-and-deleted.dbx", image.Bytes());
    }
    Write(t, "tiny.dbx", std::string(19, '\0'));
    {
        DbxImage image;  // a shared tail: several starts into one chain
        for (std::uint32_t i = 0; i < 16; ++i)
            image.PutLiveBlock(i * 528, Full("tail"), i + 1 < 16 ? (i + 1) * 528 : 0);
        for (std::uint32_t i = 16; i < 32; ++i)
            image.PutLiveBlock(i * 528, Full("Subject: start\r\n"), 0);
        Write(t, "shared-tail.dbx", image.Bytes());
    }
}

void HeaderSeeds()
{
    const std::vector<std::string> dates = {
        "Tue, 15 Jan 2008 10:20:30 +0100", "15 Jan 2008", "10:20:30", "15 Foo 2008",
        "15 Jan 08 10:20:30 +0000", "Mon,  3 Feb  2003 07:08:09 -0500", "31 Apr 2007", "29 Feb 1601 00:00:00 +1400",
        "Thu, 31 Dec 30827 23:59:59 -1200", std::string(300, ' ') + "1 Jan 2000",
    };
    for (std::size_t i = 0; i < dates.size(); ++i)
        Write("fuzz_parse_date", "date-" + std::to_string(i), std::string(1, static_cast<char>(48 + i)) + dates[i]);
    std::string many;
    for (int i = 0; i < 130; ++i)
        many += "12 ";
    Write("fuzz_parse_date", "many-tokens", "\x30" + many);

    auto base64 = [](std::size_t capacity, const std::string& text) {
        return std::string{static_cast<char>(capacity & 0xFF), static_cast<char>(capacity >> 8)} + text;
    };
    Write("fuzz_decode_base64", "word", base64(511, "z/Do4uXy"));
    Write("fuzz_decode_base64", "short-groups", base64(511, "QQ== QUI= QUJD ?x?y"));
    Write("fuzz_decode_base64", "too-small", base64(2, "QUJDREVG"));

    auto labelled = [](const std::string& label, const std::string& text) {
        return std::string(1, static_cast<char>(label.size())) + label + text;
    };
    Write("fuzz_find_header_value", "from", labelled("From: ", "From:   Ann <a@x>   \r\nTo: b\r\n"));
    Write("fuzz_find_header_value", "empty-value", labelled("Subject: ", "Subject: \r\nsubject: x\r\n"));
    Write("fuzz_find_header_value", "bare-lf", labelled("To: ", "Reply-To: r\nTo: t\nX: y\r\n"));
    Write("fuzz_find_header_value", "no-line-end", labelled("Date: ", "Date: 15 Jan 2008"));
    Write("fuzz_find_header_value", "long", labelled("From: ", "From: " + std::string(2000, 'f') + "\r\n"));

    Write("fuzz_header_text", "words", "Fw: =?utf-8?Q?Cat=C3=B3lica_?= =?UTF-8?b?4oCc?= =?koi8-r?q?=EF=D4?= x");
    Write("fuzz_header_text", "legacy", "=?windows-1251?B?zvL3uPI=?= =?iso-8859-1?q?caf=E9?= =?gb2312?B?xOO6ww==?=");
    Write("fuzz_header_text", "broken", "=?utf-8?B?Q2Fm*?= =?x-none?q?a?= =?utf-8?q?=Z?= =?=?? caf\xE9\t\r\n end");
    Write("fuzz_header_text", "split", "=?utf-8?B?ww==?= =?utf-8?B?qQ==?= =?utf-16?B?2D3eAA==?=");
    Write("fuzz_header_text", "wide", "=?utf-16?B?AGEAYg==?= =?UTF-32?B?AAAAYQ==?= x =?utf-16le?Q?a=00?= "
                                      "=?utf-16?B?//5hAA==?=");
}

// Deleted e-mails for the renderer: the demo's, as the engine reads them
// (four spaces over the start of every 512 bytes, zeros after the end), with
// the first byte saying "a gap every 512 bytes"; and one with gaps placed on
// a boundary line and a header name.
void RenderSeeds()
{
    int n = 0;
    for (const auto& [message, deleted] : dbxgen::DemoMessages()) {
        std::string text = message.text;
        if (!deleted || text.size() > 60000)
            continue;
        text.resize((text.size() + 511) / 512 * 512, '\0');
        for (std::size_t at = 0; at < text.size(); at += 512)
            text.replace(at, 4, "    ");
        Write("fuzz_render", "deleted-demo-" + std::to_string(n++) + ".eml", "\xC0" + text);
    }
    for (const auto& [message, deleted] : dbxgen::DemoMessages()) {
        const std::size_t boundary = message.text.find("\r\n------=_NextPart_001");
        const std::size_t name = message.text.find("Content-Transfer-Encoding");
        if (deleted || boundary == std::string::npos || name == std::string::npos || message.text.size() > 60000)
            continue;
        std::string seed = "\x82";
        for (const std::size_t at : {boundary, name + 8}) {
            seed += static_cast<char>(at & 0xFF);
            seed += static_cast<char>((at >> 8) & 0xFF);
        }
        Write("fuzz_render", "deleted-boundary-and-name.eml", seed + message.text);
        break;
    }
    // Hostile header shapes: a deleted e-mail with a header line at the
    // start of every block (a name restored in each), and more short fields
    // than a header block keeps.
    std::string lines = "From: a@example.com\r\nSubject: lines\r\nX-Pad: ";
    lines += std::string(62 - lines.size(), 'p') + "\r\n";
    while (lines.size() < 8000)
        lines += "Received: " + std::string(52, 'a') + "\r\n";
    for (std::size_t at = 0; at < lines.size(); at += 512)
        lines.replace(at, 4, "    ");
    Write("fuzz_render", "deleted-header-line-in-every-block.eml", "\xC0" + lines + "\r\nbody\r\n");
    std::string fields = "Subject: fields\r\n";
    while (fields.size() < 8000)
        fields += "a:\n";
    Write("fuzz_render", "short-header-fields.eml", fields + "\nbody\n");

    // Every kind of attachment: names in RFC 2231 continuations (UTF-16)
    // and RFC 2047 words, an attached message with a file inside, a
    // uuencoded file in the body, quoted-printable and 8-bit files. Then
    // the same deleted, a gap every 512 bytes.
    std::string binary;
    for (int i = 0; i < 700; ++i)
        binary += static_cast<char>(i * 37 % 256);
    const std::string kinds = dbxgen::Crlf(
        "From: a@example.com\nSubject: files\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"m\"\n\n"
        "--m\nContent-Type: text/plain\n\nsee below\n")
        + dbxgen::Uuencode("old scan.jpg", binary) + dbxgen::Crlf(
        "--m\nContent-Type: application/pdf\nContent-Disposition: attachment;\n filename*0*=utf-16''%00a%04Q;\n"
        " filename*1=\".pdf\"\nContent-Transfer-Encoding: base64\n\n")
        + dbxgen::Base64(binary) + dbxgen::Crlf(
        "\n--m\nContent-Type: image/gif; name=\"=?utf-8?Q?photo=E2=80=AEgpj.exe?=\"\n"
        "Content-Transfer-Encoding: quoted-printable\n\nGIF89a=00=01=FF\n"
        "--m\nContent-Type: message/rfc822\n\nFrom: b@example.com\nSubject: inner\n"
        "Content-Type: multipart/mixed; boundary=\"i\"\n\n--i\nContent-Type: text/plain\n\ninner\n"
        "--i\nContent-Type: application/octet-stream; name=\"../x.bin\"\nContent-Transfer-Encoding: 8bit\n\n")
        + binary.substr(0, 100) + dbxgen::Crlf("\n--i--\n\n--m--\n");
    Write("fuzz_render", "attachments.eml", kinds);
    std::string deleted = kinds;
    deleted.resize((deleted.size() + 511) / 512 * 512, '\0');
    for (std::size_t at = 0; at < deleted.size(); at += 512)
        deleted.replace(at, 4, "    ");
    Write("fuzz_render", "deleted-attachments.eml", "\xC0" + deleted);
}

// Wine registry files: a user.reg with an Outlook Express store in each
// value encoding, a system.reg with variables, and damaged ones.
void RegistrySeeds()
{
    const std::string t = "fuzz_registry_file";
    const std::string user = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                             "#arch=win64\n";
    const std::string store = "\n[Identities\\\\{A1}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] "
                              "1700000000\n#time=1d9a5b2c3d4e5f6\n";
    Write(t, "user-str2", user + "\n[Identities] 1700000000\n#time=1d9a5b2c3d4e5f6\n\"Default User ID\"=\"{A1}\"\n"
                              + store + "\"Store Root\"=str(2):\"%UserProfile%\\\\Local Settings\\\\Identities\"\n"
                              "\"Username\"=\"Main Identity\"\n");
    Write(t, "user-hex2", user + store
                              + "\"Store Root\"=hex(2):43,00,3a,00,5c,00,4d,00,61,00,69,00,6c,00,5c,00,e9,00,\\\n"
                                "  00,00\n@=dword:0000000a\n\"Bin\"=hex:01,02,ff\n\"Multi\"=str(7):\"a\\0b\\0\"\n");
    Write(t, "user-escapes", user + "\n[Keys\\\\b\\[1\\]\\xe9] 1\n#class=\"c\"\n#link\n\"v\"=\"a\\\\b\\\"c\\t\\101\\x4e2d\"\n"
                                 "\n[Keys\\\\_x] 1\n[Keys\\\\A] 1\n[keys\\\\a2] 1\n\"v\"=\"\\xd83d\\xde00\"\r\n");
    Write(t, "system-environment",
          "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n"
          "\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList\\\\S-1-5-21-0-0-0-1000] 1\n"
          "\"ProfileImagePath\"=str(2):\"%SystemDrive%\\\\users\\\\ann\"\n"
          "\n[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment] 1\n"
          "\"windir\"=str(2):\"%SystemRoot%\"\n\"PATH\"=str(2):\"%SystemRoot%\\\\system32;%SystemRoot%\"\n");
    Write(t, "cut-in-value", user + store + "\"Store Root\"=str(2):\"%UserProfile%\\\\Loc");
    Write(t, "cut-in-hex", user + store + "\"Store Root\"=hex(2):43,00,3a,00,\\\n  5c,");
    std::string chain = user + "\n[Environment] 1\n\"V0\"=\"" + std::string(1000, 'x') + "\"\n";
    for (int i = 1; i < 5; ++i) {
        chain += "\"V" + std::to_string(i) + "\"=str(2):\"";
        for (int n = 0; n < 64; ++n)
            chain += "%V" + std::to_string(i - 1) + "%";
        chain += "\"\n";
    }
    Write(t, "environment-chain", chain + "\n[Identities] 1\n\"Last User ID\"=\"{B2}\"\n"
                                  "\n[Identities\\\\{B2}] 1\n\"Username\"=\"%V4%\"\n");
    Write(t, "malformed", user + "\n[Unclosed 1\n\"v\"=\"x\"\n[A] 1\n\"v\"=hex(zz):00\n\"w\"=hex:100,1\n\"x\"\n"
                              "\"y\"=dword:-1\n\"z\"=str(9):\"q\"\n\"\\\"=\"\n");
}

} // namespace

// Small former mail files in images: cut into pieces among noise, moved
// inside a file, with a header across a piece boundary.
void CarveSeeds()
{
    const std::string t = "fuzz_carve";
    // A mail file of a few chains: the message-file signature at its start.
    DbxImage file(6144);
    const char signature[] = "\xCF\xAD\x12\xFE\xC5\xFD\x74\x6F\x66\xE3\xD1\x11\x9A\x4E\x00\xC0\x4F\xA3\x09\xD4";
    file.PutBytes(0, std::string(signature, 20));
    Chain(file, {532, 1060, 1588}, {Full(kHeader), Full("=?x?B?QUJD?= body\r\n"), "end\r\n"}, false);
    Chain(file, {2116, 2644}, {Full("From: c@d\r\nSubject: two\r\n\r\n"), "done\r\n"}, true);
    Chain(file, {3172, 3700, 4228, 4756}, {Full(kHeader), Full("QUJDRA=="), Full("more"), "last\r\n"}, false);
    const std::vector<dbxgen::MailFile> files = {{"a.dbx", file.Bytes()}, {"b.dbx", file.Bytes()}};
    Write(t, "pieces-in-noise.img", dbxgen::MakeFragmentedImage({files[0]}, 512, 3).bytes);
    Write(t, "two-copies-in-pieces.img", dbxgen::MakeFragmentedImage(files, 1024, 4).bytes);
    // Blocks 1024 bytes below the offsets they name, beside the file itself.
    {
        DbxImage moved(12288);
        moved.PutBytes(0, file.Bytes());
        std::string chain = file.Bytes().substr(3172, 4 * 528);
        moved.PutBytes(8192 - 1024 + 0, chain);
        Write(t, "moved-blocks.dbx", moved.Bytes());
    }
    // A header cut by a piece boundary before its link.
    {
        std::string cut = file.Bytes();
        std::string image(512, '\x55');
        image += cut.substr(0, 1072) + std::string(1024, '\x33') + cut.substr(1072);
        Write(t, "header-across-a-boundary.img", image);
    }
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    EngineSeeds();
    CarveSeeds();
    HeaderSeeds();
    RenderSeeds();
    RegistrySeeds();
    return 0;
}
