#include "cli/CliCommon.h"
#include "cli/SaveParts.h"

#include "archive/MboxFile.h"
#include "platform/FsPath.h"

#include <cstdio>
#include <filesystem>

namespace cli {

std::string FolderOf(const std::string& path)
{
    const std::filesystem::path folder = platform::ToFsPath(path).parent_path();
    return folder.empty() ? std::string(".") : platform::FromFsPath(folder);
}

std::optional<SaveTally> SaveToMbox(const dbx::DbxFile& file, const std::vector<int>& chosen,
                                    const std::string& path, std::vector<SavedEmail>& saved, bool& durable)
{
    durable = false;
    archive::MboxFile mbox;
    if (!mbox.Create(path))
        return std::nullopt;
    const std::string shown = PathForTerminal(path);
    SaveTally tally;
    for (const int i : chosen) {
        const archive::MboxFile::Entry entry = mbox.Add(file, i);
        SavedEmail email;
        email.index = i;
        email.result = entry.result;
        email.mboxOffset = entry.offset;
        email.mboxLength = entry.length;
        email.sha256 = entry.sha256;
        email.dateUtc = entry.dateUtc;
        saved.push_back(std::move(email));
        if (!entry.InFile()) {
            ++tally.failed;
            // After a failed write the e-mails left are named below.
            if (!mbox.WriteFailed())
                Error("could not read e-mail " + std::to_string(i) + ": the mail file shrank under it");
            continue;
        }
        // A line on stdout: this e-mail's entry is in the file, whole.
        std::printf("%d\t%s\t%llu\n", i, shown.c_str(), static_cast<unsigned long long>(entry.offset));
        std::fflush(stdout);
        if (entry.result == dbx::DbxFile::WriteResult::kWhole) {
            ++tally.whole;
        } else {
            ++tally.cutShort;
            Error("e-mail " + std::to_string(i) + " is incomplete: the mail file shrank while it was read; " +
                  shown + " holds what could be read");
        }
    }
    if (mbox.WriteFailed()) {
        Error(shown + ": could not be written further (is the disk full?)");
        for (const SavedEmail& email : saved) {
            if (email.result == dbx::DbxFile::WriteResult::kNotCreated)
                Error("e-mail " + std::to_string(email.index) + " is not in " + shown);
        }
        if (mbox.EndsInPartialEntry())
            Error(shown + ": the part of an e-mail after byte " + std::to_string(mbox.Size()) +
                  " could not be cut off; the entries before it are whole");
    }
    durable = mbox.Finish();
    if (mbox.Removed())
        Error(shown + ": no e-mail was written, so the file was removed");
    else if (!durable)
        Error(shown + ": could not be flushed to the disk; the " + std::to_string(mbox.Entries()) +
              " e-mails in it may not all be there");
    return tally;
}

} // namespace cli
