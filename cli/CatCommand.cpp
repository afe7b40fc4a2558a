#include "cli/CliCommon.h"

#include <cstdio>

namespace cli {

namespace {

constexpr const char* kCatUsage =
    "usage: quillmend-cli cat FILE.dbx INDEX\n"
    "Writes the text of e-mail INDEX (as 'list' numbers them) to standard output,\n"
    "byte for byte as Save writes it.\n";

} // namespace

int RunCat(const std::vector<std::string>& args)
{
    OneEmail email;
    if (const std::optional<int> exit = ReadOneEmail("cat", kCatUsage, args, email))
        return *exit;
    const bool written = WriteToStdout(email.text);
    WarnIfIncomplete(args[0], email.file);
    return email.complete && written ? kExitOk : kExitSomeNotWritten;
}

} // namespace cli
