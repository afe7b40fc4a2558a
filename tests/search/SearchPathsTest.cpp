#include "search/SearchPaths.h"

#include <gtest/gtest.h>

using search::SplitSearchPaths;

TEST(SearchPaths, DbxNamesInAnyCase)
{
    for (const char* name : {"Inbox.dbx", "OUTBOX.DBX", "Sent Items.Dbx", ".dbx", "a.b.dbx"})
        EXPECT_TRUE(search::IsDbxName(name)) << name;
    for (const char* name : {"Inbox.dbx.bak", "dbx", "Inboxdbx", "Inbox.dbz", "Inbox.mbx", "", "x.db"})
        EXPECT_FALSE(search::IsDbxName(name)) << name;
}

TEST(SearchPaths, DriveListLeavesOutDriveA)
{
    EXPECT_EQ(search::DriveListText({"A:\\", "C:\\", "D:\\"}), "C:\\;D:\\;");
    EXPECT_EQ(search::DriveListText({"a:\\", "E:\\"}), "E:\\;");
    EXPECT_EQ(search::DriveListText({"/", "/mnt/win/"}), "/;/mnt/win/;");
    EXPECT_EQ(search::DriveListText({}), "");
}

// Every entry counts, the last one too, and none loses a character it needs.
TEST(SearchPaths, EntriesAreSplitTrimmedAndKeepTheirLastCharacter)
{
    const struct {
        const char* text;
        std::vector<std::string> paths;
    } cases[] = {
        {"/;/mnt/win/;", {"/", "/mnt/win"}},
        {"/home/me/Mail;", {"/home/me/Mail"}},
        {"/a;/b", {"/a", "/b"}},
        {"/only", {"/only"}},
        {" /a ; ;/b/ ;", {"/a", "/b"}},
        {"/x//", {"/x/"}},
        {"//", {"/"}},
        {"", {}},
        {";;", {}},
        {"/My Disk/Old Mail/;", {"/My Disk/Old Mail"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitSearchPaths(c.text), c.paths) << '"' << c.text << '"';
}
