#pragma once

// Lowers the process's file-size limit for the scope, so that a write past
// it fails as on a full disk (SIGXFSZ ignored, the write returns an error).
// Restored on every way out, also when an assertion ends the test early.

#include <csignal>
#include <sys/resource.h>

namespace testsupport {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ok_ = getrlimit(RLIMIT_FSIZE, &old_) == 0;
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old_;
        small.rlim_cur = bytes;
        ok_ = ok_ && setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Set() const { return ok_; }

private:
    rlimit old_{};
    void (*handler_)(int) = nullptr;
    bool ok_ = false;
};

} // namespace testsupport
