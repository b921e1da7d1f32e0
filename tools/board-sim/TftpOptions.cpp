#include "tools/board-sim/TftpOptions.h"

#include "tools/board-sim/CommandLine.h"

namespace board_sim {
namespace {

constexpr std::uint32_t kMaxMs = 600'000;
constexpr std::size_t kHexDigitsPerByte = 2;
constexpr int kHexBase = 16;

// Exactly 32 hex digits, or nothing.
std::optional<ImageHeader> ReadHeaderHex(const std::string& text) {
    ImageHeader header{};
    if (text.size() != header.size() * kHexDigitsPerByte) return std::nullopt;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const char* digits = text.data() + i * kHexDigitsPerByte;
        const auto [end, problem] =
            std::from_chars(digits, digits + kHexDigitsPerByte, header[i], kHexBase);
        if (problem != std::errc{} || end != digits + kHexDigitsPerByte) return std::nullopt;
    }
    return header;
}

void AddMs(CLI::App& app, const std::string& name, std::uint32_t& ms,
           const std::string& description) {
    app.add_option(name, ms, description)
        ->type_name("MS")
        ->check(
            Between<std::uint32_t>(1, kMaxMs, "a whole number of milliseconds from 1 to 600000"));
}

}  // namespace

void AddTftpOptions(CLI::App& app, TftpOptions& options) {
    BeginMode(app, "loads the firmware by TFTP, checks its length and CRC",
              "Simulates a board loading its firmware image: sends a TFTP read request, answers\n"
              "every DATA block with its ACK and checks the file's length and CRC-32 against the\n"
              "image header that BOOTP would have given it. Prints a JSON summary on standard\n"
              "output at exit. Exit status 0 when the file arrived whole with the right CRC, 1\n"
              "otherwise, 2 for a bad command line.");
    AddLoopbackServer(app, options, kDefaultTftpPort, "tftp");
    app.add_option("--file", options.fileName, "the file to ask for (default d:\\a.bin)")
        ->type_name("NAME");
    app.add_option_function<std::string>(
           "--header-hex",
           [&options](const std::string& text) { options.header = *ReadHeaderHex(text); },
           "the image's first 16 bytes as 32 hex digits (default: the built-in image's)")
        ->type_name("HEX")
        ->check(CLI::Validator(
            [](std::string& text) {
                return ReadHeaderHex(text)
                           ? std::string()
                           : "needs exactly 32 hex digits (16 bytes), not '" + text + "'";
            },
            std::string()));
    AddProbability(app, "--drop-rx", options.faultRates.dropIncoming,
                   "drop each incoming datagram with probability P (0..1)");
    AddProbability(app, "--drop-tx", options.faultRates.dropOutgoing,
                   "drop each outgoing datagram with probability P");
    AddSeed(app, options.seed);
    app.add_option("--error-at-block", options.errorAtBlock,
                   "answer DATA block N with an ERROR packet and stop")
        ->type_name("N")
        ->check(Between<std::uint16_t>(1, UINT16_MAX, "a block number from 1 to 65535"));
    AddMs(app, "--retry-ms", options.retryMs,
          "repeat the request, or the last ACK, when nothing came for this long (500)");
    AddMs(app, "--dally-ms", options.dallyMs,
          "after the last ACK, stay this long to answer a re-sent last block (1000)");
    app.add_option_function<std::uint32_t>(
           "--duration", [&options](std::uint32_t seconds) { options.durationMs = seconds * 1000; },
           "give up after this many whole seconds, 1..600 (default 30)")
        ->type_name("SECONDS")
        ->check(
            Between<std::uint32_t>(1, kMaxMs / 1000, "a whole number of seconds from 1 to 600"));
}

std::optional<TftpOptions> ParseTftpOptions(const std::vector<std::string>& arguments,
                                            std::string& error) {
    return ParseMode(arguments, &AddTftpOptions, error);
}

}  // namespace board_sim
