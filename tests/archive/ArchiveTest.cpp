// The mbox form and SHA-256 digests.

#include "archive/Mbox.h"
#include "archive/Sha256.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

TEST(Sha256, GivesTheStandardDigests)
{
    struct Vector {
        std::string input;
        const char* digest;
    };
    const Vector vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    archive::Sha256 hash;
    for (const Vector& v : vectors) {
        hash.Update(v.input);
        EXPECT_EQ(hash.HexDigest(), v.digest) << v.input.size();  // and starts afresh
    }
    testsupport::TempDir dir;
    std::ofstream(dir.File("abc"), std::ios::binary) << "abc";
    std::string digest;
    std::uint64_t size = 0;
    ASSERT_TRUE(archive::HashFile(dir.File("abc"), digest, size));
    EXPECT_EQ(digest, vectors[1].digest);
    EXPECT_EQ(size, 3u);
    EXPECT_FALSE(archive::HashFile(dir.File("missing"), digest, size));
}

TEST(Mbox, EnvelopeSenderIsAnAddressTheSeparatorCanCarry)
{
    const std::pair<const char*, const char*> cases[] = {
        {"\"Ann Lee\" <ann@example.org>", "ann@example.org"},
        {"ann@example.org", "ann@example.org"},
        {"ann@example.org (Ann Lee)", "ann@example.org"},
        {"Ann <a@x>, Bob <b@y>", "a@x"},
        {"=?utf-8?q?Jos=C3=A9?= <jose@example.org>", "jose@example.org"},
        {"Undisclosed", "MAILER-DAEMON"},
        {"<>", "MAILER-DAEMON"},
        {"<an address@with space>", "MAILER-DAEMON"},
        {"<j\xC3\xB8rn@example.org>", "MAILER-DAEMON"},
        {"", "MAILER-DAEMON"},
    };
    for (const auto& [line, sender] : cases)
        EXPECT_EQ(archive::EnvelopeSender(line), sender) << line;
}

TEST(Mbox, SeparatorCarriesTheUtcTimeInAsctimeForm)
{
    // 2008-01-15 09:20:30 UTC, a Tuesday; and 2005-03-04 for the padded day.
    EXPECT_EQ(archive::SeparatorLine("a@b", 128448624300000000ull), "From a@b Tue Jan 15 09:20:30 2008\n");
    EXPECT_EQ(archive::SeparatorLine("a@b", 127543680000000000ull), "From a@b Fri Mar  4 00:00:00 2005\n");
    EXPECT_EQ(archive::SeparatorLine("MAILER-DAEMON", 0), "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\n");
}

TEST(Mbox, EntriesAreQuotedWithLfLineEndsAndABlankLine)
{
    struct Case {
        const char* name;
        std::string message;
        bool deleted;
        std::string entry;
    };
    const Case cases[] = {
        {"CR LF become LF", "A: b\r\n\r\nbody\r\n", false, "A: b\n\nbody\n\n"},
        {"From lines quoted, one more '>' each",
         "S: x\r\n\r\nFrom here\r\n>From there\r\n>>From afar\r\n From not\r\nFromage\r\n", false,
         "S: x\n\n>From here\n>>From there\n>>>From afar\n From not\nFromage\n\n"},
        {"a last line without its end", "S: x\r\n\r\nend", false, "S: x\n\nend\n\n"},
        {"a deleted e-mail's zero tail left out", std::string("S: x\r\n\r\nend\r\n") + std::string(40, '\0'), true,
         "S: x\n\nend\n\n"},
        {"a deleted e-mail's lost start: the spaces go", "    rn-Path: <a@b>\r\nS: x\r\n", true,
         "rn-Path: <a@b>\nS: x\n\n"},
        {"a deleted e-mail's first line no header line any more", "    a@b\r\nS: x\r\n", true,
         "X-Quillmend-Fragment: a@b\nS: x\n\n"},
        {"zeros kept in a live e-mail", std::string("S: x\n\0", 6), false, std::string("S: x\n\0\n\n", 8)},
    };
    for (const Case& c : cases) {
        std::string entry;
        archive::AppendMboxEntry(c.message, c.deleted, entry);
        EXPECT_EQ(entry, c.entry) << c.name;
    }
    EXPECT_EQ(archive::UnquoteMboxLine(">>From x"), ">From x");
    EXPECT_EQ(archive::UnquoteMboxLine(">From x"), "From x");
    EXPECT_EQ(archive::UnquoteMboxLine(">Fromage"), ">Fromage");
}

} // namespace
