#include "ui/cli/BlockCommand.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/crc32.h"
#include "os/byte_order.h"
#include "tests/support/AddressTexts.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct RunResult {
    int code;
    std::string out;
    std::string err;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class BlockCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("block-test-" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    RunResult Run(std::vector<std::string> arguments) {
        const fs::path outPath = folder_ / "stdout.txt";
        const fs::path errPath = folder_ / "stderr.txt";
        std::FILE* out = std::fopen(outPath.string().c_str(), "w");
        std::FILE* err = std::fopen(errPath.string().c_str(), "w");
        const int code = RunBlockCommand(arguments, out, err);
        std::fclose(out);
        std::fclose(err);
        return {code, ReadAll(outPath), ReadAll(errPath)};
    }

    std::vector<std::uint8_t> RunToFile(std::vector<std::string> arguments,
                                        RunResult* result = nullptr) {
        const fs::path blockPath = folder_ / "block.bin";
        arguments.insert(arguments.end(), {"--out", blockPath.string()});
        const RunResult run = Run(arguments);
        if (result != nullptr) *result = run;
        const std::string bytes = ReadAll(blockPath);
        return {bytes.begin(), bytes.end()};
    }

    fs::path folder_;
};

TEST_F(BlockCommandTest, WritesTheBlockBuiltFromTheFields) {
    RunResult run{};
    const auto block =
        RunToFile({"--ip", "192.168.1.20", "--mac", "00-1b-2C-3d-4E-5f", "--nickname", "X"}, &run);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(block.size(), 1024u);
    EXPECT_THAT(std::vector<std::uint8_t>(block.begin() + 4, block.begin() + 8),
                ElementsAre(0x14, 0x01, 0xA8, 0xC0));
    EXPECT_THAT(std::vector<std::uint8_t>(block.begin() + 8, block.begin() + 14),
                ElementsAre(0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F));
    EXPECT_EQ(os::load_le32(block.data()), app::Crc32(block.data() + 4, 1020));
}

TEST_F(BlockCommandTest, UnusableFieldsAreWrittenAsBuiltWithAWarning) {
    RunResult run{};
    const auto block = RunToFile({"--ip", "10.9.9.300", "--mac", "12-34-5"}, &run);
    EXPECT_EQ(run.code, 0);
    EXPECT_THAT(run.err, HasSubstr("IP address"));
    ASSERT_EQ(block.size(), 1024u);
    EXPECT_THAT(std::vector<std::uint8_t>(block.begin() + 4, block.begin() + 14),
                ElementsAre(0xFF, 0xFF, 0xFF, 0xFF, 0x12, 0x34, 0xFF, 0xFF, 0xFF, 0xFF));
}

TEST_F(BlockCommandTest, FieldsAreCutAsTheDialogReadsThem) {
    const auto block = RunToFile({"--ip", "10.9.9.9", "--nickname", std::string(70, 'n')});
    ASSERT_EQ(block.size(), 1024u);
    EXPECT_EQ(block[16 + 62], 'n');
    EXPECT_EQ(block[16 + 63], 0);
    // "192.168.100.1000" is no address, though its first 15 characters are: the
    // warning is for the text as typed, the block what the dialog's buffer reads.
    RunResult run{};
    const auto cut = RunToFile({"--ip", "192.168.100.1000"}, &run);
    EXPECT_THAT(run.err, HasSubstr("IP address \"192.168.100.1000\""));
    EXPECT_THAT(std::vector<std::uint8_t>(cut.begin() + 4, cut.begin() + 8),
                ElementsAre(100, 100, 168, 192));
}

TEST_F(BlockCommandTest, EveryAddressTextIsJudgedAsProgramJudgesItAndTheBlockStillWritten) {
    const auto judged = [&](const char* flag, const test::AddressText& entry, const char* field) {
        RunResult run{};
        const auto block = RunToFile({flag, entry.text}, &run);
        EXPECT_EQ(run.code, 0) << entry.text;
        EXPECT_EQ(block.size(), 1024u) << entry.text;
        if (entry.valid) {
            EXPECT_EQ(run.err, "") << entry.text;
        } else {
            EXPECT_THAT(run.err, HasSubstr(std::string(field) + " \"" + entry.text + '"'));
        }
    };
    for (const test::AddressText& ip : test::kIpTexts)
        judged("--ip", ip, "IP address");
    for (const test::AddressText& mac : test::kMacTexts)
        judged("--mac", mac, "MAC address");
}

TEST_F(BlockCommandTest, DefaultsGiveTheDialogsBlockAsAHexDump) {
    const RunResult run = Run({});
    EXPECT_EQ(run.code, 0);
    EXPECT_THAT(run.out, HasSubstr("0000 "));
    EXPECT_THAT(run.out, HasSubstr(" 09 09 09 0A  FF FF FF FF FF FF FF FF"));
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 64);
}

TEST_F(BlockCommandTest, BadArgumentsExplainThemselves) {
    RunResult run = Run({"--colour", "red"});
    EXPECT_EQ(run.code, 2);
    EXPECT_THAT(run.err, HasSubstr("unknown argument '--colour'"));
    run = Run({"--ip"});
    EXPECT_EQ(run.code, 2);
    EXPECT_THAT(run.err, HasSubstr("--ip needs a value"));
    run = Run({"--out", (folder_ / "no-such-folder" / "b.bin").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_THAT(run.err, HasSubstr("cannot create"));
}

}  // namespace
}  // namespace cli
