// The command-line configurator.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "diag/CLog.h"
#include "ui/cli/BlockCommand.h"
#include "ui/cli/CheckCommand.h"
#include "ui/cli/ProgramCommand.h"

#ifndef EMCB_VERSION
#error "EMCB_VERSION must be defined by the build"
#endif

namespace {

const char* const kUsage =
    "Usage: emcb-config COMMAND [OPTIONS]\n"
    "\n"
    "Ethernet Motion Control Board Configurator: prepares a motion-control board\n"
    "attached by Ethernet (address by BOOTP, firmware by TFTP, then its configuration\n"
    "block: IP address, locked server MAC address, nickname).\n"
    "\n"
    "Commands:\n"
    "  program   program a board in BOOTP mode: address, firmware, configuration\n"
    "  block     build the configuration block from the fields and save or show it\n"
    "  check     say what a job would do on this computer and what would stop it\n"
    "\n"
    "Options:\n"
    "  --help     show this text (COMMAND --help for a command's options)\n"
    "  --version  show the version\n";

}  // namespace

int main(int argc, char** argv) {
    // Standard output carries results; the log still writes its file.
    diag::theLog.SetConsole(nullptr);

    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = arguments.front();
    arguments.erase(arguments.begin());

    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("emcb-config %s\n", EMCB_VERSION);
        return 0;
    }
    if (command == "block") return cli::RunBlockCommand(arguments, stdout, stderr);
    if (command == "program") return cli::RunProgramCommand(arguments);
    if (command == "check") return cli::RunCheckCommand(arguments, stdout, stderr);

    std::fprintf(stderr, "emcb-config: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return 2;
}
