#pragma once
// The writing half of the Save commands: a list of e-mails written one
// after the other (as .eml files or into one mbox file), which another
// thread may stop between two e-mails, followed by one flush. Plain C++, so
// that it runs on a worker thread while the window stays responsive.

#include "dbx/DbxFile.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace archive {
class MboxFile;
}

namespace app {

// One ticked row: the e-mail's index in its mail file and the row's place
// in the list (which the fallback file name uses).
struct SaveItem {
    int messageIndex = 0;
    int displayIndex = 0;
};

// What became of a save.
struct SaveTally {
    int total = 0;       // e-mails asked for
    int whole = 0;       // written whole
    int cutShort = 0;    // written, but the mail file shrank while it was read
    int notWritten = 0;  // no file could be created
    int notTried = 0;    // left out because the save was cancelled
    bool durable = true; // the files written were flushed to the disk

    bool Cancelled() const { return notTried > 0; }
    // Every e-mail asked for is on the disk, whole.
    bool AllWhole() const { return whole == total && durable; }
};

// What became of the attachments of a save; written by the job's worker,
// read once Run has returned.
struct AttachmentTally {
    int found = 0;       // attachments the e-mails carry
    int whole = 0;       // written whole
    int damaged = 0;     // written, but bytes of them were lost (zeros) or their end is missing
    int notWritten = 0;  // no file could be created
    std::string lastPath;  // the file written last, or the last name tried

    bool AllWhole() const { return whole == found; }
};

class SaveJob {
public:
    using Writer = std::function<dbx::DbxFile::WriteResult(const SaveItem&)>;
    using Flusher = std::function<bool()>;

    // Writes each item with `write` in order; then, when any file was
    // created (or any entry written), calls `flush` once.
    SaveJob(std::vector<SaveItem> items, Writer write, Flusher flush);

    // The job that saves `items` of `file` into `folder` as the command line
    // does: the names from the subjects as the list shows them, each file
    // dated by its e-mail's Date header, one flush of the folder (opened
    // now, before any file is written). `file` must outlive the job.
    static SaveJob ForFile(const dbx::DbxFile& file, std::vector<SaveItem> items, const std::string& folder);
    // The job that adds `items` of `file` to `mbox`, created by the caller,
    // and finishes it (see archive::MboxFile); an mbox left without an
    // entry is removed when the last owner lets go of it.
    static SaveJob ForMbox(const dbx::DbxFile& file, std::vector<SaveItem> items,
                           std::shared_ptr<archive::MboxFile> mbox);

    // The job that saves every attachment of `items` of `file` into
    // `folder` under the names their e-mails give, made safe (a name that is
    // taken gets another; see render::AttachmentSaver), counting them in
    // `tally`, then flushes the folder once (opened now).
    static SaveJob ForAttachments(const dbx::DbxFile& file, std::vector<SaveItem> items, const std::string& folder,
                                  std::shared_ptr<AttachmentTally> tally);
    // The job that saves attachment `number` of `item` as the file `name`
    // in `folder`, or under another name when that is taken.
    static SaveJob ForAttachment(const dbx::DbxFile& file, SaveItem item, std::size_t number,
                                 const std::string& folder, const std::string& name,
                                 std::shared_ptr<AttachmentTally> tally);

    // Runs the job once, on any thread.
    void Run();
    // From any thread: stops the job after the e-mail being written now.
    void Cancel() { cancel_.store(true); }

    int Total() const { return static_cast<int>(items_.size()); }
    // E-mails handled so far; safe to read from any thread while Run goes.
    int Done() const { return done_.load(); }
    // True once the writing is over and the flush has begun.
    bool Flushing() const { return flushing_.load(); }
    bool CancelRequested() const { return cancel_.load(); }
    // The outcome; complete once Run has returned.
    const SaveTally& Tally() const { return tally_; }

private:
    std::vector<SaveItem> items_;
    Writer write_;
    Flusher flush_;
    SaveTally tally_;
    std::atomic<int> done_{0};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> flushing_{false};
};

} // namespace app
