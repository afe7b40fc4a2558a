#pragma once
// A chain of nested folders deeper than a whole path may be long, made and
// removed relative to each folder (a whole path would be refused).

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

class DeepFolder {
public:
    // Makes `levels` folders named `name`, each inside the one before, in
    // `base`; `path` is the deepest.
    DeepFolder(const std::string& base, std::string name, int levels) : top_(base + "/" + name), name_(std::move(name))
    {
        fd_ = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        path = base;
        for (int i = 0; i < levels && fd_ >= 0; ++i) {
            ::mkdirat(fd_, name_.c_str(), 0755);
            const int next = ::openat(fd_, name_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd_);
            fd_ = next;
            path += "/" + name_;
        }
    }
    ~DeepFolder()
    {
        if (fd_ >= 0)
            ::close(fd_);
        // rm walks relative to each folder, as deep as the chain goes.
        const std::string command = "rm -rf '" + top_ + "'";
        if (std::system(command.c_str()) != 0)
            return;
    }
    DeepFolder(const DeepFolder&) = delete;
    DeepFolder& operator=(const DeepFolder&) = delete;

    // The deepest folder, open.
    int Fd() const { return fd_; }
    const std::string& Last() const { return name_; }

    std::string path;

private:
    std::string top_;
    std::string name_;
    int fd_ = -1;
};

// Writes `bytes` to a new file `name` in the folder open as `dirFd`.
inline bool WriteFileAt(int dirFd, const char* name, std::string_view bytes)
{
    const int fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && written;
}

} // namespace testsupport
