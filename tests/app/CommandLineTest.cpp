#include "app/CommandLine.h"

#include <gtest/gtest.h>

using app::CommandLine;
using app::ParseCommandLine;

TEST(CommandLine, OptionsAndFiles)
{
    using A = CommandLine::Action;
    const struct {
        std::vector<std::string> args;
        A action;
        std::vector<std::string> files;
    } cases[] = {
        {{}, A::kRun, {}},
        {{"a.dbx", "/mail/Inbox.dbx"}, A::kRun, {"a.dbx", "/mail/Inbox.dbx"}},
        {{"--help"}, A::kHelp, {}},
        {{"a.dbx", "-h"}, A::kHelp, {}},
        {{"--version", "a.dbx"}, A::kVersion, {}},
        {{"--bogus", "--help"}, A::kHelp, {}},  // help answers whatever else is there
        {{"--", "--help", "-x.dbx"}, A::kRun, {"--help", "-x.dbx"}},
        {{"-"}, A::kRun, {"-"}},
        {{"a.dbx", "-v"}, A::kUsageError, {"a.dbx"}},
    };
    for (const auto& c : cases) {
        const CommandLine parsed = ParseCommandLine(c.args);
        EXPECT_EQ(parsed.action, c.action) << testing::PrintToString(c.args);
        if (c.action == A::kRun || c.action == A::kUsageError) {
            EXPECT_EQ(parsed.files, c.files) << testing::PrintToString(c.args);
        }
    }
    EXPECT_EQ(ParseCommandLine({"-v"}).error, "unknown option '-v' (try --help)");
    EXPECT_EQ(app::Answer(ParseCommandLine({"a.dbx"})), std::nullopt);
}
