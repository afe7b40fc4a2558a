#pragma once
// Work shared among the processors: how many threads a job may take, and a
// pool of threads that run one job together with the calling thread. Every
// thread of a pool has an alternate signal stack (ThreadAltStack.h).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

// The most threads a job is shared among.
constexpr unsigned kMaxWorkerThreads = 64;

// The processors this process may run on (its affinity mask); at least 1.
unsigned UsableProcessors();

// How many threads a job is shared among: QUILLMEND_THREADS when it holds a
// whole number from 1 on (at most kMaxWorkerThreads), else
// UsableProcessors() (at most kMaxWorkerThreads). Read once per process.
unsigned WorkerThreads();
// The same rule for a setting's text (nullptr: not set) and `usable`
// processors.
unsigned ThreadsFromSetting(const char* setting, unsigned usable);

class WorkerPool {
public:
    // A pool of `threads` threads, the calling thread of each job among
    // them: starts threads - 1 of its own, fewer when the system refuses.
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Threads a job runs on, the calling thread included.
    unsigned Threads() const { return static_cast<unsigned>(threads_.size()) + 1; }

    // Runs job(slot) once on each thread of the pool at the same time, slot
    // 0 on the calling thread, and returns when every call has returned.
    // The calls must take their work from a shared source, so that any
    // number of them gets all of it done: while the pool runs another job
    // (another thread's, or the one this job is part of), job(0) runs on
    // the calling thread alone. An exception a call throws is rethrown here
    // once every call has returned (the first one, when there are several).
    // Returns how many threads ran the job.
    unsigned Run(const std::function<void(unsigned slot)>& job);

private:
    void Serve(unsigned slot);

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(unsigned)>* job_ = nullptr;
    std::uint64_t generation_ = 0;
    unsigned running_ = 0;
    bool stopping_ = false;
    std::exception_ptr error_;
    std::atomic<bool> busy_{false};
};

// The pool of the whole process, with WorkerThreads() threads, started on
// first use and kept until the process ends.
WorkerPool& SharedWorkers();

} // namespace platform
