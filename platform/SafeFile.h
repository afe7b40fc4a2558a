#pragma once
// Writing a file from inside a signal handler: plain system calls on a file
// descriptor, no buffering, no allocation.

#include <cstddef>

namespace platform {

// Creates the file `path`, which must not exist yet, for writing; readable
// by the user only, never through a symbolic link. Returns a descriptor, or
// -1 (errno EEXIST when taken).
int CreateNewFileForCrash(const char* path);

// Creates the folder `path`, which must not exist yet, for the user only.
// False when it could not be made (errno EEXIST when taken).
bool CreateFolderForCrash(const char* path);

// Opens `path` for reading; a descriptor, or -1.
int OpenFileForCrash(const char* path);

// Reads up to `size` bytes at `offset`; the count, 0 at the end, -1 on an
// error.
long long ReadAt(int fd, void* data, std::size_t size, unsigned long long offset);

// The size of the open file, or -1.
long long FileSize(int fd);

// Writes all `size` bytes (retrying short writes); false on an error.
bool WriteAll(int fd, const void* data, std::size_t size);

void CloseFile(int fd);

// Deletes `path`; nothing happens when it is not there.
void RemoveFile(const char* path);

// Deletes the folder `path` if it is empty; nothing happens otherwise.
void RemoveEmptyFolder(const char* path);

// The English description of the errno value `error` ("No such file or
// directory"), or nullptr when there is none at hand.
const char* ErrorDescription(int error);

} // namespace platform
