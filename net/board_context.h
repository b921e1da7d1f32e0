// What the job hands to the board-side services: the firmware image to serve and a
// board name for the TFTP "not responding" question. It lives with the services that
// read it; the job (above them) fills it and keeps it alive for the life of the device.
#pragma once

#include <cstdint>

namespace net {

struct BoardContext {
    char boardName[256] = {};  // empty: the dialog never names the board
    std::uint32_t imageSize = 0;
    const std::uint8_t* image = nullptr;
};

}  // namespace net
