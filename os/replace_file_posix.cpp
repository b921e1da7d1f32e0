#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "os/replace_file.h"

namespace os {
namespace {

constexpr int kNameTries = 100;
constexpr mode_t kNewFileMode = 0666;  // less the umask, as open applies it
constexpr mode_t kModeBits = 07777;

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

std::optional<unsigned long> EnvironmentNumber(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || errno != 0) return std::nullopt;
    return value;
}

struct Owner {
    uid_t uid;
    gid_t gid;
};

// The user who ran sudo, when this process is root by sudo.
std::optional<Owner> InvokingUser() {
    if (geteuid() != 0) return std::nullopt;
    const auto uid = EnvironmentNumber("SUDO_UID");
    const auto gid = EnvironmentNumber("SUDO_GID");
    if (!uid || !gid) return std::nullopt;
    return Owner{static_cast<uid_t>(*uid), static_cast<gid_t>(*gid)};
}

// A new file beside `path` that no other writer has: created, never opened, so that
// a file or link put there by someone else is never written through. Its mode is
// 0666 less the umask (mkstemp would give 0600 whatever the umask).
int CreateBeside(const std::string& path, std::string& temporary) {
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        temporary = path + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
        const int fd =
            open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// The mode and owner the new file takes over; false with errno when it cannot.
bool TakeOver(int fd, const std::optional<struct stat>& replaced, FileOwner owner) {
    if (replaced && fchmod(fd, replaced->st_mode & kModeBits) != 0) return false;
    std::optional<Owner> wanted;
    if (owner == FileOwner::kInvokingUser) wanted = InvokingUser();
    if (!wanted && replaced && geteuid() == 0) wanted = Owner{replaced->st_uid, replaced->st_gid};
    if (!wanted) return true;
    return fchown(fd, wanted->uid, wanted->gid) == 0;
}

}  // namespace

ReplaceOutcome ReplaceWholeFile(const std::string& path, const std::string& text, FileOwner owner,
                                std::string& error) {
    std::optional<struct stat> replaced;
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) replaced = status;

    std::string temporary;
    const int fd = CreateBeside(path, temporary);
    if (fd < 0) {
        error = std::strerror(errno);
        return ReplaceOutcome::kFailed;
    }
    const bool written = TakeOver(fd, replaced, owner) && WriteAll(fd, text) && fsync(fd) == 0;
    const int writeErrno = errno;
    const bool closed = close(fd) == 0;
    if (written && closed && std::rename(temporary.c_str(), path.c_str()) == 0)
        return ReplaceOutcome::kReplaced;
    error = std::strerror(written ? errno : writeErrno);
    std::remove(temporary.c_str());
    return ReplaceOutcome::kFailed;
}

}  // namespace os
