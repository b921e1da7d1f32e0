// Images from files: served byte for byte, and every file that cannot be served is
// refused with a reason before a job starts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/ServedImage.h"
#include "app/firmware_image.h"

namespace app {
namespace {

class ServedImageTest : public ::testing::Test {
  protected:
    ServedImageTest()
        : folder_(std::filesystem::temp_directory_path() /
                  ("emcb-image-test-" + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(folder_);
    }
    ~ServedImageTest() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::string File(const std::vector<std::uint8_t>& bytes) {
        const std::string path = (folder_ / "image.bin").string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string SparseFile(std::uintmax_t size) {
        const std::string path = (folder_ / "sparse.bin").string();
        std::ofstream(path, std::ios::binary).put('E');
        std::filesystem::resize_file(path, size);
        return path;
    }

    const std::filesystem::path folder_;
};

TEST_F(ServedImageTest, AFileIsServedWholeWithItsCrc) {
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31);
    std::string error;
    const auto image = ServedImage::FromFile(File(bytes), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->Size(), 1000u);
    EXPECT_EQ(std::vector<std::uint8_t>(image->Data(), image->Data() + image->Size()), bytes);
    // A copy serves its own bytes, not those of an image that has gone.
    auto copy = std::make_unique<ServedImage>(*image);
    const ServedImage kept = *copy;
    copy.reset();
    EXPECT_EQ(std::vector<std::uint8_t>(kept.Data(), kept.Data() + kept.Size()), bytes);
}

TEST_F(ServedImageTest, CrcIsTheStandardCrc32OfTheWholeImage) {
    const std::string check = "123456789";
    std::vector<std::uint8_t> bytes(check.begin(), check.end());
    bytes.resize(ServedImage::kMinSize, 0);
    std::string error;
    const auto image = ServedImage::FromFile(File(bytes), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->Crc32(), 0x6FDE5A4Au);  // zlib.crc32(b"123456789" + 19 zero bytes)
    const ServedImage builtIn = ServedImage::BuiltIn();
    EXPECT_EQ(builtIn.Size(), kFirmwareImageSize);
    EXPECT_EQ(builtIn.Data(), FirmwareImage());
    EXPECT_EQ(builtIn.Source(), "built-in");
}

TEST_F(ServedImageTest, TheShortestAndLongestServableImagesAreTakenAndOneByteBeyondIsNot) {
    std::string error;
    EXPECT_TRUE(ServedImage::FromFile(File(std::vector<std::uint8_t>(28)), error)) << error;
    EXPECT_FALSE(ServedImage::FromFile(File(std::vector<std::uint8_t>(27)), error));
    EXPECT_NE(error.find("is 27 bytes long; an image has a header of 28 bytes"), std::string::npos)
        << error;

    EXPECT_EQ(ServedImage::kMaxSize, 28u + 65535u * 512u - 1u);
    const auto longest = ServedImage::FromFile(SparseFile(ServedImage::kMaxSize), error);
    ASSERT_TRUE(longest) << error;
    EXPECT_EQ(longest->Size(), ServedImage::kMaxSize);
    EXPECT_FALSE(ServedImage::FromFile(SparseFile(ServedImage::kMaxSize + 1u), error));
    EXPECT_NE(error.find("is 33,553,948 bytes long; TFTP can serve at most 33,553,947"),
              std::string::npos)
        << error;
}

TEST_F(ServedImageTest, AMissingFileOrAFolderIsRefused) {
    std::string error;
    const std::string missing = (folder_ / "no-such.bin").string();
    EXPECT_FALSE(ServedImage::FromFile(missing, error));
    EXPECT_EQ(error.rfind("The firmware image \"" + missing + "\" cannot be read: ", 0), 0u)
        << error;
    EXPECT_FALSE(ServedImage::FromFile(folder_.string(), error));
    EXPECT_NE(error.find("is a folder, not a file"), std::string::npos) << error;
}

}  // namespace
}  // namespace app
