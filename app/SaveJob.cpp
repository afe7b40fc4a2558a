#include "app/SaveJob.h"

#include "archive/MboxFile.h"
#include "dbx/SaveNaming.h"
#include "mailtext/HeaderText.h"
#include "platform/Files.h"
#include "render/AttachmentSaver.h"

namespace app {

SaveJob::SaveJob(std::vector<SaveItem> items, Writer write, Flusher flush)
    : items_(std::move(items)), write_(std::move(write)), flush_(std::move(flush))
{
    tally_.total = Total();
}

SaveJob SaveJob::ForFile(const dbx::DbxFile& file, std::vector<SaveItem> items, const std::string& folder)
{
    auto saver = std::make_shared<dbx::EmlSaver>(file, folder, true);
    auto sync = std::make_shared<platform::FolderSync>();
    sync->Open(folder);
    return SaveJob(
        std::move(items),
        [&file, saver](const SaveItem& item) {
            return saver->Save(item.messageIndex, item.displayIndex, mailtext::SubjectText(file, item.messageIndex))
                .result;
        },
        [sync] { return sync->Sync(); });
}

SaveJob SaveJob::ForMbox(const dbx::DbxFile& file, std::vector<SaveItem> items,
                         std::shared_ptr<archive::MboxFile> mbox)
{
    return SaveJob(
        std::move(items), [&file, mbox](const SaveItem& item) { return mbox->Add(file, item.messageIndex).result; },
        [mbox] { return mbox->Finish(); });
}

namespace {

// What one e-mail's attachments count as for the job: not written only
// when none of them was (so that the flush still covers the others).
dbx::DbxFile::WriteResult Count(const std::vector<render::SavedAttachment>& saved, AttachmentTally& tally)
{
    int written = 0;
    bool allWhole = true;
    for (const render::SavedAttachment& file : saved) {
        ++tally.found;
        tally.lastPath = file.path;
        switch (file.result) {
        case dbx::DbxFile::WriteResult::kWhole:
            ++tally.whole;
            ++written;
            break;
        case dbx::DbxFile::WriteResult::kCutShort:
            ++tally.damaged;
            ++written;
            allWhole = false;
            break;
        case dbx::DbxFile::WriteResult::kNotCreated:
            ++tally.notWritten;
            allWhole = false;
            break;
        }
    }
    if (allWhole)
        return dbx::DbxFile::WriteResult::kWhole;
    return written > 0 ? dbx::DbxFile::WriteResult::kCutShort : dbx::DbxFile::WriteResult::kNotCreated;
}

} // namespace

SaveJob SaveJob::ForAttachments(const dbx::DbxFile& file, std::vector<SaveItem> items, const std::string& folder,
                                std::shared_ptr<AttachmentTally> tally)
{
    auto saver = std::make_shared<render::AttachmentSaver>(file, folder);
    auto sync = std::make_shared<platform::FolderSync>();
    sync->Open(folder);
    return SaveJob(
        std::move(items),
        [saver, tally](const SaveItem& item) {
            return Count(saver->SaveAll(item.messageIndex, item.displayIndex), *tally);
        },
        [sync] { return sync->Sync(); });
}

SaveJob SaveJob::ForAttachment(const dbx::DbxFile& file, SaveItem item, std::size_t number,
                               const std::string& folder, const std::string& name,
                               std::shared_ptr<AttachmentTally> tally)
{
    auto saver = std::make_shared<render::AttachmentSaver>(file, folder);
    auto sync = std::make_shared<platform::FolderSync>();
    sync->Open(folder);
    return SaveJob(
        {item},
        [saver, tally, number, name](const SaveItem& one) {
            return Count({saver->SaveOne(one.messageIndex, number, name)}, *tally);
        },
        [sync] { return sync->Sync(); });
}

void SaveJob::Run()
{
    for (const SaveItem& item : items_) {
        if (cancel_.load()) {
            tally_.notTried = Total() - done_.load();
            break;
        }
        switch (write_(item)) {
        case dbx::DbxFile::WriteResult::kWhole:
            ++tally_.whole;
            break;
        case dbx::DbxFile::WriteResult::kCutShort:
            ++tally_.cutShort;
            break;
        case dbx::DbxFile::WriteResult::kNotCreated:
            ++tally_.notWritten;
            break;
        }
        done_.fetch_add(1);
    }
    // Nothing is called saved before it is on the disk.
    flushing_.store(true);
    if (tally_.whole + tally_.cutShort > 0 && flush_)
        tally_.durable = flush_();
}

} // namespace app
