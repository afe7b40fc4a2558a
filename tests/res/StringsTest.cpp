#include "res/Strings.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>

// --- the texts the windows show -----------------------------------------------

// Those no window test reads word for word: the captions, hints and
// messages of the main window are checked where they show.
TEST(Strings, EveryQuotedTextIsThereWordForWord)
{
    const std::pair<int, const char*> expected[] = {
        {104, "Save the selected emails."},
        {106, "Search Outlook Express email data files from local disk."},
        {120, "From"},
        {121, "To"},
        {122, "Subject"},
        {123, "Date"},
        {124, "Status"},
        {125, "Existing"},
        {126, "Deleted"},
        {127, "Select a path to search *.dbx files"},
    };
    for (const auto& [id, text] : expected)
        EXPECT_EQ(res::Text(id).toStdString(), text) << "string " << id;
}

TEST(Strings, EveryStringIdIsGivenOnceAndHasItsOwnText)
{
    // Two names for one number would show one of the texts in both places.
    std::ifstream header(QUILLMEND_RESOURCE_H);
    ASSERT_TRUE(header.good());
    const std::regex define(R"(^#define\s+(IDS_\w+)\s+(\d+))");
    std::map<int, std::string> names;
    std::set<QString> texts;
    for (std::string line; std::getline(header, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, define))
            continue;
        const int id = std::stoi(m[2]);
        EXPECT_TRUE(names.emplace(id, m[1]).second) << m[1] << " and " << names[id] << " are both " << id;
        EXPECT_TRUE(res::HasText(id)) << m[1];
        EXPECT_TRUE(texts.insert(res::Text(id)).second) << m[1];
    }
    EXPECT_GT(names.size(), 40u);
}

TEST(Strings, NoticeLineIsShortAndOnOneLine)
{
    const QString notice = res::Text(IDS_NOTICE);
    EXPECT_FALSE(notice.isEmpty());
    EXPECT_FALSE(notice.contains(QLatin1Char('\n')));
    EXPECT_LE(notice.size(), 70);  // fits the status line of the smallest window
}

TEST(Strings, UnknownIdsGiveEmptyTextNotFailure)
{
    for (int id : {-1, 0, 100, 102, 108, 113, 128, 32771, 100000}) {
        EXPECT_TRUE(res::Text(id).isEmpty()) << id;
        EXPECT_FALSE(res::HasText(id)) << id;
    }
}

TEST(Strings, FormatFillsDirectivesInOrder)
{
    EXPECT_EQ(res::Format(IDS_SAVED_TO, {"C:\\Mail"}), "OK! The selected emails have been saved to \"C:\\Mail\".");
    EXPECT_EQ(res::Format(IDS_STATUS_COUNTS, {"12", "3"}), "All Emails:12    Selected Emails:3");
    EXPECT_EQ(res::Format(IDS_STATUS_COUNTS, {"12"}), "All Emails:12    Selected Emails:%d");
    EXPECT_EQ(res::Format(IDS_SAVED_TO, {"%s%d"}), "OK! The selected emails have been saved to \"%s%d\".");
    EXPECT_TRUE(res::Format(-1, {"x"}).isEmpty());
}
