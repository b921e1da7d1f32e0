#include "device/status_text.h"

#include <iterator>

namespace device {
namespace {

constexpr const char* kHeading = "Enet Driver Error\r\n\r\n";

constexpr const char* kStatusLines[] = {
    "Error = FT_OK (no error, success)",
    "Error = FT_INVALID_HANDLE",
    "Error = FT_DEVICE_NOT_FOUND",
    "Error = FT_DEVICE_NOT_OPENED",
    "Error = FT_IO_ERROR",
    "Error = FT_INSUFFICIENT_RESOURCES",
    "Error = FT_INVALID_PARAMETER",
    "Error = FT_INVALID_BAUD_RATE",
    "Error = FT_DEVICE_NOT_OPENED_FOR_ERASE",
    "Error = FT_DEVICE_NOT_OPENED_FOR_WRITE",
    "Error = FT_FAILED_TO_WRITE_DEVICE",
    "Error = FT_EEPROM_READ_FAILED",
    "Error = FT_EEPROM_WRITE_FAILED",
    "Error = FT_EEPROM_ERASE_FAILED",
    "Error = FT_EEPROM_NOT_PRESENT",
    "Error = FT_EEPROM_NOT_PROGRAMMED",
    "Error = FT_INVALID_ARGS",
    "Error = FT_NOT_SUPPORTED",
    "Error = FT_OTHER_ERROR",
};

}  // namespace

std::string StatusText(int code) {
    if (code < 0 || code >= static_cast<int>(std::size(kStatusLines))) return "Unknown Error Code!";
    return std::string(kHeading) + kStatusLines[code];
}

}  // namespace device
