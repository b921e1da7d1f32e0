#include "diag/CLog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace diag {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

// A fresh folder under the temporary directory, removed afterwards.
class TempFolder {
  public:
    TempFolder() {
        path_ = fs::temp_directory_path() /
                ("clog-test-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }
    // The folder as CLog takes it: ending in a separator.
    std::string Text() const { return (path_ / "").string(); }

  private:
    fs::path path_;
};

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Captures what a log writes to its console stream.
class ConsoleCapture {
  public:
    ConsoleCapture(CLog& log, const TempFolder& folder)
        : path_((folder.Path() / "console.txt").string()) {
        stream_ = std::fopen(path_.c_str(), "w");
        log.SetConsole(stream_);
    }
    ~ConsoleCapture() {
        if (stream_ != nullptr) std::fclose(stream_);
    }
    std::vector<std::string> Lines() {
        std::fflush(stream_);
        return ReadLines(path_);
    }

  private:
    std::string path_;
    std::FILE* stream_ = nullptr;
};

const char* const kTimestamp = "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9][0-9][0-9]  ";

TEST(CLog, WritesTheFileNamedAfterTheStartTimeWhenTheFolderExists) {
    TempFolder folder;
    std::string path;
    {
        CLog log(folder.Text().c_str());
        ASSERT_TRUE(log.HasFile());
        path = log.FilePath();
        log.Print("CTest::Print - value %d", 42);
    }
    const std::string name = fs::path(path).filename().string();
    EXPECT_TRUE(std::regex_match(
        name,
        std::regex(
            "Zarno_Log_20[0-9]{2}_[01][0-9]_[0-3][0-9]__[0-2][0-9]_[0-5][0-9]_[0-5][0-9]\\.log")))
        << name;
    const auto lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(
        std::regex_match(lines[0], std::regex(std::string(kTimestamp) + "CTest::Print - value 42")))
        << lines[0];
}

TEST(CLog, RunsSilentlyWithoutItsFolder) {
    TempFolder folder;
    const std::string missing = (folder.Path() / "missing" / "").string();
    CLog log(missing.c_str());
    ConsoleCapture console(log, folder);
    EXPECT_FALSE(log.HasFile());
    log.Print("still %s", "logged");
    EXPECT_FALSE(fs::exists(folder.Path() / "missing"));
    const auto lines = console.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], HasSubstr("still logged"));
}

TEST(CLog, CutsLongMessagesTo511Characters) {
    TempFolder folder;
    CLog log(nullptr);
    ConsoleCapture console(log, folder);
    log.Print("%s", std::string(600, 'x').c_str());
    const auto lines = console.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 511u);
    EXPECT_EQ(lines[0].substr(14), std::string(497, 'x'));
}

TEST(CLog, TextEndingInNewlineLeavesAnEmptyLine) {
    TempFolder folder;
    CLog log(nullptr);
    ConsoleCapture console(log, folder);
    log.Print("CBootP::Test - bind failed\n");
    log.Separator();
    const auto lines = console.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2].substr(14), CLog::kSeparatorLine);
    EXPECT_EQ(lines[2].size(), 14u + 79u);
}

TEST(CLog, HexDumpRowsMarkTheNinthByte) {
    TempFolder folder;
    CLog log(nullptr);
    ConsoleCapture console(log, folder);
    std::uint8_t data[20];
    for (int i = 0; i < 20; ++i)
        data[i] = static_cast<std::uint8_t>(i + 1);

    log.HexDump("Frame", data, 20);
    log.HexDump("Nine", data, 9);
    log.HexDump("Empty", data, 0);
    const auto lines = console.Lines();
    ASSERT_EQ(lines.size(), 3u + 2u + 1u);
    EXPECT_THAT(lines[0], HasSubstr("Frame 20 bytes @ "));
    EXPECT_THAT(lines[1],
                MatchesRegex(".*:  01 02 03 04 05 06 07 08 \\| 09 0a 0b 0c 0d 0e 0f 10 "));
    EXPECT_THAT(lines[2], MatchesRegex(".*:  11 12 13 14 "));
    EXPECT_THAT(lines[4], MatchesRegex(".*:  01 02 03 04 05 06 07 08 \\| 09 "));
    EXPECT_THAT(lines[5], HasSubstr("Empty 0 bytes @ "));
}

TEST(CLog, AttachedLineSinkReceivesEveryLineUntilCleared) {
    CLog log(nullptr);
    log.SetConsole(nullptr);
    std::vector<std::string> seen;
    log.SetListBox([&seen](const char* line) { seen.emplace_back(line); });
    log.Print("one");
    log.Print("two");
    log.ClearListBox();
    log.Print("three");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].substr(14), "two");
}

TEST(CLog, LinesStayWholeWhenManyThreadsLog) {
    TempFolder folder;
    std::string path;
    constexpr int kThreads = 8;
    constexpr int kLinesEach = 500;
    {
        CLog log(folder.Text().c_str());
        ConsoleCapture console(log, folder);
        path = log.FilePath();
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&log, t] {
                const std::string body(100 + t * 40, static_cast<char>('a' + t));
                for (int i = 0; i < kLinesEach; ++i)
                    log.Print("T%d %05d %s", t, i, body.c_str());
            });
        }
        for (auto& thread : threads)
            thread.join();
        for (const auto& lines : {console.Lines(), ReadLines(path)}) {
            ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesEach));
            std::vector<int> next(kThreads, 0);
            for (const std::string& line : lines) {
                const int t = line[15] - '0';
                ASSERT_TRUE(t >= 0 && t < kThreads) << line;
                const std::string expected =
                    "T" + std::to_string(t) + " " +
                    (std::ostringstream() << std::setw(5) << std::setfill('0') << next[t]).str() +
                    " " + std::string(100 + t * 40, static_cast<char>('a' + t));
                ASSERT_EQ(line.substr(14), expected);
                ++next[t];
            }
        }
    }
}

}  // namespace
}  // namespace diag
