#include "tools/board-sim/interface_address.h"

#include <net/if.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "tools/board-sim/BootpExchange.h"

extern char** environ;

namespace board_sim {
namespace {

// The reply goes to x.y.z.255, so the server's network is a /24.
constexpr const char* kPrefixLength = "/24";
// Where `ip netns add` keeps a file for each namespace it made.
constexpr const char* kNamedNamespaces = "/run/netns";

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

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool InNamedNetworkNamespace() {
    struct stat own {};
    if (stat("/proc/self/ns/net", &own) != 0) return false;
    std::error_code error;
    for (const auto& named : std::filesystem::directory_iterator(kNamedNamespaces, error)) {
        struct stat entry {};
        if (stat(named.path().c_str(), &entry) == 0 && SameFile(own, entry)) return true;
    }
    return false;
}

}  // namespace

// Where loopback and the board's own interface are all the interfaces there are, as in
// a network namespace made for it, nothing it sends can reach the computer's real
// adapters. A machine with one real adapter looks the same from outside any namespace,
// so the process must also run in a namespace made by `ip netns add` (one of those
// named in /run/netns).
bool InOwnNetworkNamespace(const std::string& interfaceName) {
    if (!InNamedNetworkNamespace()) return false;
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr) return false;
    bool alone = true;
    for (const struct if_nameindex* name = names; name->if_index != 0; ++name) {
        alone = alone && (interfaceName == name->if_name || std::strcmp(name->if_name, "lo") == 0);
    }
    if_freenameindex(names);
    return alone;
}

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
