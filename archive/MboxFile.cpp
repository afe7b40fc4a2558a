#include "archive/MboxFile.h"

#include "archive/Mbox.h"
#include "archive/Sha256.h"
#include "dbx/HeaderFields.h"
#include "dbx/SaveNaming.h"
#include "platform/FsPath.h"

#include <filesystem>

namespace archive {

namespace {

std::string Sender(const dbx::DbxFile& file, const dbx::EmailRecord& record)
{
    if (record.from.empty())
        return "MAILER-DAEMON";
    dbx::HeaderLines lines;
    dbx::ReadHeaderLines(file.View(), record, dbx::HeaderBit(dbx::HeaderField::kFrom), lines);
    const std::string& line = lines[static_cast<std::size_t>(dbx::HeaderField::kFrom)];
    return EnvelopeSender(line.empty() ? record.from : line);
}

std::string FolderOf(const std::string& path)
{
    const std::filesystem::path folder = platform::ToFsPath(path).parent_path();
    return folder.empty() ? std::string(".") : platform::FromFsPath(folder);
}

} // namespace

bool MboxFile::Create(const std::string& path)
{
    // A folder that cannot be opened leaves the final flush false: the
    // save is then not called durable.
    folderSync_.Open(FolderOf(path));
    return out_.Create(path);
}

MboxFile::Entry MboxFile::Add(const dbx::DbxFile& file, int index)
{
    Entry entry;
    const dbx::EmailRecord* record = file.GetAt(index);
    if (writeFailed_ || !record)
        return entry;
    text_.clear();
    const bool complete = file.ReadMessage(index, text_);
    if (!complete && text_.empty())
        return entry;
    entry.dateUtc = dbx::DateUtc(file, index);
    entry_ = SeparatorLine(Sender(file, *record), entry.dateUtc);
    AppendMboxEntry(text_, record->isDeleted, entry_);
    if (!out_.Write(entry_.data(), entry_.size())) {
        // Whatever part of the entry reached the file goes again, so that
        // the file ends after its last whole entry.
        writeFailed_ = true;
        partialTail_ = !out_.CutBack(size_);
        return entry;
    }
    Sha256 hash;
    hash.Update(entry_);
    entry.sha256 = hash.HexDigest();
    entry.offset = size_;
    entry.length = entry_.size();
    entry.result = complete ? dbx::DbxFile::WriteResult::kWhole : dbx::DbxFile::WriteResult::kCutShort;
    size_ += entry_.size();
    ++entries_;
    return entry;
}

bool MboxFile::Finish()
{
    if (entries_ == 0 && !partialTail_) {
        out_.Discard();
        removed_ = true;
        return true;
    }
    // The file's own data first, then its name in the folder.
    const bool synced = out_.Sync();
    const bool closed = out_.Keep();
    const bool folderSynced = folderSync_.Sync();
    return synced && closed && folderSynced;
}

} // namespace archive
