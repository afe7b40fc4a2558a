#include "cli/CliCommon.h"
#include "cli/SaveParts.h"

#include "archive/Mbox.h"
#include "archive/Sha256.h"
#include "dbx/HeaderFields.h"
#include "platform/Files.h"

#include <cstdio>
#include <filesystem>

namespace cli {

std::uint64_t DateUtc(const dbx::DbxFile& file, int index)
{
    const dbx::EmailRecord* record = file.GetAt(index);
    if (!record || record->date == 0)
        return 0;
    dbx::HeaderLines lines;
    dbx::ReadHeaderLines(file.View(), *record, dbx::HeaderBit(dbx::HeaderField::kDate), lines);
    std::uint64_t utc = 0;
    return dbx::ParseMailDateUtc(lines[static_cast<std::size_t>(dbx::HeaderField::kDate)], utc) ? utc : 0;
}

std::string FolderOf(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

namespace {

std::string Sender(const dbx::DbxFile& file, int index)
{
    const dbx::EmailRecord& record = *file.GetAt(index);
    if (record.from.empty())
        return "MAILER-DAEMON";
    dbx::HeaderLines lines;
    dbx::ReadHeaderLines(file.View(), record, dbx::HeaderBit(dbx::HeaderField::kFrom), lines);
    const std::string& line = lines[static_cast<std::size_t>(dbx::HeaderField::kFrom)];
    return archive::EnvelopeSender(line.empty() ? record.from : line);
}

} // namespace

std::optional<SaveTally> SaveToMbox(const dbx::DbxFile& file, const std::vector<int>& chosen,
                                    const std::string& path, std::vector<SavedEmail>& saved, bool& durable)
{
    durable = false;
    platform::ExclusiveFile out;
    if (!out.Create(path))
        return std::nullopt;
    SaveTally tally;
    std::uint64_t offset = 0;
    bool writeFailed = false;
    std::string text, entry;
    for (const int i : chosen) {
        SavedEmail email;
        email.index = i;
        text.clear();
        const bool complete = file.ReadMessage(i, text);
        if (!complete && text.empty()) {
            ++tally.failed;
            Error("could not read e-mail " + std::to_string(i) + ": the mail file shrank under it");
            saved.push_back(std::move(email));
            continue;
        }
        email.dateUtc = DateUtc(file, i);
        entry = archive::SeparatorLine(Sender(file, i), email.dateUtc);
        archive::AppendMboxEntry(text, file.GetAt(i)->isDeleted, entry);
        if (!out.Write(entry.data(), entry.size())) {
            writeFailed = true;
            break;
        }
        archive::Sha256 hash;
        hash.Update(entry);
        email.sha256 = hash.HexDigest();
        email.mboxOffset = offset;
        email.mboxLength = entry.size();
        offset += entry.size();
        email.result = complete ? dbx::DbxFile::WriteResult::kWhole : dbx::DbxFile::WriteResult::kCutShort;
        std::printf("%d\t%s\t%llu\n", i, ForTerminal(path).c_str(), static_cast<unsigned long long>(email.mboxOffset));
        std::fflush(stdout);
        if (complete) {
            ++tally.whole;
        } else {
            ++tally.cutShort;
            Error("e-mail " + std::to_string(i) + " is incomplete: the mail file shrank while it was read; " +
                  ForTerminal(path) + " holds what could be read");
        }
        saved.push_back(std::move(email));
    }
    if (writeFailed || !out.Commit()) {
        out.Discard();
        Error(ForTerminal(path) + ": could not be written (is the disk full?); the incomplete file was removed");
        saved.clear();
        for (const int i : chosen) {
            saved.emplace_back();
            saved.back().index = i;
        }
        SaveTally none;
        none.failed = static_cast<int>(chosen.size());
        return none;
    }
    durable = platform::SyncFolder(FolderOf(path));
    if (!durable)
        Error(ForTerminal(path) + ": could not be flushed to the disk");
    return tally;
}

} // namespace cli
