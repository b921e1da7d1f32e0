// The firmware image a job serves: the built-in one, or a file read whole. Either way
// it is opaque: its first 16 bytes travel in the BOOTP reply and bytes 28.. over TFTP.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace app {

class ServedImage {
  public:
    // Shortest and longest images that can be served: the 28-byte header, and what
    // TFTP's 16-bit block numbers carry after it.
    static const std::uint32_t kMinSize;
    static const std::uint32_t kMaxSize;

    static ServedImage BuiltIn();
    // The file's bytes; nothing, with `error` a message for the user, when the file is
    // missing, unreadable, too short or too long.
    static std::optional<ServedImage> FromFile(const std::string& path, std::string& error);

    const std::uint8_t* Data() const;
    std::uint32_t Size() const { return size_; }
    std::uint32_t Crc32() const { return crc32_; }  // of the whole image
    // "built-in", or the file's path.
    const std::string& Source() const { return source_; }

  private:
    ServedImage(std::vector<std::uint8_t> bytes, std::string source);

    std::vector<std::uint8_t> bytes_;  // empty for the built-in image
    std::uint32_t size_ = 0;
    std::uint32_t crc32_ = 0;
    std::string source_;
};

}  // namespace app
