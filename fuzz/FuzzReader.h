// Reads a fuzzer's input front to back as little-endian fields, so that seed inputs
// can be written by hand (fuzz/make_seeds.py). Past the end every field reads 0 and
// every span is empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace fuzz {

class FuzzReader {
  public:
    FuzzReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return used_ >= size_; }
    std::size_t Remaining() const { return size_ - used_; }

    std::uint8_t U8() { return Empty() ? 0 : data_[used_++]; }
    std::uint16_t U16() {
        const std::uint16_t low = U8();
        return static_cast<std::uint16_t>(low | (U8() << 8));
    }
    // At most `count` bytes, fewer at the end of the input.
    std::span<const std::uint8_t> Bytes(std::size_t count) {
        const std::size_t taken = count < Remaining() ? count : Remaining();
        const std::span<const std::uint8_t> bytes(data_ + used_, taken);
        used_ += taken;
        return bytes;
    }
    std::span<const std::uint8_t> Rest() { return Bytes(Remaining()); }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

// A broken property: abort, so that libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)

}  // namespace fuzz
