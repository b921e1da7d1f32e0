#include "ui/cli/BlockCommand.h"

#include "app/config_block.h"
#include "ui/cli/ArgumentList.h"

namespace cli {

const char* const kBlockHelp =
    "Usage: emcb-config block [--ip TEXT] [--mac TEXT] [--nickname TEXT] [--out FILE]\n"
    "\n"
    "Builds the 1024-byte configuration block that would be written to a board:\n"
    "CRC-32 at bytes 0-3, the IP address at 4-7, the server MAC address at 8-13,\n"
    "the nickname at 16-79, FF elsewhere.\n"
    "\n"
    "  --ip TEXT        the board's IP address (default 10.9.9.9; first 15 characters)\n"
    "  --mac TEXT       MAC address of the computer adapter the board is locked to,\n"
    "                   as 00-1B-2C-3D-4E-5F; FF-FF-FF-FF-FF-FF or empty for any\n"
    "                   computer (default FF-FF-FF-FF-FF-FF; first 17 characters)\n"
    "  --nickname TEXT  a name for the board (default \"New Ethernet Orvantis\";\n"
    "                   first 63 characters)\n"
    "  --out FILE       write the 1024 bytes to FILE instead of a hex dump on\n"
    "                   standard output\n"
    "\n"
    "A field the board could not use is still written as the board would receive it,\n"
    "with a warning on standard error.\n";

namespace {

void PrintHexDump(const std::uint8_t* data, std::size_t length, std::FILE* out) {
    for (std::size_t offset = 0; offset < length; offset += 16) {
        std::fprintf(out, "%04zx ", offset);
        for (std::size_t i = offset; i < offset + 16 && i < length; ++i) {
            std::fprintf(out, "%s%02X", i == offset + 8 ? "  " : " ", data[i]);
        }
        std::fputc('\n', out);
    }
}

bool WriteFile(const std::string& path, const app::ConfigBlock& block, std::FILE* err) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(err, "emcb-config: cannot create '%s'\n", path.c_str());
        return false;
    }
    const bool written = std::fwrite(block.data(), 1, block.size(), file) == block.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) std::fprintf(err, "emcb-config: cannot write '%s'\n", path.c_str());
    return written && closed;
}

}  // namespace

int RunBlockCommand(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    const ArgumentList args(arguments, {"--ip", "--mac", "--nickname", "--out"}, {"--help"});
    if (!args.Error().empty()) {
        std::fprintf(err, "emcb-config block: %s\n\n%s", args.Error().c_str(), kBlockHelp);
        return 2;
    }
    if (args.Has("--help")) {
        std::fputs(kBlockHelp, out);
        return 0;
    }

    const std::string typedIp = args.Value("--ip").value_or(app::kDefaultIpText);
    const std::string typedMac = args.Value("--mac").value_or(app::kDefaultMacText);
    const std::string ip = app::CutField(typedIp, app::kIpTextLimit);
    const std::string mac = app::CutField(typedMac, app::kMacTextLimit);
    const std::string nickname = app::CutField(
        args.Value("--nickname").value_or(app::kDefaultNicknameText), app::kNicknameTextLimit);

    // The texts as typed, as `program` checks them; the block is built from what the
    // dialog's buffers would have read.
    if (const auto problem = app::ConfigFieldProblem(typedIp, typedMac)) {
        std::fprintf(err, "warning: %s\nThe block below is what the board would receive.\n",
                     problem->c_str());
    }

    app::ConfigBlock block{};
    app::BuildConfigBlock(ip.c_str(), mac.c_str(), nickname.c_str(), block.data());

    if (const auto path = args.Value("--out")) return WriteFile(*path, block, err) ? 0 : 1;
    PrintHexDump(block.data(), block.size(), out);
    return 0;
}

}  // namespace cli
