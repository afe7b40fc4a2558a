#pragma once
#include <cstdint>

namespace dbx {

// Receives the progress of a long operation. The base class shows nothing.
class IProgressSink {
public:
    virtual ~IProgressSink() = default;

    // The work has `total` steps; the display restarts at 0.
    virtual void SetTotal(std::int32_t total) { (void)total; }
    // `pos` of the steps are done.
    virtual void SetPos(std::int32_t pos) { (void)pos; }
    // The same as SetPos(first), SetPos(first + 1), ..., SetPos(last) in turn
    // (nothing when last < first). Callers use it for long runs of steps, so
    // that a sink which can jump straight to the end saves a call per step.
    virtual void SetPosRange(std::int32_t first, std::int32_t last)
    {
        for (std::int64_t p = first; p <= last; ++p)
            SetPos(static_cast<std::int32_t>(p));
    }
};

// A sink that ignores everything, including the ranges (costs nothing).
class NullProgressSink final : public IProgressSink {
public:
    void SetPosRange(std::int32_t, std::int32_t) override {}
};

} // namespace dbx
