// Test support: the captured sample packets under tests/data/.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testsupport {

// The bytes of tests/data/`name`; a test that finds none fails.
inline std::vector<std::uint8_t> TestData(const std::string& name) {
    std::ifstream file(std::string(EMCB_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    EXPECT_FALSE(bytes.empty()) << "no test data " << name;
    return bytes;
}

}  // namespace testsupport
