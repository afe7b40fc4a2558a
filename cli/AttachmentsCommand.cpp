#include "cli/CliCommon.h"
#include "cli/SaveParts.h"

#include "archive/Sha256.h"
#include "platform/FsPath.h"
#include "render/AttachmentSaver.h"
#include "render/Attachments.h"

#include <cstdio>
#include <filesystem>

namespace cli {

namespace {

constexpr const char* kAttachmentsUsage =
    "usage: quillmend-cli attachments FILE.dbx [--existing | --deleted] [--index N,...] [--json]\n"
    "       quillmend-cli attachments FILE.dbx --save FOLDER [--existing | --deleted] [--index N,...]\n"
    "                                 [--manifest FILE.json]\n"
    "Lists the files the e-mails of FILE.dbx carry: attachments, attached messages\n"
    "and uuencoded files, each with its e-mail's index, its number in that e-mail,\n"
    "size, type and name, and whether it is damaged (bytes lost when the e-mail\n"
    "was deleted, zeros in their place, or its end missing). With --save, writes\n"
    "them into FOLDER under their names made safe (a damaged one as\n"
    "'NAME (damaged).EXT'); a name that is taken gets another, no file is ever\n"
    "overwritten or made executable, and nothing is opened. FOLDER is created\n"
    "when missing.\n"
    "  --existing        only e-mails whose blocks are still in use\n"
    "  --deleted         only deleted e-mails\n"
    "  --index N,..      only these e-mails (numbered as 'list' shows them)\n"
    "  --json            one JSON array, an object per attachment\n"
    "  --save FOLDER     write the attachments into FOLDER\n"
    "  --manifest F.json with --save, also write what was done: the mail file's size\n"
    "                    and SHA-256, and per attachment its e-mail, name, size,\n"
    "                    lost bytes, saved name and the SHA-256 of what was written\n";

struct Options {
    std::string mailPath;
    std::string folder;
    std::string manifest;
    bool json = false;
    EmailChoice choice;
};

bool ParseArgs(const std::vector<std::string>& args, Options& o, bool& help)
{
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        bool bad = false;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kAttachmentsUsage, stdout);
            help = true;
            return false;
        }
        if (ReadEmailChoice("attachments", args, i, o.choice, bad)) {
            if (bad)
                return false;
        } else if (arg == "--json") {
            o.json = true;
        } else if (OptionValue(args, i, "--save", value) || OptionValue(args, i, "--manifest", value)) {
            const bool save = arg.starts_with("--save");
            if (value.empty()) {
                Error(std::string("attachments: ") + (save ? "--save needs a folder" : "--manifest needs a file name"));
                return false;
            }
            (save ? o.folder : o.manifest) = value;
        } else if (arg.starts_with("-")) {
            Error("attachments: unknown option '" + arg + "'");
            std::fputs(kAttachmentsUsage, stderr);
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 1) {
        std::fputs(kAttachmentsUsage, stderr);
        return false;
    }
    if (o.json && !o.folder.empty()) {
        Error("attachments: --json lists, --save writes: give one of them");
        return false;
    }
    if (!o.manifest.empty() && o.folder.empty()) {
        Error("attachments: --manifest goes with --save");
        return false;
    }
    o.mailPath = positional[0];
    return true;
}

const char* Status(const dbx::DbxFile& file, int index)
{
    return file.GetAt(index)->isDeleted ? "Deleted" : "Existing";
}

std::string Damage(const render::Attachment& a)
{
    if (a.lostBytes > 0)
        return std::to_string(a.lostBytes) + " byte" + (a.lostBytes == 1 ? "" : "s") + " lost when it was deleted";
    return a.cut ? "its end is missing" : "";
}

// The attachments of e-mail `index` as the desktop's preview lists them.
std::vector<render::Attachment> AttachmentsOf(const dbx::DbxFile& file, int index)
{
    std::string text;
    const bool complete = file.ReadMessage(index, text);
    return render::FindAttachments(text, file.Damage(index), {}, complete);
}

