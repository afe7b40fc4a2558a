// quillmend-mkdbx: writes Outlook Express message files (.dbx) for the demo,
// for benchmarks and for tests.

#include "tools/mkdbx/CommandLine.h"

#include <iostream>

namespace {

constexpr const char* kHelp =
    "Usage:\n"
    "  quillmend-mkdbx demo OUT.dbx [--manifest FILE.json]\n"
    "      The demo Inbox: eleven e-mails from 2004 to 2008, four of them deleted.\n"
    "  quillmend-mkdbx bench --size BYTES[K|M|G] [--seed N] [--shape usual|real]\n"
    "                        [--deleted-share 0.2] [--attachment-share 0.15]\n"
    "                        [--manifest FILE.json] OUT.dbx\n"
    "      A large mailbox of varied e-mails up to about BYTES, a share of them deleted.\n"
    "\n"
    "Options:\n"
    "  --manifest FILE.json  also write what a correct recovery yields: per e-mail its\n"
    "                        status, blocks, size and From/To/Subject as written\n"
    "  --seed N              another mailbox of the same kind (default 1)\n"
    "  --shape real          message sizes as in real mailboxes (most 2-20 KB, a tail\n"
    "                        to about 300 KB), a third deleted, 4 % with attachments;\n"
    "                        the options below still change the shares\n"
    "  --deleted-share X     share of deleted e-mails, 0 to 1 (default 0.2)\n"
    "  --attachment-share X  share of e-mails with attachments, 0 to 0.15 (default\n"
    "                        0.15); smaller gives many small e-mails\n"
    "  --help                this text\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be written, 2 usage error.\n";

} // namespace

int main(int argc, char** argv)
{
    mkdbx::CommandLine cl;
    std::string error;
    if (!mkdbx::ParseCommandLine(argc, argv, {"--manifest", "--size", "--seed", "--shape", "--deleted-share", "--attachment-share"}, cl,
                                 error)) {
        std::cerr << "quillmend-mkdbx: " << error << "\n" << kHelp;
        return mkdbx::kExitUsage;
    }
    if (cl.help) {
        std::cout << kHelp;
        return mkdbx::kExitOk;
    }
    try {
        if (cl.command == "demo")
            return mkdbx::RunDemo(cl);
        if (cl.command == "bench")
            return mkdbx::RunBench(cl);
    } catch (const std::exception& e) {
        std::cerr << "quillmend-mkdbx: " << e.what() << "\n";
        return mkdbx::kExitFailed;
    }
    std::cerr << "quillmend-mkdbx: " << (cl.command.empty() ? "no command" : "unknown command " + cl.command)
              << "\n" << kHelp;
    return mkdbx::kExitUsage;
}
