// quillmend-mkdbx demo OUT.dbx [--manifest FILE.json]

#include "tools/dbxgen/DemoMailbox.h"
#include "tools/dbxgen/Manifest.h"
#include "tools/mkdbx/CommandLine.h"

#include <filesystem>
#include <iostream>

namespace mkdbx {

int RunDemo(const CommandLine& cl)
{
    if (cl.positional.size() != 1 || cl.options.count("--size") || cl.options.count("--seed")
        || cl.options.count("--deleted-share")) {
        std::cerr << "quillmend-mkdbx: usage: quillmend-mkdbx demo OUT.dbx [--manifest FILE.json]\n";
        return kExitUsage;
    }
    const std::string& out = cl.positional.front();
    const dbxgen::Mailbox box = dbxgen::MakeDemoMailbox();
    if (!box.WriteTo(out)) {
        std::cerr << "quillmend-mkdbx: cannot write " << out << "\n";
        return kExitFailed;
    }
    const auto it = cl.options.find("--manifest");
    if (it != cl.options.end()) {
        const auto manifest =
            dbxgen::Manifest::FromMailbox(box, std::filesystem::path(out).filename().string());
        if (!manifest.WriteTo(it->second)) {
            std::cerr << "quillmend-mkdbx: cannot write " << it->second << "\n";
            return kExitFailed;
        }
    }
    std::size_t deleted = 0;
    for (const auto& m : box.Messages())
        deleted += m.deleted;
    std::cout << "Wrote " << out << ": " << box.Messages().size() << " e-mails ("
              << box.Messages().size() - deleted << " existing, " << deleted << " deleted), "
              << box.Image().Size() << " bytes\n";
    return kExitOk;
}

} // namespace mkdbx