// One line per attachment, for people; one JSON object each, for scripts.
// Lines go out e-mail by e-mail, as they are read.
int List(const dbx::DbxFile& file, const std::vector<int>& chosen, bool json)
{
    std::size_t files = 0;
    int emails = 0;
    std::string out = json ? "[" : "";
    if (!json)
        out += "     #  No.        Size  Type                      Name\n";
    for (const int index : chosen) {
        const std::vector<render::Attachment> list = AttachmentsOf(file, index);
        emails += list.empty() ? 0 : 1;
        for (std::size_t k = 0; k < list.size(); ++k) {
            const render::Attachment& a = list[k];
            if (json) {
                out += files++ == 0 ? "\n" : ",\n";
                out += "{\"index\":" + std::to_string(index) + ",\"status\":\"" + Status(file, index) + "\"";
                out += ",\"number\":" + std::to_string(k) + ",\"name\":" + JsonString(a.name);
                out += ",\"fileName\":" + JsonString(a.fileName) + ",\"type\":" + JsonString(a.mimeType);
                out += ",\"size\":" + std::to_string(a.size) + ",\"lostBytes\":" + std::to_string(a.lostBytes);
                out += ",\"cut\":" + std::string(a.cut ? "true" : "false");
                out += ",\"damaged\":" + std::string(a.Damaged() ? "true" : "false") + "}";
                continue;
            }
            ++files;
            char head[64];
            std::snprintf(head, sizeof head, "%6d  %3zu  %10llu  ", index, k, static_cast<unsigned long long>(a.size));
            const std::string type = ForTerminal(a.mimeType);
            out += head + type + std::string(type.size() < 24 ? 24 - type.size() : 0, ' ') + "  ";
            out += ForTerminal(a.fileName);
            if (a.Damaged())
                out += "  [damaged: " + Damage(a) + "]";
            out += "\n";
        }
        if (!WriteToStdout(out))
            return kExitSomeNotWritten;
        out.clear();
    }
    if (json)
        out += "\n]\n";
    else
        out += std::to_string(files) + " attachment" + (files == 1 ? "" : "s") + " in " + std::to_string(emails) +
               " e-mail" + (emails == 1 ? "" : "s") + "\n";
    return WriteToStdout(out) ? kExitOk : kExitSomeNotWritten;
}

struct Saved {
    int index = 0;
    render::SavedAttachment file;
    std::string sha256;
};

struct Tally {
    int whole = 0;
    int damaged = 0;
    int failed = 0;
};

// Writes the attachments of the chosen e-mails; a line on stdout for each
// one written whole, as soon as it is.
void SaveAll(const dbx::DbxFile& file, const std::vector<int>& chosen, const Options& o, std::vector<Saved>& saved,
             Tally& tally)
{
    render::AttachmentSaver saver(file, o.folder);
    for (const int index : chosen) {
        for (render::SavedAttachment& one : saver.SaveAll(index, index)) {
            Saved entry{index, std::move(one), {}};
            const render::SavedAttachment& s = entry.file;
            const std::string where = PathForTerminal(s.path);
            const std::string what = "attachment " + std::to_string(s.number) + " of e-mail " + std::to_string(index);
            std::uint64_t size = 0;
            if (s.result != dbx::DbxFile::WriteResult::kNotCreated && !o.manifest.empty()
                && !archive::HashFile(s.path, entry.sha256, size))
                Error(where + ": could not be read back for its SHA-256");
            switch (s.result) {
            case dbx::DbxFile::WriteResult::kWhole:
                ++tally.whole;
                std::printf("%d\t%zu\t%s\n", index, s.number, where.c_str());
                break;
            case dbx::DbxFile::WriteResult::kCutShort:
                ++tally.damaged;
                Error(what + " is damaged (" + Damage(s.attachment) + "); " + where + " holds what could be read");
                break;
            case dbx::DbxFile::WriteResult::kNotCreated:
                ++tally.failed;
                Error("could not save " + what + " as " + where);
                break;
            }
            std::fflush(stdout);
            saved.push_back(std::move(entry));
        }
    }
}

