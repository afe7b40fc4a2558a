// quillmend-mkdbx bench --size BYTES[K|M|G] [--seed N] [--shape usual|real]
//                       [--deleted-share X] [--attachment-share X] [--manifest FILE.json] OUT.dbx

#include "tools/dbxgen/BenchMailbox.h"
#include "tools/dbxgen/RandomMail.h"
#include "tools/mkdbx/CommandLine.h"

#include <filesystem>
#include <iostream>
#include <stdexcept>

namespace mkdbx {

namespace {

constexpr double kRealDeletedShare = 1.0 / 3;
constexpr double kRealAttachmentShare = 0.04;

int Usage(const std::string& why)
{
    std::cerr << "quillmend-mkdbx: " << why
              << "\nusage: quillmend-mkdbx bench --size BYTES[K|M|G] [--seed N] [--shape usual|real] "
                 "[--deleted-share 0.2] [--attachment-share 0.15] [--manifest FILE.json] OUT.dbx\n";
    return kExitUsage;
}

} // namespace

int RunBench(const CommandLine& cl)
{
    if (cl.positional.size() != 1)
        return Usage("bench needs exactly one output file");
    dbxgen::BenchOptions options;
    const auto size = cl.options.find("--size");
    if (size == cl.options.end())
        return Usage("bench needs --size");
    const auto bytes = ParseSize(size->second);
    if (!bytes)
        return Usage("bad --size " + size->second);
    if (*bytes < (1u << 20) || *bytes > 0xF0000000ull)
        return Usage("--size must lie between 1M and 3840M (the format's offsets are 32-bit)");
    options.size = *bytes;
    if (const auto it = cl.options.find("--seed"); it != cl.options.end()) {
        const auto seed = ParseUnsigned(it->second);
        if (!seed)
            return Usage("bad --seed " + it->second);
        options.seed = *seed;
    }
    if (const auto it = cl.options.find("--shape"); it != cl.options.end()) {
        if (it->second == "real") {
            // A mailbox as people have them: many small messages, a third of
            // them deleted, a few with attachments.
            options.sizes = dbxgen::SizeMix::kReal;
            options.deletedShare = kRealDeletedShare;
            options.attachmentShare = kRealAttachmentShare;
        } else if (it->second != "usual") {
            return Usage("bad --shape " + it->second + " (usual or real)");
        }
    }
    if (const auto it = cl.options.find("--deleted-share"); it != cl.options.end()) {
        const auto share = ParseShare(it->second);
        if (!share)
            return Usage("bad --deleted-share " + it->second + " (a number from 0 to 1)");
        options.deletedShare = *share;
    }
    if (const auto it = cl.options.find("--attachment-share"); it != cl.options.end()) {
        const auto share = ParseShare(it->second);
        if (!share || *share > dbxgen::RandomMail::kUsualAttachmentShare)
            return Usage("bad --attachment-share " + it->second + " (a number from 0 to 0.15)");
        options.attachmentShare = *share;
    }

    const std::string& out = cl.positional.front();
    const auto manifestPath = cl.options.find("--manifest");
    dbxgen::Manifest manifest(std::filesystem::path(out).filename().string(), 0);
    const auto summary = dbxgen::WriteBenchMailbox(
        out, options, manifestPath == cl.options.end() ? nullptr : &manifest);
    if (summary.fileSize == 0) {
        std::cerr << "quillmend-mkdbx: cannot write " << out << "\n";
        return kExitFailed;
    }
    if (manifestPath != cl.options.end() && !manifest.WriteTo(manifestPath->second)) {
        std::cerr << "quillmend-mkdbx: cannot write " << manifestPath->second << "\n";
        return kExitFailed;
    }
    std::cout << "Wrote " << out << ": " << summary.live + summary.deleted << " e-mails ("
              << summary.live << " existing, " << summary.deleted << " deleted), " << summary.fileSize
              << " bytes\n";
    return kExitOk;
}

} // namespace mkdbx
