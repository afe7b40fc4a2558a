#pragma once
// Writing a file from inside a signal handler: plain system calls on a file
// descriptor, no buffering, no allocation.

#include <cstddef>

namespace platform {

// Creates `path` for writing, or truncates it when it exists; readable by the
// user only, never through a symbolic link. Returns a descriptor, or -1.
int CreateFileForCrash(const char* path);

// Writes all `size` bytes (retrying short writes); false on an error.
bool WriteAll(int fd, const void* data, std::size_t size);

void CloseFile(int fd);

// Deletes `path`; nothing happens when it is not there.
void RemoveFile(const char* path);

} // namespace platform
