#include "platform/WorkerPool.h"

#include "platform/ThreadAltStack.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <system_error>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sched.h>
#endif

namespace platform {

unsigned UsableProcessors()
{
#ifdef _WIN32
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0)
        return static_cast<unsigned>(__builtin_popcountll(static_cast<unsigned long long>(process)));
#else
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
#endif
    return std::max(1u, std::thread::hardware_concurrency());
}

unsigned ThreadsFromSetting(const char* setting, unsigned usable)
{
    if (setting && setting[0] >= '0' && setting[0] <= '9') {
        char* end = nullptr;
        const unsigned long n = std::strtoul(setting, &end, 10);
        if (*end == '\0' && n >= 1)
            return static_cast<unsigned>(std::min<unsigned long>(n, kMaxWorkerThreads));
    }
    return std::clamp(usable, 1u, kMaxWorkerThreads);
}

unsigned WorkerThreads()
{
    static const unsigned threads = ThreadsFromSetting(std::getenv("QUILLMEND_THREADS"), UsableProcessors());
    return threads;
}

WorkerPool::WorkerPool(unsigned threads)
{
    threads = std::clamp(threads, 1u, kMaxWorkerThreads);
    for (unsigned slot = 1; slot < threads; ++slot) {
        try {
            threads_.emplace_back([this, slot] { Serve(slot); });
        } catch (const std::system_error&) {
            break;  // the system gives no more threads: the job runs on fewer
        }
    }
}

WorkerPool::~WorkerPool()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void WorkerPool::Serve(unsigned slot)
{
    ThreadAltStack altStack;
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_)
            return;
        seen = generation_;
        const std::function<void(unsigned)>& job = *job_;
        lock.unlock();
        std::exception_ptr error;
        try {
            job(slot);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error && !error_)
            error_ = error;
        if (--running_ == 0)
            done_.notify_one();
    }
}

unsigned WorkerPool::Run(const std::function<void(unsigned)>& job)
{
    if (threads_.empty() || busy_.exchange(true, std::memory_order_acquire)) {
        job(0);
        return 1;
    }
    {
        std::lock_guard lock(mutex_);
        job_ = &job;
        running_ = static_cast<unsigned>(threads_.size());
        error_ = nullptr;
        ++generation_;
    }
    wake_.notify_all();
    std::exception_ptr error;
    try {
        job(0);
    } catch (...) {
        error = std::current_exception();
    }
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return running_ == 0; });
    job_ = nullptr;
    if (!error)
        error = error_;
    error_ = nullptr;
    lock.unlock();
    busy_.store(false, std::memory_order_release);
    if (error)
        std::rethrow_exception(error);
    return Threads();
}

WorkerPool& SharedWorkers()
{
    // Never destroyed: its threads wait for work until the process ends,
    // and no job can outlive a static destructor that joined them.
    static WorkerPool* const pool = new WorkerPool(WorkerThreads());
    return *pool;
}

} // namespace platform
