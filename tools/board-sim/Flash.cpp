#include "tools/board-sim/Flash.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace board_sim {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

std::string ErrnoText() {
    return std::strerror(errno);
}

}  // namespace

Flash::Flash(std::string path) : path_(std::move(path)) {}

bool Flash::Store(const ConfigBlock& block) {
    lastBlock_ = block;
    if (path_.empty()) return true;
    return WriteFile(block);
}

bool Flash::WriteFile(const ConfigBlock& block) {
    const std::string temporary = path_ + ".tmp." + std::to_string(getpid());
    {
        FilePointer file(std::fopen(temporary.c_str(), "wb"));
        if (!file) return Fail("cannot create " + temporary + ": " + ErrnoText());
        const bool written = std::fwrite(block.data(), 1, block.size(), file.get()) == block.size();
        // The data must be on disk before the rename makes it the flash content.
        const bool synced =
            written && std::fflush(file.get()) == 0 && fsync(fileno(file.get())) == 0;
        const std::string error = ErrnoText();
        if (std::fclose(file.release()) != 0 || !synced) {
            std::remove(temporary.c_str());
            return Fail("cannot write " + temporary + ": " + error);
        }
    }
    if (std::rename(temporary.c_str(), path_.c_str()) != 0) {
        const std::string error = ErrnoText();
        std::remove(temporary.c_str());
        return Fail("cannot replace " + path_ + ": " + error);
    }
    return true;
}

bool Flash::Fail(const std::string& what) {
    ++writeFailures_;
    lastError_ = what;
    return false;
}

}  // namespace board_sim
