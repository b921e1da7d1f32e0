// The simulated board: each mode plays one side of what a real board does on the
// wire, for tests and demonstrations on this machine only. It keeps its own wire
// definitions on purpose, as an independent check of the configurator.
#include <cstdio>
#include <string>

#include "tools/board-sim/BoardMode.h"
#include "tools/board-sim/BootpMode.h"
#include "tools/board-sim/BootpOptions.h"
#include "tools/board-sim/CommandLine.h"
#include "tools/board-sim/LinkMode.h"
#include "tools/board-sim/LinkOptions.h"
#include "tools/board-sim/StopSignal.h"
#include "tools/board-sim/TftpMode.h"
#include "tools/board-sim/TftpOptions.h"

namespace {

// "board-sim MODE: what is wrong", then the help of the mode (or of the program).
std::string Failure(const CLI::App* app, const CLI::Error& error) {
    std::string name = app->get_name();
    for (const CLI::App* mode : app->get_subcommands())
        name += ' ' + mode->get_name();
    return name + ": " + error.what() + "\n\n" + app->help();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace board_sim;
    CLI::App app("A simulated motion-control board for testing the configurator on this machine.",
                 "board-sim");
    app.require_subcommand(0, 1);
    app.failure_message(&Failure);
    app.footer("board-sim MODE --help shows the options of a mode.");
    BoardOptions board;
    LinkOptions link;
    BootpOptions bootp;
    TftpOptions tftp;
    CLI::App* const boardMode = app.add_subcommand("board");
    AddBoardOptions(*boardMode, board);
    CLI::App* const linkMode = app.add_subcommand("link");
    AddLinkOptions(*linkMode, link);
    CLI::App* const bootpMode = app.add_subcommand("bootp");
    AddBootpOptions(*bootpMode, bootp);
    CLI::App* const tftpMode = app.add_subcommand("tftp");
    AddTftpOptions(*tftpMode, tftp);
    WrapHelp(app);
    try {
        app.parse(argc, argv);
        if (app.get_subcommands().empty()) throw CLI::RequiredError("MODE");
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : kUsageError;
    }

    const StopSignal stopSignal;
    const auto& stopRequested = StopSignal::Requested();
    if (*boardMode) return RunBoard(board, stopRequested, stdout, stderr);
    if (*linkMode) return LinkMode(link, stdout, stderr).Run(stopRequested);
    if (*bootpMode) return BootpMode(bootp, stdout, stderr).Run(stopRequested);
    return TftpMode(tftp, stdout, stderr).Run(stopRequested);
}
