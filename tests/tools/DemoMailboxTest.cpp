// The quillmend-mkdbx command that writes the demo mailbox and bench files.
// (The demo mailbox itself is read back in RecoveryTest.cpp.)

#include "support/TempDir.h"
#include "tools/dbxgen/DemoMailbox.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace dbxgen;
using testsupport::ReadFile;

namespace {

// `name` in one scratch folder for the whole program.
std::string TempPath(const std::string& name)
{
    static const testsupport::TempDir dir;
    return dir.File(name);
}

// Runs quillmend-mkdbx with `args`; returns its exit status.
int Mkdbx(const std::string& args)
{
    const std::string cmd = "\"" QUILLMEND_MKDBX "\" " + args + " > \"" + TempPath("mkdbx.out") + "\" 2>&1";
    const int rc = std::system(cmd.c_str());
    // POSIX reports the exit status in the second byte, Windows as it is.
    return rc > 255 ? rc >> 8 : rc;
}

// `name` in the scratch folder, quoted for the shell. Appended rather than
// "literal" + a temporary std::string: GCC 12 at -O3 reports a false
// -Wrestrict on that.
std::string Quoted(const std::string& name)
{
    std::string s(1, '"');
    s += TempPath(name);
    s += '"';
    return s;
}

} // namespace

TEST(Mkdbx, DemoCommandWritesTheDemoAndItsManifest)
{
    ASSERT_EQ(Mkdbx(std::string("demo ") + Quoted("Inbox.dbx") + " --manifest " + Quoted("Inbox.json")), 0);
    EXPECT_EQ(ReadFile(TempPath("Inbox.dbx")), MakeDemoMailbox().Image().Bytes());
    const std::string manifest = ReadFile(TempPath("Inbox.json"));
    EXPECT_NE(manifest.find("\"messageCount\": 11"), std::string::npos);
    EXPECT_NE(manifest.find("\"subject\": \"Rechnung für März"), std::string::npos);
    EXPECT_NE(ReadFile(TempPath("mkdbx.out")).find("11 e-mails (7 existing, 4 deleted)"), std::string::npos);
}

TEST(Mkdbx, UsageErrorsExitWithTwoWriteErrorsWithOne)
{
    const std::string out = Quoted("x.dbx"), noFolder = Quoted("no/such/dir/x.dbx");
    EXPECT_EQ(Mkdbx("--help"), 0);
    EXPECT_EQ(Mkdbx(""), 2);
    EXPECT_EQ(Mkdbx("frobnicate " + out), 2);
    EXPECT_EQ(Mkdbx("demo"), 2);
    EXPECT_EQ(Mkdbx("demo " + out + " --colour red"), 2);
    EXPECT_EQ(Mkdbx("bench " + out), 2);
    EXPECT_EQ(Mkdbx("bench --size 10X " + out), 2);
    EXPECT_EQ(Mkdbx("bench --size 8G " + out), 2);
    EXPECT_EQ(Mkdbx("bench --size 2M --deleted-share 1.5 " + out), 2);
    EXPECT_EQ(Mkdbx("bench --size 2M --seed -3 " + out), 2);
    EXPECT_EQ(Mkdbx("demo " + noFolder), 1);
    EXPECT_EQ(Mkdbx("bench --size=2M --seed=4 --deleted-share=0.5 " + out), 0);
}
