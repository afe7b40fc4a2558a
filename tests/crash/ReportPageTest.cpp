#include "crash/DebugHelp.h"
#include "crash/ReportPage.h"
#include "crash/SymbolNames.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::TempDir;

// --- the page's fixed parts ----------------------------------------------------------

TEST(ReportPage, FixedPartsAreWindows1252TextWithCrLfLineEnds)
{
    for (std::string_view part : {crash::kReportHead, crash::kReportVersionLine, crash::kReportTail}) {
        for (std::size_t i = 0; i < part.size(); ++i) {
            const auto c = static_cast<unsigned char>(part[i]);
            EXPECT_TRUE(c == '\t' || c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F)) << "byte " << i;
            if (c == '\n') {
                EXPECT_TRUE(i > 0 && part[i - 1] == '\r') << "bare LF at " << i;
            }
        }
    }
    // The head ends right after the text area's opening tag, the tail with the
    // document's closing tag, neither with a line end.
    EXPECT_TRUE(crash::kReportHead.ends_with("<textarea rows=\"14\" name=\"BugReport\" cols=\"46\">"));
    EXPECT_TRUE(crash::kReportTail.starts_with("</textarea>"));
    EXPECT_TRUE(crash::kReportTail.ends_with("</html>"));
}

TEST(ReportPage, CarriesTheFormsFieldsInOrderAndSendsNowhereReal)
{
    const std::string page = std::string(crash::kReportHead) + std::string(crash::kReportTail);
    std::size_t at = 0;
    for (const char* text : {"charset=windows-1252", "content=\"en-us\"", ">Error<",
                             "Quillmend encounters error, program will be terminated.",
                             "The\r\n\t\t\tFollowing information are the running log of Quillmend, it could help",
                             "method=\"post\" enctype=\"multipart/form-data\"",
                             "name=\"subject\" value=\"Quillmend v1.1 Bug Report\"", "name=\"sendtoemail\"",
                             "id=\"table2\"", "name=\"BugReport\"", "Your Email:", "name=\"mailfrom\" size=\"36\"",
                             "(optional)", "(Please input your email if you need our responding.)",
                             "value=\"Send bug Report\" name=\"submit\" id=\"Submit1\"", "</form>", "</html>"}) {
        const std::size_t found = page.find(text, at);
        ASSERT_NE(found, std::string::npos) << text;
        at = found;
    }
    EXPECT_NE(page.find("action=\"https://formmail.example.invalid/"), std::string::npos);
    EXPECT_NE(page.find("value=\"support@example.invalid\""), std::string::npos);
}

TEST(ReportPage, ExceptionTextKeepsEveryDigitOfTheAddress)
{
    struct Case {
        std::uint32_t code;
        std::uint64_t address;
        const char* text;
    } cases[] = {
        {0xC0000005, 0x401000, "Exception Code:0xc0000005\r\nException Address:0x00401000\r\n"},
        {0x40000015, 0x7f33b64a8eec, "Exception Code:0x40000015\r\nException Address:0x7f33b64a8eec\r\n"},
        {0xC0000006, 0xFFFFFFFFFFFFFFFF, "Exception Code:0xc0000006\r\nException Address:0xffffffffffffffff\r\n"},
        {0, 0, "Exception Code:0x00000000\r\nException Address:0x00000000\r\n"},
    };
    for (const Case& c : cases) {
        char out[crash::kExceptionTextSize];
        EXPECT_EQ(std::string(out, crash::FormatExceptionText(out, c.code, c.address)), c.text);
    }
}

// --- names ---------------------------------------------------------------------------------

TEST(SymbolNames, NameOnlyLeavesOutTheFunctionsOwnParameterList)
{
    struct Case {
        const char* full;
        const char* nameOnly;
    } cases[] = {
        {"ns::Type::Run(int) const", "ns::Type::Run"},
        {"(anonymous namespace)::Walk(char const*)", "(anonymous namespace)::Walk"},
        {"std::function<void (int)>::operator()(int) const", "std::function<void (int)>::operator()"},
        {"main::{lambda()#1}::operator()() const", "main::{lambda()#1}::operator()"},
        {"bool operator<<(Stream&, Item const&)", "bool operator<<"},
        {"Range::operator<(Range const&) const", "Range::operator<"},
        {"Ptr::operator->() const", "Ptr::operator->"},
        {"cooperator(int)", "cooperator"},
        {"main", "main"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::string(c.full).substr(0, crash::NameOnlyLength(c.full)), c.nameOnly) << c.full;
}

TEST(SymbolNames, UndecoratesCppNamesAndKeepsOthers)
{
    char out[64];
    EXPECT_TRUE(crash::UndecorateSymbolName("_ZN2ns3RunEi", out, sizeof out, false));
    EXPECT_STREQ(out, "ns::Run(int)");
    EXPECT_TRUE(crash::UndecorateSymbolName("_ZN2ns3RunEi", out, sizeof out, true));
    EXPECT_STREQ(out, "ns::Run");
    for (const char* c : {"poll", "f", "i"}) {  // C names, also those that read as a type's code
        EXPECT_TRUE(crash::UndecorateSymbolName(c, out, sizeof out, false));
        EXPECT_STREQ(out, c);
    }
    char small[5];
    EXPECT_TRUE(crash::UndecorateSymbolName("_ZN2ns3RunEi", small, sizeof small, false));
    EXPECT_STREQ(small, "ns::");  // cut, still terminated
    EXPECT_FALSE(crash::UndecorateSymbolName("", out, sizeof out, false));
}

// --- where the libraries are looked for -------------------------------------------------------

TEST(DebugHelp, AlternativeFoldersComeFirstUnlessTheProgramAsksForItsOwnCopies)
{
    TempDir dir;
    const std::string exe = dir.File("quillmend");
    const std::string prefix = dir.File("local");
    std::filesystem::create_directories(prefix + "/lib");
    std::filesystem::create_directories(prefix + "/lib64");
    testsupport::WriteFile(prefix + "/lib64/libdw.so.1", "");
    EXPECT_EQ(crash::LibraryCandidates(exe, prefix, "libdw.so.1"),
              (std::vector<std::string>{prefix + "/lib64/libdw.so.1", "libdw.so.1"}));
    testsupport::WriteFile(prefix + "/lib/libdw.so.1", "");
    EXPECT_EQ(crash::LibraryCandidates(exe, prefix, "libdw.so.1"),
              (std::vector<std::string>{prefix + "/lib/libdw.so.1", prefix + "/lib64/libdw.so.1", "libdw.so.1"}));
    testsupport::WriteFile(exe + ".local", "");
    EXPECT_EQ(crash::LibraryCandidates(exe, prefix, "libdw.so.1"), (std::vector<std::string>{"libdw.so.1"}));
    EXPECT_EQ(crash::LibraryCandidates("", prefix, "libdw.so.1"), (std::vector<std::string>{"libdw.so.1"}));
}
