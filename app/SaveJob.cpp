#include "app/SaveJob.h"

#include "archive/MboxFile.h"
#include "dbx/SaveNaming.h"
#include "mailtext/HeaderText.h"
#include "platform/Files.h"

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
