// Names for saved attachments: whatever the e-mail says, one safe file name
// in the chosen folder that shows its real ending.

#include "dbx/AttachmentNaming.h"

#include <gtest/gtest.h>

using dbx::CleanAttachmentName;

TEST(AttachmentNaming, HostileNamesBecomeOneSafeName)
{
    const struct {
        const char* given;
        const char* type;
        const char* name;
    } cases[] = {
        {"report.pdf", "application/pdf", "report.pdf"},
        {"Gr\xC3\xBC\xC3\x9F" "e.txt", "text/plain", "Gr\xC3\xBC\xC3\x9F" "e.txt"},
        {"Gr\xFC\xDF" "e.txt", "text/plain", "Gr\xC3\xBC\xC3\x9F" "e.txt"},  // not UTF-8: Windows-1252
        // Paths: the last part; nothing left above the folder.
        {"../../etc/passwd", "", "passwd"},
        {"C:\\Documents and Settings\\ann\\photo.jpg", "", "photo.jpg"},
        {"..", "image/png", "attachment.png"},
        {"dir/", "", "dir_"},
        {"a..b...c", "", "a.b.c"},
        // Hidden files, and what Windows refuses or drops.
        {".bashrc", "", "_bashrc"},
        {"name. . ", "", "name"},
        {"a:b*c?d\"e<f>g|h", "", "a_b_c_d_e_f_g_h"},
        {"tab\there\r\nnul\x01", "", "tab here__nul_"},
        {"CON.txt", "", "_CON.txt"},
        {"lpt1", "", "_lpt1"},
        {"console.txt", "", "console.txt"},
        // Names that hide their real ending.
        {"photo\xE2\x80\xAEgpj.exe", "", "photogpj.exe"},                 // U+202E
        {"\xE2\x81\xA7invoice\xE2\x81\xA9.pdf", "", "invoice.pdf"},        // U+2067, U+2069
        {"a\xE2\x80\x8B\xE2\x80\x8E\xEF\xBB\xBF" "b.zip", "", "ab.zip"},  // zero-width, LRM, BOM
        {"photo.jpg\xC2\xA0\xE3\x80\x80   \t  .exe", "", "photo.jpg .exe"},
        // Nothing left: a name from the type.
        {"", "image/jpeg", "attachment.jpg"},
        {"\xE2\x80\xAE", "application/pdf; name=x", "attachment.pdf"},
        {"", "application/x-unheard-of", "attachment"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CleanAttachmentName(c.given, c.type), c.name) << c.given;
}

TEST(AttachmentNaming, ALongNameIsCutInItsStemAndKeepsItsEnding)
{
    const std::string stem(400, 'x');
    EXPECT_EQ(CleanAttachmentName(stem + ".exe", ""), std::string(dbx::kMaxAttachmentNameBytes - 4, 'x') + ".exe");
    // Never inside a character, and no blanks or dots left before the ending.
    std::string wide;
    for (int i = 0; i < 100; ++i)
        wide += "\xC3\xA9";
    const std::string cut = CleanAttachmentName(wide + ".jpeg", "");
    EXPECT_LE(cut.size(), dbx::kMaxAttachmentNameBytes);
    EXPECT_EQ(cut.substr(cut.size() - 5), ".jpeg");
    EXPECT_EQ(cut.size() % 2, 1u);  // whole two-byte characters, then ".jpeg"
    EXPECT_EQ(CleanAttachmentName(std::string(146, 'y') + " . .png", ""), std::string(146, 'y') + ".png");
}

TEST(AttachmentNaming, EndingsTypesAndTheDamagedMark)
{
    EXPECT_EQ(dbx::SplitEnding("photo.JPG").ending, ".JPG");
    EXPECT_EQ(dbx::SplitEnding("archive.tar.gz").stem, "archive.tar");
    EXPECT_EQ(dbx::SplitEnding("notes").ending, "");
    EXPECT_EQ(dbx::SplitEnding("Re. the meeting").ending, "");
    EXPECT_EQ(dbx::DamagedName("photo.jpg"), "photo (damaged).jpg");
    EXPECT_EQ(dbx::DamagedName("notes"), "notes (damaged)");
    EXPECT_EQ(dbx::EndingForType("IMAGE/JPEG"), "jpg");
    EXPECT_EQ(dbx::TypeForName("scan.Jpeg"), "image/jpeg");
    EXPECT_EQ(dbx::TypeForName("a.unknown"), "application/octet-stream");
}
