#include "app/ServedImage.h"

#include <utility>

#include "app/crc32.h"
#include "app/firmware_image.h"
#include "net/CTftpTransfer.h"
#include "os/regular_file.h"

namespace app {
namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// "33,553,947": sizes a user compares by eye. (Built by appending: GCC 12 at -O3 sees
// a false overlap in inserting into the string.)
std::string Grouped(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string SizeProblem(const std::string& path, std::uint64_t size) {
    const std::string start =
        "The firmware image " + Quoted(path) + " is " + Grouped(size) + " bytes long; ";
    if (size < ServedImage::kMinSize)
        return start + "an image has a header of " + std::to_string(ServedImage::kMinSize) +
               " bytes before its content.";
    return start + "TFTP can serve at most " + Grouped(ServedImage::kMaxSize) +
           " (65,535 blocks of 512 bytes after the 28-byte header).";
}

}  // namespace

const std::uint32_t ServedImage::kMinSize = net::kTftpContentOffset;
const std::uint32_t ServedImage::kMaxSize = net::kTftpContentOffset + net::kTftpMaxContentSize;

ServedImage::ServedImage(std::vector<std::uint8_t> bytes, std::string source)
    : bytes_(std::move(bytes)), source_(std::move(source)) {
    size_ = static_cast<std::uint32_t>(bytes_.empty() ? kFirmwareImageSize : bytes_.size());
    crc32_ = app::Crc32(Data(), size_);
}

// Found afresh each time, so a copied or moved image points at its own bytes.
const std::uint8_t* ServedImage::Data() const {
    return bytes_.empty() ? FirmwareImage() : bytes_.data();
}

ServedImage ServedImage::BuiltIn() {
    return ServedImage({}, "built-in");
}

std::optional<ServedImage> ServedImage::FromFile(const std::string& path, std::string& error) {
    // The size is checked before reading, so a huge file is never read into memory.
    os::FileRead read = os::ReadRegularFile(path, kMaxSize);
    const std::string named = "The firmware image " + Quoted(path);
    switch (read.result) {
        case os::FileRead::Result::kRead:
            if (read.size < kMinSize) break;
            return ServedImage(std::move(read.bytes), path);
        case os::FileRead::Result::kTooLong:
            break;
        case os::FileRead::Result::kFolder:
            error = named + " is a folder, not a file.";
            return std::nullopt;
        case os::FileRead::Result::kNotRegular:
            error = named + " is not a regular file (a pipe or a device cannot be served).";
            return std::nullopt;
        case os::FileRead::Result::kChanged:
            error = named + " changed or could not be read whole.";
            return std::nullopt;
        case os::FileRead::Result::kFailed:
            error = named + " cannot be read: " + read.error + ".";
            return std::nullopt;
    }
    error = SizeProblem(path, read.size);
    return std::nullopt;
}

}  // namespace app
