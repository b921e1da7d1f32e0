// The board's addresses on its interface, set and removed with iproute2 as a board
// that comes up, or goes down, would have them. Only inside the board's own network
// namespace (the modes check that before they start).
#pragma once

#include <cstdint>
#include <string>

namespace board_sim {

// True when lo and `interfaceName` are the only interfaces: a network namespace of the
// board's own, the one place where it may broadcast or take an address.
bool InOwnNetworkNamespace(const std::string& interfaceName);
// Adds addressNetworkOrder/24 with its broadcast to the interface; false, with
// `error` naming the command, when `ip` cannot be run or fails.
bool AddInterfaceAddress(const std::string& interfaceName, std::uint32_t addressNetworkOrder,
                         std::string& error);
// Removes it again; false, with `error` set, when it fails.
bool RemoveInterfaceAddress(const std::string& interfaceName, std::uint32_t addressNetworkOrder,
                            std::string& error);
// Boards that share the interface each hold a /24 address of one network; the first
// is the primary one, and without promotion its removal takes every other with it.
bool PromoteSecondaryAddresses(const std::string& interfaceName, std::string& error);

}  // namespace board_sim