const char* AttachmentResultName(dbx::DbxFile::WriteResult result)
{
    switch (result) {
    case dbx::DbxFile::WriteResult::kWhole: return "whole";
    case dbx::DbxFile::WriteResult::kCutShort: return "damaged";
    default: return "notWritten";
    }
}

bool WriteAttachmentManifest(const Options& o, const dbx::DbxFile& file, const std::vector<Saved>& saved)
{
    std::string json = ManifestHead(o.mailPath, file) + ManifestPath("folder", o.folder) + ",\n\"attachments\":[";
    for (std::size_t k = 0; k < saved.size(); ++k) {
        const Saved& s = saved[k];
        const render::Attachment& a = s.file.attachment;
        const bool written = s.file.result != dbx::DbxFile::WriteResult::kNotCreated;
        json += k == 0 ? "\n" : ",\n";
        json += "{\"index\":" + std::to_string(s.index) + ",\"status\":\"" + Status(file, s.index) + "\"";
        json += ",\"number\":" + std::to_string(s.file.number) + ",\"name\":" + JsonString(a.name);
        json += ",\"type\":" + JsonString(a.mimeType) + ",\"size\":" + std::to_string(a.size);
        json += ",\"lostBytes\":" + std::to_string(a.lostBytes) + ",\"cut\":" + (a.cut ? "true" : "false");
        json += ",\"result\":\"" + std::string(AttachmentResultName(s.file.result)) + "\",";
        json += written ? JsonPathMembers("savedName", platform::FromFsPath(platform::ToFsPath(s.file.path).filename()))
                        : std::string("\"savedName\":null");
        json += ",\"sha256\":" + (s.sha256.empty() ? std::string("null") : "\"" + s.sha256 + "\"") + "}";
    }
    json += "\n]\n}\n";
    return WriteManifestFile(o.manifest, json);
}

int Save(const dbx::DbxFile& file, const std::vector<int>& chosen, const Options& o)
{
    if (!MakeFolder(o.folder))
        return kExitUsage;
    // Opened before the first file is created, so that the one flush at the
    // end hears of every write error since.
    platform::FolderSync sync;
    const bool syncOpened = sync.Open(o.folder);
    std::vector<Saved> saved;
    Tally tally;
    SaveAll(file, chosen, o, saved, tally);
    const bool durable = FlushFolder(sync, syncOpened, o.folder, tally.whole + tally.damaged);
    const bool manifestWritten = o.manifest.empty() || WriteAttachmentManifest(o, file, saved);
    std::printf("%d attachment%s saved to %s", tally.whole, tally.whole == 1 ? "" : "s",
                PathForTerminal(o.folder).c_str());
    if (tally.damaged > 0)
        std::printf(", %d more saved damaged", tally.damaged);
    if (tally.failed > 0)
        std::printf(", %d could not be written", tally.failed);
    std::printf("\n");
    std::fflush(stdout);
    return tally.failed == 0 && tally.damaged == 0 && durable && manifestWritten ? kExitOk : kExitSomeNotWritten;
}

} // namespace

int RunAttachments(const std::vector<std::string>& args)
{
    Options o;
    bool help = false;
    if (!ParseArgs(args, o, help))
        return help ? kExitOk : kExitUsage;
    if (RefuseExisting(o.manifest, "a manifest"))
        return kExitUsage;
    dbx::DbxFile file;
    if (!OpenAndScan(o.mailPath, file))
        return kExitUsage;
    const std::optional<std::vector<int>> chosen = ChosenEmails(file, o.mailPath, o.choice);
    if (!chosen)
        return kExitUsage;
    int status = o.folder.empty() ? List(file, *chosen, o.json) : Save(file, *chosen, o);
    if (WarnIfIncomplete(o.mailPath, file) && status == kExitOk)
        status = kExitSomeNotWritten;
    return status;
}

} // namespace cli
