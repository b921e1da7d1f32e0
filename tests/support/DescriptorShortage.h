// Test support (POSIX only): a process that has run out of file descriptors, for as
// long as the object lives, so that what a constructor opens (an eventfd, a socket)
// fails as it does on a loaded machine.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <vector>

namespace testsupport {

class DescriptorShortage {
  public:
    DescriptorShortage() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        // A low ceiling keeps the number of descriptors to fill small.
        rlimit low = saved_;
        low.rlim_cur = kCeiling;
        setrlimit(RLIMIT_NOFILE, &low);
        for (int fd = dup(STDERR_FILENO); fd >= 0; fd = dup(STDERR_FILENO))
            taken_.push_back(fd);
    }
    ~DescriptorShortage() {
        for (const int fd : taken_)
            close(fd);
        setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorShortage(const DescriptorShortage&) = delete;
    DescriptorShortage& operator=(const DescriptorShortage&) = delete;

  private:
    static constexpr rlim_t kCeiling = 256;
    rlimit saved_{};
    std::vector<int> taken_;
};

}  // namespace testsupport
