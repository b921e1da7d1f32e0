#include "app/ServedImage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

#include "app/crc32.h"
#include "app/firmware_image.h"
#include "net/CTftpTransfer.h"

namespace app {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// "33,553,947": sizes a user compares by eye. (Built by appending: GCC 12 at -O3 sees
// a false overlap in inserting into the string.)
std::string Grouped(std::uintmax_t value) {
    const std::string digits = std::to_string(value);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string SizeProblem(const std::string& path, std::uintmax_t size) {
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
    std::error_code status;
    if (std::filesystem::is_directory(path, status)) {
        error = "The firmware image " + Quoted(path) + " is a folder, not a file.";
        return std::nullopt;
    }
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error =
            "The firmware image " + Quoted(path) + " cannot be read: " + std::strerror(errno) + ".";
        return std::nullopt;
    }
    // The size is checked before reading, so a huge file is never read into memory.
    const std::uintmax_t size = std::filesystem::file_size(path, status);
    if (status) {
        error = "The firmware image " + Quoted(path) + " cannot be read: " + status.message() + ".";
        return std::nullopt;
    }
    if (size < kMinSize || size > kMaxSize) {
        error = SizeProblem(path, size);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        std::fgetc(file.get()) != EOF) {
        error = "The firmware image " + Quoted(path) + " changed or could not be read whole.";
        return std::nullopt;
    }
    return ServedImage(std::move(bytes), path);
}

}  // namespace app
