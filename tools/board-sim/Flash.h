// The board's configuration flash: the last configuration block whose CRC held,
// kept in memory and, when a file is given, in that file. The file is replaced
// atomically (a temporary beside it, then rename), so a reader never sees half a
// block and a failed write leaves the previous block in place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/board-sim/link_wire.h"

namespace board_sim {

class Flash {
  public:
    // An empty path keeps the block in memory only.
    explicit Flash(std::string path = {});

    // False when the file could not be written; the block is kept in memory anyway,
    // since the board did receive it.
    bool Store(const ConfigBlock& block);

    const std::optional<ConfigBlock>& LastBlock() const { return lastBlock_; }
    std::uint64_t WriteFailures() const { return writeFailures_; }
    // What went wrong with the last failed write.
    const std::string& LastError() const { return lastError_; }

  private:
    bool WriteFile(const ConfigBlock& block);
    bool Fail(const std::string& what);

    std::string path_;
    std::optional<ConfigBlock> lastBlock_;
    std::uint64_t writeFailures_ = 0;
    std::string lastError_;
};

}  // namespace board_sim
