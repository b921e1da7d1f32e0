#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "os/regular_file.h"

namespace os {
namespace {

using Result = FileRead::Result;

FileRead Failed(int code) {
    return FileRead::Failure(std::strerror(code));
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

// Reads `size` bytes, then makes sure nothing follows.
FileRead ReadWhole(int fd, std::uint64_t size) {
    FileRead read = FileRead::Ended(Result::kRead, size);
    read.bytes.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < read.bytes.size()) {
        const ssize_t got = ::read(fd, read.bytes.data() + done, read.bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Failed(errno);
        if (got == 0) return FileRead::Ended(Result::kChanged);
        done += static_cast<std::size_t>(got);
    }
    char extra = 0;
    ssize_t more = 0;
    do {
        more = ::read(fd, &extra, 1);
    } while (more < 0 && errno == EINTR);
    if (more != 0) return more < 0 ? Failed(errno) : FileRead::Ended(Result::kChanged);
    return read;
}

}  // namespace

FileRead ReadRegularFile(const std::string& path, std::uint64_t maxSize) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return Failed(errno);
    if (S_ISDIR(status.st_mode)) return FileRead::Ended(Result::kFolder);
    if (!S_ISREG(status.st_mode)) return FileRead::Ended(Result::kNotRegular);
    // O_NONBLOCK: should a FIFO take the file's place after the look, the open still
    // returns at once; the look at the open file refuses it.
    const Descriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.Get() < 0) return Failed(errno);
    if (fstat(file.Get(), &status) != 0) return Failed(errno);
    if (!S_ISREG(status.st_mode)) return FileRead::Ended(Result::kNotRegular);
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (size > maxSize) return FileRead::Ended(Result::kTooLong, size);
    return ReadWhole(file.Get(), size);
}

}  // namespace os
