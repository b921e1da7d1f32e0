#include "tools/board-sim/interface_address.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "tools/board-sim/BootpExchange.h"

extern char** environ;

namespace board_sim {
namespace {

// The reply goes to x.y.z.255, so the server's network is a /24.
constexpr const char* kPrefixLength = "/24";

bool RunIp(std::vector<std::string> words, std::string& error) {
    words.insert(words.begin(), "ip");
    std::string command;
    std::vector<char*> argv;
    for (std::string& word : words) {
        command += (command.empty() ? "" : " ") + word;
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, "ip", nullptr, nullptr, argv.data(), environ) != 0) {
        error = "cannot run ip";
        return false;
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = command + " failed";
        return false;
    }
    return true;
}

}  // namespace

bool AddInterfaceAddress(const std::string& interfaceName, std::uint32_t addressNetworkOrder,
                         std::string& error) {
    return RunIp({"addr", "add", DottedAddress(addressNetworkOrder) + kPrefixLength, "brd", "+",
                  "dev", interfaceName},
                 error);
}

bool RemoveInterfaceAddress(const std::string& interfaceName, std::uint32_t addressNetworkOrder,
                            std::string& error) {
    return RunIp(
        {"addr", "del", DottedAddress(addressNetworkOrder) + kPrefixLength, "dev", interfaceName},
        error);
}

bool PromoteSecondaryAddresses(const std::string& interfaceName, std::string& error) {
    // /proc/sys/net belongs to the network namespace the process runs in.
    const std::string path = "/proc/sys/net/ipv4/conf/" + interfaceName + "/promote_secondaries";
    std::ofstream setting(path);
    setting << "1\n";
    setting.flush();
    if (setting) return true;
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
}

}  // namespace board_sim
