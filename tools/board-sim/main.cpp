// The simulated board: each mode plays one side of what a real board does on the
// wire, for tests and demonstrations on this machine only. It keeps its own wire
// definitions on purpose, as an independent check of the configurator.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/board-sim/BoardMode.h"
#include "tools/board-sim/BootpMode.h"
#include "tools/board-sim/BootpOptions.h"
#include "tools/board-sim/LinkMode.h"
#include "tools/board-sim/LinkOptions.h"
#include "tools/board-sim/StopSignal.h"
#include "tools/board-sim/TftpMode.h"
#include "tools/board-sim/TftpOptions.h"

namespace {

constexpr int kUsageError = 2;

struct Mode {
    const char* name;
    const char* description;
    int (*run)(const std::vector<std::string>& arguments);
};

int RunLink(const std::vector<std::string>& arguments) {
    std::string error;
    const auto options = board_sim::ParseLinkOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "board-sim link: %s\n\n%s", error.c_str(), board_sim::kLinkHelp);
        return kUsageError;
    }
    if (options->help) {
        std::fputs(board_sim::kLinkHelp, stdout);
        return 0;
    }
    const board_sim::StopSignal stopSignal;
    board_sim::LinkMode mode(*options, stdout, stderr);
    return mode.Run(board_sim::StopSignal::Requested());
}

int RunTftp(const std::vector<std::string>& arguments) {
    std::string error;
    const auto options = board_sim::ParseTftpOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "board-sim tftp: %s\n\n%s", error.c_str(), board_sim::kTftpHelp);
        return kUsageError;
    }
    if (options->help) {
        std::fputs(board_sim::kTftpHelp, stdout);
        return 0;
    }
    const board_sim::StopSignal stopSignal;
    board_sim::TftpMode mode(*options, stdout, stderr);
    return mode.Run(board_sim::StopSignal::Requested());
}

int RunBootp(const std::vector<std::string>& arguments) {
    std::string error;
    const auto options = board_sim::ParseBootpOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "board-sim bootp: %s\n\n%s", error.c_str(), board_sim::kBootpHelp);
        return kUsageError;
    }
    if (options->help) {
        std::fputs(board_sim::kBootpHelp, stdout);
        return 0;
    }
    const board_sim::StopSignal stopSignal;
    board_sim::BootpMode mode(*options, stdout, stderr);
    return mode.Run(board_sim::StopSignal::Requested());
}

int RunWholeBoard(const std::vector<std::string>& arguments) {
    std::string error;
    const auto options = board_sim::ParseBoardOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "board-sim board: %s\n\n%s", error.c_str(), board_sim::kBoardHelp);
        return kUsageError;
    }
    if (options->help) {
        std::fputs(board_sim::kBoardHelp, stdout);
        return 0;
    }
    const board_sim::StopSignal stopSignal;
    return board_sim::RunBoard(*options, board_sim::StopSignal::Requested(), stdout, stderr);
}

const Mode kModes[] = {
    {"board", "a whole board in BOOTP mode: bootp, then tftp, then the link", &RunWholeBoard},
    {"link", "the datagram link: acknowledges, checks and records what the server sends", &RunLink},
    {"bootp", "BOOTP: asks for an address, checks the reply, takes the address", &RunBootp},
    {"tftp", "loads the firmware image by TFTP and checks its length and CRC", &RunTftp},
};

void PrintUsage(std::FILE* to) {
    std::fputs(
        "Usage: board-sim MODE [OPTIONS]\n"
        "\n"
        "A simulated motion-control board for testing the configurator on this machine.\n"
        "\n"
        "Modes:\n",
        to);
    for (const Mode& mode : kModes)
        std::fprintf(to, "  %-6s %s\n", mode.name, mode.description);
    std::fputs("\nboard-sim MODE --help shows the options of a mode.\n", to);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        PrintUsage(stderr);
        return kUsageError;
    }
    const std::string modeName = arguments.front();
    arguments.erase(arguments.begin());
    if (modeName == "--help" || modeName == "-h" || modeName == "help") {
        PrintUsage(stdout);
        return 0;
    }
    for (const Mode& mode : kModes) {
        if (modeName == mode.name) return mode.run(arguments);
    }
    std::fprintf(stderr, "board-sim: unknown mode '%s'\n\n", modeName.c_str());
    PrintUsage(stderr);
    return kUsageError;
}
