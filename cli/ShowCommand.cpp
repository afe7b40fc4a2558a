#include "cli/CliCommon.h"

#include "render/RenderMessage.h"

#include <cstdio>

namespace cli {

namespace {

constexpr const char* kShowUsage =
    "usage: quillmend-cli show FILE.dbx INDEX\n"
    "Prints e-mail INDEX (as 'list' numbers them) for reading: From, To, Cc,\n"
    "Subject and Date decoded, the attachments, then the body as plain text.\n"
    "A deleted e-mail is read around the bytes that were overwritten when it was\n"
    "deleted, and each gap is marked. 'cat' gives the stored bytes instead.\n";

} // namespace

int RunShow(const std::vector<std::string>& args)
{
    OneEmail email;
    if (const std::optional<int> exit = ReadOneEmail("show", kShowUsage, args, email))
        return *exit;
    const bool written = WriteToStdout(render::RenderMessageText(email.text, email.file.Damage(email.index)));
    WarnIfIncomplete(args[0], email.file);
    return email.complete && written ? kExitOk : kExitSomeNotWritten;
}

} // namespace cli
