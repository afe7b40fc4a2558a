#include "platform/FileOpsHook.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<FileOpsHook*> g_hook{nullptr};
} // namespace

void SetFileOpsHook(FileOpsHook* hook)
{
    g_hook.store(hook);
}

namespace detail {

bool AllowFileOp(FileOp op, const std::string& path, std::uint64_t bytes)
{
    FileOpsHook* hook = g_hook.load(std::memory_order_acquire);
    return !hook || hook->Before(op, path, bytes);
}

} // namespace detail

} // namespace platform
