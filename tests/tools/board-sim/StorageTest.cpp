// The files the simulated board writes: the record of accepted messages and the
// configuration flash.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "os/byte_order.h"
#include "tests/tools/board-sim/link_datagrams.h"
#include "tools/board-sim/Flash.h"
#include "tools/board-sim/MessageRecorder.h"

namespace board_sim {
namespace {

using testing::Bytes;
namespace fs = std::filesystem;

class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "board-sim-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { fs::remove_all(path_); }
    fs::path operator/(const char* name) const { return path_ / name; }
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

Bytes ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Splits a record file as a test reading it would.
std::vector<Bytes> ParseRecords(const Bytes& file) {
    std::vector<Bytes> records;
    std::size_t at = 0;
    while (at + kRecordLengthSize <= file.size()) {
        const std::uint32_t length = os::load_le32(file.data() + at);
        at += kRecordLengthSize;
        if (at + length > file.size()) break;
        records.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at),
                             file.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    EXPECT_EQ(at, file.size()) << "trailing bytes after the last whole record";
    return records;
}

TEST(MessageRecorder, RecordIsLittleEndianLengthThenBytes) {
    const Bytes message(300, 0xA7);
    const Bytes record = MessageRecorder::EncodeRecord(message);
    ASSERT_EQ(record.size(), 304u);
    EXPECT_THAT(Bytes(record.begin(), record.begin() + 4),
                ::testing::ElementsAre(0x2C, 0x01, 0, 0));
    EXPECT_EQ(Bytes(record.begin() + 4, record.end()), message);
}

TEST(MessageRecorder, AppendsEveryMessageInOrderAndKeepsWhatWasThere) {
    TemporaryFolder folder;
    const fs::path path = folder / "record.bin";
    const std::vector<Bytes> first = {Bytes{1}, Bytes(8176, 0x5A)};
    const std::vector<Bytes> second = {Bytes{2, 3, 4}};
    {
        MessageRecorder recorder;
        ASSERT_TRUE(recorder.Open(path.string()));
        for (const Bytes& message : first)
            ASSERT_TRUE(recorder.Append(message));
        // Flushed at once: complete on disk before the recorder is gone.
        EXPECT_EQ(ParseRecords(ReadFile(path)), first);
    }
    MessageRecorder recorder;
    ASSERT_TRUE(recorder.Open(path.string()));
    ASSERT_TRUE(recorder.Append(second[0]));
    EXPECT_EQ(ParseRecords(ReadFile(path)), (std::vector<Bytes>{first[0], first[1], second[0]}));
}

TEST(MessageRecorder, UnopenableFileIsReported) {
    TemporaryFolder folder;
    MessageRecorder recorder;
    EXPECT_FALSE(recorder.Open((folder / "missing" / "record.bin").string()));
    EXPECT_THAT(recorder.LastError(), ::testing::HasSubstr("missing"));
}

TEST(Flash, StoresTheBlockInTheFileAndReplacesIt) {
    TemporaryFolder folder;
    const fs::path path = folder / "flash.bin";
    Flash flash(path.string());
    app::ConfigBlock block = testing::SampleConfigBlock();
    ASSERT_TRUE(flash.Store(block));
    EXPECT_EQ(ReadFile(path), Bytes(block.begin(), block.end()));
    block[40] = 0x11;
    ASSERT_TRUE(flash.Store(block));
    EXPECT_EQ(ReadFile(path), Bytes(block.begin(), block.end()));
    EXPECT_EQ(flash.LastBlock(), block);
    // Nothing but the flash file is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 1);
}

TEST(Flash, FailedReplaceIsReportedAndLeavesNoTemporaryFile) {
    TemporaryFolder folder;
    // A folder where the flash file should be: the rename fails, even for root.
    const fs::path path = folder / "flash.bin";
    fs::create_directory(path);
    fs::create_directory(path / "inside");
    Flash flash(path.string());
    EXPECT_FALSE(flash.Store(testing::SampleConfigBlock()));
    EXPECT_EQ(flash.WriteFailures(), 1u);
    EXPECT_THAT(flash.LastError(), ::testing::HasSubstr("flash.bin"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 1);
}

TEST(Flash, MissingFolderIsAFailedWrite) {
    TemporaryFolder folder;
    Flash flash((folder / "no-such-folder" / "flash.bin").string());
    const app::ConfigBlock block = testing::SampleConfigBlock();
    EXPECT_FALSE(flash.Store(block));
    EXPECT_EQ(flash.WriteFailures(), 1u);
    EXPECT_EQ(flash.LastBlock(), block);  // received all the same
}

TEST(Flash, WithoutAFileKeepsTheBlockInMemory) {
    Flash flash;
    EXPECT_FALSE(flash.LastBlock().has_value());
    const app::ConfigBlock block = testing::SampleConfigBlock();
    EXPECT_TRUE(flash.Store(block));
    EXPECT_EQ(flash.LastBlock(), block);
}

}  // namespace
}  // namespace board_sim
