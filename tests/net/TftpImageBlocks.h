// The built-in firmware image as the TFTP server sends it: the content after the image's
// header, in full 512-byte blocks and a last, shorter one.
#pragma once

namespace net {

constexpr int kFullBlocks = 42;
constexpr int kContentSize = 21504;

}  // namespace net
