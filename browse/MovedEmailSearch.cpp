#include "browse/MovedEmailSearch.h"

#include "platform/ThreadAltStack.h"

#include <QMetaObject>

#include <algorithm>

struct MovedEmailSearch::Worker {
    // Tells the carver to stop once the search is no longer wanted.
    class Sink final : public dbx::ICarveProgress {
    public:
        explicit Sink(const std::atomic<bool>& stop) : stop_(stop) {}
        bool Stopped() override { return stop_.load(); }

    private:
        const std::atomic<bool>& stop_;
    };

    int id = -1;
    std::uint64_t serial = 0;  // tells the worker's end from a later one's
    std::atomic<bool> stop{false};
    bool ended = false;
    dbx::MovedSearch result;
    std::thread thread;
};

MovedEmailSearch::MovedEmailSearch(QObject* parent) : QObject(parent) {}

MovedEmailSearch::~MovedEmailSearch()
{
    Wait();
}

void MovedEmailSearch::Start(int id, const std::string& path, const dbx::DbxFile& file)
{
    Stop();
    auto worker = std::make_unique<Worker>();
    worker->id = id;
    worker->serial = nextSerial_++;
    Worker* w = worker.get();
    const std::uint64_t serial = w->serial;
    worker->thread = std::thread([this, w, serial, path, &file] {
        platform::ThreadAltStack altStack;  // a stack overflow here is reported, too
        Worker::Sink sink(w->stop);
        w->result = dbx::FindMovedEmails(path, file, sink);
        // Queued to this object: dropped unread if it is gone by then (it
        // waits for this thread before it goes).
        QMetaObject::invokeMethod(this, [this, serial] {
            const auto it = std::find_if(workers_.begin(), workers_.end(),
                                         [serial](const auto& candidate) { return candidate->serial == serial; });
            if (it != workers_.end())
                OnWorkerDone(it->get());
        }, Qt::QueuedConnection);
    });
    workers_.push_back(std::move(worker));
    running_ = id;
}

void MovedEmailSearch::Stop()
{
    for (const auto& w : workers_)
        w->stop.store(true);
    running_ = -1;
}

void MovedEmailSearch::Wait()
{
    Stop();
    for (const auto& w : workers_)
        if (w->thread.joinable())
            w->thread.join();
    workers_.clear();
}

void MovedEmailSearch::OnWorkerDone(Worker* worker)
{
    worker->thread.join();  // it has returned, or is about to
    worker->ended = true;
    const int id = worker->id;
    const bool wanted = !worker->stop.load();
    if (!wanted) {
        workers_.erase(std::find_if(workers_.begin(), workers_.end(),
                                    [worker](const auto& w) { return w.get() == worker; }));
        return;
    }
    running_ = -1;
    emit finished(id);
}

dbx::MovedSearch MovedEmailSearch::TakeResult(int id)
{
    const auto it = std::find_if(workers_.begin(), workers_.end(),
                                 [id](const auto& w) { return w->ended && w->id == id && !w->stop.load(); });
    if (it == workers_.end())
        return {};
    dbx::MovedSearch result = std::move((*it)->result);
    workers_.erase(it);
    return result;
}
