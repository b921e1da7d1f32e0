#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/replace_file.h"

namespace os {
namespace {

bool WriteAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t result = write(fd, text.data() + written, text.size() - written);
        if (result < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        written += static_cast<std::size_t>(result);
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    std::string temporary = path + ".XXXXXX";  // unique, so two writers never share it
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(fd, text) && fsync(fd) == 0;
    const int writeErrno = errno;
    const bool closed = close(fd) == 0;
    if (written && closed && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    error = std::strerror(written ? errno : writeErrno);
    std::remove(temporary.c_str());
    return false;
}

}  // namespace os
