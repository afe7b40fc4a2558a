#include "cli/CliCommon.h"
#include "cli/SaveParts.h"

#include "platform/Files.h"

#include <cstdio>

namespace cli {

namespace {

constexpr const char* kSaveUsage =
    "usage: quillmend-cli save FILE.dbx FOLDER [--existing | --deleted] [--index N,...]\n"
    "                          [--keep-mtime] [--manifest FILE.json]\n"
    "       quillmend-cli save FILE.dbx --mbox OUT.mbox [--existing | --deleted] [--index N,...]\n"
    "                          [--manifest FILE.json]\n"
    "Saves e-mails of FILE.dbx into FOLDER as .eml files named after their subjects\n"
    "(or after the clock and the index when that name is empty or taken), each\n"
    "dated by its Date header; or, with --mbox, all of them into one new mbox file\n"
    "(mboxrd) that mail clients import. Existing files are never overwritten or\n"
    "appended to; FOLDER is created when missing.\n"
    "  --existing        only e-mails whose blocks are still in use\n"
    "  --deleted         only deleted e-mails\n"
    "  --index N,..      only these e-mails (numbered as 'list' shows them)\n"
    "  --keep-mtime      leave each .eml file the time it was written\n"
    "  --mbox OUT.mbox   write one mbox file instead of .eml files\n"
    "  --manifest F.json also write what was done: the mail file's size and SHA-256,\n"
    "                    and per e-mail its blocks, size, where it went and the\n"
    "                    SHA-256 of what was written\n";

struct SaveOptions {
    std::string mailPath;
    std::string folder;
    std::string mbox;
    std::string manifest;
    bool keepMtime = false;
    EmailChoice choice;
};

// Parses the arguments; false after a usage error was told (or --help shown,
// which sets `help`).
bool ParseSaveArgs(const std::vector<std::string>& args, SaveOptions& o, bool& help)
{
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kSaveUsage, stdout);
            help = true;
            return false;
        }
        bool bad = false;
        if (ReadEmailChoice("save", args, i, o.choice, bad)) {
            if (bad)
                return false;
        } else if (arg == "--keep-mtime") {
            o.keepMtime = true;
        } else if (OptionValue(args, i, "--mbox", value) || OptionValue(args, i, "--manifest", value)) {
            const bool mbox = arg.starts_with("--mbox");
            if (value.empty()) {
                Error(std::string("save: ") + (mbox ? "--mbox" : "--manifest") + " needs a file name");
                return false;
            }
            (mbox ? o.mbox : o.manifest) = value;
        } else if (arg.starts_with("-")) {
            Error("save: unknown option '" + arg + "'");
            std::fputs(kSaveUsage, stderr);
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != (o.mbox.empty() ? 2u : 1u)) {
        if (!o.mbox.empty() && positional.size() == 2)
            Error("save: give either a FOLDER or --mbox, not both");
        std::fputs(kSaveUsage, stderr);
        return false;
    }
    o.mailPath = positional[0];
    if (o.mbox.empty())
        o.folder = positional[1];
    return true;
}

} // namespace

int RunSave(const std::vector<std::string>& args)
{
    SaveOptions o;
    bool help = false;
    if (!ParseSaveArgs(args, o, help))
        return help ? kExitOk : kExitUsage;
    if (RefuseExisting(o.mbox, "an mbox file") || RefuseExisting(o.manifest, "a manifest"))
        return kExitUsage;
    if (!o.manifest.empty() && o.manifest == o.mbox) {
        Error("save: the manifest and the mbox file must be two files");
        return kExitUsage;
    }

    dbx::DbxFile file;
    if (!OpenAndScan(o.mailPath, file))
        return kExitUsage;
    const std::optional<std::vector<int>> picked = ChosenEmails(file, o.mailPath, o.choice);
    if (!picked)
        return kExitUsage;
    const std::vector<int>& chosen = *picked;

    std::vector<SavedEmail> saved;
    SaveTally tally;
    bool durable = true;
    std::string target = o.folder;
    if (!o.mbox.empty()) {
        target = o.mbox;
        const std::optional<SaveTally> done = SaveToMbox(file, chosen, o.mbox, saved, durable);
        if (!done) {
            Error(PathForTerminal(o.mbox) + ": cannot be created (it exists, or its folder is missing or not writable)");
            return kExitUsage;
        }
        tally = *done;
    } else {
        if (!MakeFolder(o.folder))
            return kExitUsage;
        // Opened before the first file is created, so that the one flush at
        // the end hears of every write error since.
        platform::FolderSync sync;
        const bool syncOpened = sync.Open(o.folder);
        SaveAsEml(file, chosen, EmlOptions{o.folder, !o.keepMtime, !o.manifest.empty()}, saved, tally);
        durable = FlushFolder(sync, syncOpened, o.folder, tally.whole + tally.cutShort);
    }
    const bool manifestWritten =
        o.manifest.empty() || WriteManifest(o.manifest, o.mailPath, file, ManifestOutput{o.folder, o.mbox}, saved);

    std::printf("%d e-mail%s saved to %s", tally.whole, tally.whole == 1 ? "" : "s", PathForTerminal(target).c_str());
    if (tally.cutShort > 0)
        std::printf(", %d more saved incomplete", tally.cutShort);
    if (tally.failed > 0)
        std::printf(", %d could not be written", tally.failed);
    std::printf("\n");
    std::fflush(stdout);
    const bool incomplete = WarnIfIncomplete(o.mailPath, file);
    const bool allWell = tally.failed == 0 && tally.cutShort == 0 && durable && manifestWritten && !incomplete;
    return allWell ? kExitOk : kExitSomeNotWritten;
}

} // namespace cli
