#pragma once
// The reading half of opening a disk image or a disk: the carver run once
// over it, which another thread may stop at any time, keeping what was
// found so far. Plain C++, so that it runs on a worker thread while the
// window stays responsive and shows how far it has come.

#include "dbx/Carver.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace app {

class CarveJob {
public:
    // What the job has done so far; safe to read from any thread.
    struct Progress {
        std::uint64_t done = 0;   // bytes read
        std::uint64_t total = 0;  // bytes of the image
        std::uint64_t files = 0;  // places that look like mail files so far
        bool reading = true;      // false once the reading is over and the
                                  // mail files are put together and scanned
    };

    CarveJob();
    ~CarveJob();
    CarveJob(const CarveJob&) = delete;
    CarveJob& operator=(const CarveJob&) = delete;

    // Opens the image or disk at `path` (its bytes) read-only. False when it
    // cannot be; Carver().OpenError() says why.
    bool Open(const std::string& path);
    const std::string& Path() const { return path_; }

    // Runs the carve once, on any thread.
    void Run();
    // From any thread: stops the reading soon; what was read is still put
    // together and listed.
    void Cancel() { cancel_.store(true); }
    bool CancelRequested() const { return cancel_.load(); }

    Progress Snapshot() const;

    // The carver: its files and counts are complete once Run has returned.
    dbx::Carver& Carver() { return *carver_; }
    // Hands the carver (and with it the open image) to a new owner; the job
    // is empty afterwards.
    std::unique_ptr<dbx::Carver> TakeCarver() { return std::move(carver_); }

private:
    class Sink;

    std::string path_;
    std::unique_ptr<dbx::Carver> carver_;
    std::atomic<bool> cancel_{false};
    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<std::uint64_t> files_{0};
    std::atomic<bool> reading_{true};
};

} // namespace app
