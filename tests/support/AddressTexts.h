// The address texts every front-end is tried with: each must refuse the same ones,
// naming the field and the text, and take the same ones.
#pragma once

namespace test {

struct AddressText {
    const char* text;
    bool valid;
};

inline constexpr AddressText kIpTexts[] = {
    {"010.9.9.21", false},   // inet_addr: octal, 8.9.9.21
    {"10.9.92", false},      // inet_addr: 10.9.0.92
    {"10.9.9.21 x", false},  // inet_addr: stops at the blank
    {"1", false},            // inet_addr: 0.0.0.1
    {"256.1.1.1", false},
    {" 10.9.9.21", false},
    {"10.9.9.21 ", false},
    {"10.9.9.00", false},
    {"0x0A.9.9.21", false},
    {"10.9.9.21.", false},
    {"192.168.100.100x", false},  // its first 15 characters would pass
    {"10.9.9.21", true},
    {"192.168.100.100", true},
    {"10.0.0.0", true},
};

inline constexpr AddressText kMacTexts[] = {
    {"00-1B-2C-3D-4E-5F", true},
    {"0-1-2-3-4-5", true},  // one digit a group is the block's own form
    {"", true},             // any computer
    {"00-1B-2C-3D-4E-5F ", false},
    {" 00-1B-2C-3D-4E-5F", false},
    {"00:1B:2C:3D:4E:5F", false},
    {"00-1B-2C-3D-4E", false},
    {"00-1B-2C-3D-4E-5Fxyz", false},
};

}  // namespace test
