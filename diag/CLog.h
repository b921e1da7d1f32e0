// The process's diagnostic log. Every message becomes one line, "HH:MM:SS.mmm  text"
// in UTC, written whole to three sinks: a console stream (standard output unless
// changed), an attached line sink (a live view, if any), and a file named after the
// local start time in a fixed folder. The log never stops the program: without its
// folder it simply runs without a file, and it creates no folder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "os/printf_format.h"

namespace diag {

class CLog {
  public:
    // Receives every line, without its line end, on the thread that logged it.
    using LineSink = std::function<void(const char* line)>;

    static constexpr std::size_t kLineBufferSize = 512;  // so a line holds 511 characters
    static constexpr const char* kSeparatorLine =
        "*-----------------------------------------------------------------------------*";

    // Logs to a file in the platform's fixed log folder.
    CLog();
    // Logs to a file in `folder` (text ending in a path separator); null: no file.
    explicit CLog(const char* folder);
    virtual ~CLog();

    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    // One line; callable from any thread. The text carries no line end of its own.
    void Print(const char* format, ...) OS_PRINTF_FORMAT(2, 3);
    void Separator();
    // A header line "label N bytes @ address", then one line per 16 bytes.
    void HexDump(const char* label, const void* data, int length);

    // The live view of the log; set and cleared while no other thread logs.
    bool SetListBox(LineSink sink);
    bool ClearListBox();

    // Where console lines go: standard output by default, null for nowhere.
    // Set while no other thread logs.
    void SetConsole(std::FILE* stream) { console_ = stream; }

    // The file's path as built from the start time, whether or not it could be opened.
    const char* FilePath() const { return path_; }
    bool HasFile() const { return file_ != nullptr; }

  private:
    void OpenFile(const char* folder);
    void Emit(char* line, std::size_t length);

    LineSink listBox_;
    std::FILE* file_ = nullptr;
    std::FILE* console_ = stdout;
    bool enabled_ = true;
    char path_[256] = "";
};

// The one log of the process, from static initialisation to exit.
extern CLog theLog;

}  // namespace diag
