// quillmend-cli: recovers e-mail from Outlook Express .dbx files in scripts
// and in bulk, on the same engine as the desktop program.

#include "cli/CliCommon.h"
#include "platform/Console.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: quillmend-cli COMMAND [ARGS]\n"
    "Recovers existing and deleted e-mail from Outlook Express .dbx files.\n"
    "The mail file is only read, never changed.\n\n"
    "commands:\n"
    "  list FILE.dbx [--json]                       list every e-mail found\n"
    "  cat FILE.dbx INDEX                           write one e-mail's text to stdout\n"
    "  show FILE.dbx INDEX                          print one e-mail for reading\n"
    "  save FILE.dbx FOLDER [--existing|--deleted] [--index N,...]\n"
    "                                               save e-mails as .eml files\n"
    "  save FILE.dbx --mbox OUT.mbox [...]          save e-mails into one mbox file\n"
    "  attachments FILE.dbx [--index N,...] [--json]\n"
    "                                               list the files the e-mails carry\n"
    "  attachments FILE.dbx --save FOLDER [...]     save those files\n"
    "  store [--json]                               show the Outlook Express store found\n"
    "  find [-0|--json] [PATH...]                   search folders (or every disk)\n"
    "                                               for mail files\n"
    "  carve IMAGE [--json] [--extract FOLDER]      find mail in a disk image, a disk\n"
    "                                               or a damaged mail file\n\n"
    "  --help, --version\n"
    "exit status: 0 done, 1 some e-mail or attachment could not be written whole\n"
    "(store: no store found), 2 usage error or a mail file that cannot be opened.\n"
    "find: 0 found, 1 none found, 2 usage error or a PATH that does not exist,\n"
    "3 some folder could not be read. carve: 1 stopped early or something left out.\n";

} // namespace

int main(int argc, char** argv)
{
    platform::SetUpStandardStreams();
    std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return cli::kExitUsage;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return cli::kExitOk;
    }
    if (command == "--version") {
        std::printf("quillmend-cli %s\n", QUILLMEND_VERSION);
        return cli::kExitOk;
    }
    if (command == "list")
        return cli::RunList(args);
    if (command == "cat")
        return cli::RunCat(args);
    if (command == "save")
        return cli::RunSave(args);
    if (command == "show")
        return cli::RunShow(args);
    if (command == "attachments")
        return cli::RunAttachments(args);
    if (command == "store")
        return cli::RunStore(args);
    if (command == "find")
        return cli::RunFind(args);
    if (command == "carve")
        return cli::RunCarve(args);
    cli::Error("unknown command '" + command + "' (try --help)");
    return cli::kExitUsage;
}
