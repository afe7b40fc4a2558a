#pragma once
// Looks for the e-mails of a listed mail file whose blocks were moved
// inside it (dbx::FindMovedEmails), on a worker thread, after the file's
// first scan has listed what the scan finds: the list comes as fast as
// without it, and the moved e-mails follow when found. One search at a time.

#include "dbx/MovedEmails.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class MovedEmailSearch : public QObject {
    Q_OBJECT
public:
    explicit MovedEmailSearch(QObject* parent = nullptr);
    // Stops the search and waits for every worker to end.
    ~MovedEmailSearch() override;

    // Starts looking in `file` (scanned, opened from `path`), which must
    // stay alive and unchanged until finished(id) has come or Wait() has
    // returned. A search still running is stopped first.
    void Start(int id, const std::string& path, const dbx::DbxFile& file);
    // Asks the running search to stop soon; it then finishes as stopped.
    // Does not wait for it.
    void Stop();
    // Stops every search and waits until no worker runs.
    void Wait();

    // The id of the search running; -1 when none is.
    int Running() const { return running_; }
    // The outcome of search `id` once finished(id) has come; empty otherwise.
    dbx::MovedSearch TakeResult(int id);

signals:
    // Search `id` has ended (delivered on this object's thread).
    void finished(int id);

private:
    struct Worker;
    void OnWorkerDone(Worker* worker);

    std::vector<std::unique_ptr<Worker>> workers_;  // running, or stopped and not yet ended
    int running_ = -1;
    std::uint64_t nextSerial_ = 1;
};
