#pragma once
// Records the file operations of a save through the platform's seam, in
// order, and can make one kind of step fail from a chosen one on (a disk
// that fills, a flush that fails). Installed for its lifetime.

#include "platform/FileOpsHook.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

class FileOpsRecorder final : public platform::FileOpsHook {
public:
    struct Step {
        platform::FileOp op;
        std::string path;
        std::uint64_t bytes;
    };

    FileOpsRecorder() { platform::SetFileOpsHook(this); }
    ~FileOpsRecorder() override { platform::SetFileOpsHook(nullptr); }

    // Steps of kind `op` fail from the `first`-th one on (0 = every one).
    void FailFrom(platform::FileOp op, int first)
    {
        std::lock_guard lock(mutex_);
        failOp_ = op;
        failFrom_ = first;
    }
    // Writes fail once `bytes` bytes were written in all: a disk that
    // fills. With `under`, only writes to paths that begin with it count.
    void FailWritesAfter(std::uint64_t bytes, std::string under = {})
    {
        std::lock_guard lock(mutex_);
        writeRoom_ = bytes;
        writeUnder_ = std::move(under);
    }

    bool Before(platform::FileOp op, const std::string& path, std::uint64_t bytes) override
    {
        std::lock_guard lock(mutex_);
        steps_.push_back({op, path, bytes});
        if (op == platform::FileOp::kWrite && path.starts_with(writeUnder_)) {
            if (bytes > writeRoom_)
                return false;
            writeRoom_ -= bytes;
        }
        if (failFrom_ >= 0 && op == failOp_)
            return seen_[static_cast<int>(op)]++ < failFrom_;
        return true;
    }

    std::vector<Step> Steps() const
    {
        std::lock_guard lock(mutex_);
        return steps_;
    }
    int Count(platform::FileOp op) const
    {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(steps_.begin(), steps_.end(), [&](const Step& s) { return s.op == op; }));
    }

private:
    mutable std::mutex mutex_;
    std::vector<Step> steps_;
    platform::FileOp failOp_ = platform::FileOp::kCreate;
    int failFrom_ = -1;
    int seen_[8] = {};
    std::uint64_t writeRoom_ = UINT64_MAX;
    std::string writeUnder_;
};

} // namespace testsupport
