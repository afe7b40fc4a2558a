#pragma once
// A seam for tests: what the program does to the files it saves, in order,
// seen before each step happens, with the power to make a step fail as a
// full or failing disk does. Nothing is installed outside tests.

#include <cstdint>
#include <string>

namespace platform {

enum class FileOp {
    kCreate,          // a new file is created (ExclusiveFile::Create)
    kWrite,           // bytes are written to it (`bytes` of them)
    kCutBack,         // it is cut back to `bytes`
    kSyncFile,        // the file itself is flushed
    kClose,           // it is closed and kept
    kRemove,          // it is removed
    kOpenFolderSync,  // the descriptor of a folder's final flush is opened
    kSyncFolder,      // that flush
};

class FileOpsHook {
public:
    virtual ~FileOpsHook() = default;
    // Called before `op` on `path`; false makes the step fail (a write with
    // ENOSPC, the others with EIO) without doing it.
    virtual bool Before(FileOp op, const std::string& path, std::uint64_t bytes) = 0;
};

// Installs `hook` for every thread (nullptr removes it). For tests only.
void SetFileOpsHook(FileOpsHook* hook);

namespace detail {
// True when the step may go ahead (no hook, or the hook allows it).
bool AllowFileOp(FileOp op, const std::string& path, std::uint64_t bytes = 0);
} // namespace detail

} // namespace platform
